// The four APDU exports against the virtual reader: the bytes on the wire,
// the text forms of the reply, reader status bytes, the card-kind rule, and
// bad arguments that must send nothing.

#include <memory>
#include <string>

#include "integration/reader_fixture.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/psam.h"
#include "support/guarded_memory.h"
#include "support/scripted_apdu_card.h"

namespace vqtest {
namespace {

class ApduExportTest : public ReaderTest {
 protected:
  // A card in the field that always answers `answer`, selected as the last
  // activation would; and a PSAM that answers the same.
  std::shared_ptr<ScriptedApduCard> UseScriptedCards(std::vector<uint8_t> answer) {
    auto card = std::make_shared<ScriptedApduCard>(std::move(answer));
    com1->reader.InsertCard(card);
    com1->reader.WithState([&](vqsim::ReaderState& s) {
      s.field.Select(card);
      s.psam = card;
    });
    return card;
  }

  std::string reply = std::string(600, 'Z');
  std::string data = std::string(600, 'Z');
  std::string sw = std::string(8, 'Z');
  std::string Reply() const { return reply.c_str(); }
  std::string Data() const { return data.c_str(); }
  std::string Sw() const { return sw.c_str(); }
};

TEST_F(ApduExportTest, GetChallengeGoesOutAsTheApduAndComesBackStatusWordFirst) {
  OpenReader();
  UseScriptedCards(Bytes("11 22 33 44 90 00"));
  EXPECT_EQ(lib.pro_command_h("0084000004", reply.data()), 0);
  EXPECT_EQ(Reply(), "900011223344");
  EXPECT_EQ(lib.LastStatusText(), Gbk("成功执行"));
  EXPECT_EQ(com1->Frames(), std::vector<std::vector<uint8_t>>{Bytes("FF 02 60 05 00 84 00 00 04 18")});
}

TEST_F(ApduExportTest, EachExportGivesItsFormOfTheSameReply) {
  OpenReader();
  UseScriptedCards(Bytes("01 02 90 00"));
  EXPECT_EQ(lib.pro_command_h("00B0950002", reply.data()), 0);
  EXPECT_EQ(Reply(), "90000102");
  EXPECT_EQ(lib.sam_command_h("00B0960002", reply.data()), 0);
  EXPECT_EQ(Reply(), "01029000");
  EXPECT_EQ(lib.PRO_COMMAND_H("00B0950002", data.data(), sw.data()), 0);
  EXPECT_EQ(Data(), "0102");
  EXPECT_EQ(Sw(), "9000");
  EXPECT_EQ(lib.SAM_COMMAND_H("00b0 9600 02", data.data(), sw.data()), 0);
  EXPECT_EQ(Data(), "0102");
  EXPECT_EQ(Sw(), "9000");
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x60, 0x61, 0x60, 0x61}));
  EXPECT_EQ(com1->Frames()[3], Bytes("FF 05 61 05 00 B0 96 00 02 BA")) << "the text's spacing is skipped";
}

TEST_F(ApduExportTest, StatusWordAloneAndErrorStatusWordsAreSuccess) {
  OpenReader();
  UseScriptedCards(Bytes("6A 82"));
  EXPECT_EQ(lib.PRO_COMMAND_H("00A4000002DF01", data.data(), sw.data()), 0);
  EXPECT_EQ(Data(), "");
  EXPECT_EQ(Sw(), "6A82");
  EXPECT_EQ(lib.sam_command_h("00A4000002DF01", reply.data()), 0);
  EXPECT_EQ(Reply(), "6A82");
  EXPECT_EQ(lib.pro_command_h("00A4000002DF01", reply.data()), 0);
  EXPECT_EQ(Reply(), "6A82");
}

// A response APDU ends in its status word: a success answer without the
// two bytes lost them, and handing out empty texts as success would hide it.
TEST_F(ApduExportTest, EmptyAndOneByteRepliesAreCommunicationErrors) {
  OpenReader();
  UseScriptedCards({});
  EXPECT_EQ(lib.PRO_COMMAND_H("0084000004", data.data(), sw.data()), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("通讯错误"));
  EXPECT_EQ(Data(), "");
  EXPECT_EQ(Sw(), "");
  EXPECT_EQ(lib.sam_command_h("0084000004", reply.data()), -1);
  EXPECT_EQ(Reply(), "");

  com1->reader.WithState([](vqsim::ReaderState& s) {
    auto oneByte = std::make_shared<ScriptedApduCard>(Bytes("90"));
    s.field.Select(oneByte);
    s.psam = oneByte;
  });
  reply = std::string(16, 'Z');
  EXPECT_EQ(lib.pro_command_h("0084000004", reply.data()), -1);
  EXPECT_EQ(Reply(), "");
  EXPECT_EQ(lib.sam_command_h("0084000004", reply.data()), -1);
  EXPECT_EQ(Reply(), "");
  EXPECT_EQ(lib.SAM_COMMAND_H("0084000004", data.data(), sw.data()), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("通讯错误"));
  EXPECT_EQ(Data(), "");
  EXPECT_EQ(Sw(), "");
}

TEST_F(ApduExportTest, RepliesLongerThan127BytesAreEncodedWhole) {
  OpenReader();
  std::vector<uint8_t> answer(200, 0x5A);
  answer.push_back(0x90);
  answer.push_back(0x00);
  UseScriptedCards(answer);
  EXPECT_EQ(lib.sam_command_h("00B0960000", reply.data()), 0);
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += "5A";
  EXPECT_EQ(Reply(), expected + "9000");
  EXPECT_EQ(lib.PRO_COMMAND_H("00B0960000", data.data(), sw.data()), 0);
  EXPECT_EQ(Data().size(), 400u);
  EXPECT_EQ(Sw(), "9000");
}

TEST_F(ApduExportTest, NoCardInTheFieldLeavesTheOutputsEmpty) {
  OpenReader();
  EXPECT_EQ(lib.pro_command_h("0084000004", reply.data()), 1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("天线范围内无卡"));
  EXPECT_EQ(Reply(), "");
  EXPECT_EQ(lib.PRO_COMMAND_H("0084000004", data.data(), sw.data()), 1);
  EXPECT_EQ(Data(), "");
  EXPECT_EQ(Sw(), "");
  com1->reader.SetPsamPresent(false);
  EXPECT_EQ(lib.sam_command_h("0084000004", reply.data()), -161);
  EXPECT_EQ(lib.LastStatusText(), Gbk("PSAM卡操作超时"));
  EXPECT_EQ(Reply(), "");
}

// The rule is checked after the exchange: the card has carried the command
// out, only its answer is withheld.
TEST_F(ApduExportTest, CardKindRuleRefusesTheAnswerOfThreeExports) {
  OpenReader();
  auto card = UseScriptedCards(Bytes("01 02 90 00"));
  ASSERT_EQ(lib.SelectCardType('1'), 0);  // CPU cards only; no card detected yet
  EXPECT_EQ(lib.pro_command_h("0084000004", reply.data()), -27);
  EXPECT_EQ(Reply(), "");
  EXPECT_EQ(lib.LastStatusText(), Gbk("不支持的卡类型，本机具被设定为只支持MIFARE PRO卡"));
  EXPECT_EQ(lib.PRO_COMMAND_H("0084000004", data.data(), sw.data()), -27);
  EXPECT_EQ(lib.SAM_COMMAND_H("0084000004", data.data(), sw.data()), -27);
  EXPECT_EQ(Data(), "");
  EXPECT_EQ(Sw(), "");
  EXPECT_EQ(lib.sam_command_h("0084000004", reply.data()), 0);
  EXPECT_EQ(Reply(), "01029000");
  com1->reader.WithState([&](vqsim::ReaderState&) { EXPECT_EQ(card->received.size(), 4u); });

  ASSERT_EQ(lib.SelectCardType('2'), 0);
  EXPECT_EQ(lib.pro_command_h("0084000004", reply.data()), 0);
}

TEST_F(ApduExportTest, ClosedReaderGivesNotOpenAndTouchesNothing) {
  for (int i = 0; i < 4; ++i) {
    reply = "untouched";
    data = "untouched";
    sw = "sw";
    const int32_t results[] = {lib.pro_command_h("0084000004", reply.data()),
                               lib.PRO_COMMAND_H("0084000004", data.data(), sw.data()),
                               lib.sam_command_h("0084000004", reply.data()),
                               lib.SAM_COMMAND_H("0084000004", data.data(), sw.data())};
    EXPECT_EQ(results[i], -1) << i;
    EXPECT_EQ(lib.LastStatusText(), Gbk("串行口没打开"));
    EXPECT_EQ(Reply(), "untouched");
    EXPECT_EQ(Data(), "untouched");
    EXPECT_EQ(Sw(), "sw");
  }
  EXPECT_TRUE(com1->Frames().empty());
}

TEST_F(ApduExportTest, NullBuffersAndApduTextsThatDoNotDecodeWholeSendNothing) {
  OpenReader();
  UseScriptedCards(Bytes("90 00"));
  EXPECT_EQ(lib.pro_command_h(nullptr, reply.data()), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
  EXPECT_EQ(lib.sam_command_h("0084000004", nullptr), -2);
  EXPECT_EQ(lib.PRO_COMMAND_H("0084000004", data.data(), nullptr), -3);
  EXPECT_EQ(lib.SAM_COMMAND_H("0084000004", nullptr, sw.data()), -2);
  // 128 bytes: past what the decoder reads.
  EXPECT_EQ(lib.sam_command_h(std::string(256, 'A').c_str(), reply.data()), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
  EXPECT_TRUE(com1->Frames().empty());
  EXPECT_EQ(lib.pro_command_h("008400000", reply.data()), 0)
      << "a last digit without a partner is dropped, as in every hex text";
  ASSERT_EQ(com1->Frames().size(), 1u);
  EXPECT_EQ(com1->reader.ReceivedFrames()[0].data(), Bytes("00 84 00 00"));
  EXPECT_EQ(lib.sam_command_h((std::string(254, 'A') + "\n").c_str(), reply.data()), 0)
      << "127 bytes with a character that is skipped after them";
  com1->reader.ClearReceived();
  EXPECT_EQ(lib.sam_command_h((std::string(254, 'A') + "  \n").c_str(), reply.data()), -1)
      << "a text that goes on past 255 characters is refused, whatever follows";
  EXPECT_TRUE(com1->Frames().empty());
}

// 245 bytes is the longest answer the library takes from the reader: its
// texts fill the documented sizes exactly, in buffers that end where the
// process's memory ends.
TEST_F(ApduExportTest, TheLongestAnswerFillsTheDocumentedTextSizesAndNoMore) {
  OpenReader();
  std::vector<uint8_t> answer(243, 0xA5);
  answer.push_back(0x90);
  answer.push_back(0x00);
  UseScriptedCards(answer);
  std::string data243;
  for (int i = 0; i < 243; ++i) data243 += "A5";
  GuardedMemory replyMemory;
  GuardedMemory statusMemory;
  char* replyText = replyMemory.BufferOfSize(VQHW_REPLY_TEXT_SIZE);
  EXPECT_EQ(lib.sam_command_h("00B0950000", replyText), 0);
  EXPECT_EQ(std::string(replyText), data243 + "9000");
  replyText = replyMemory.BufferOfSize(VQHW_REPLY_TEXT_SIZE);
  EXPECT_EQ(lib.pro_command_h("00B0950000", replyText), 0);
  EXPECT_EQ(std::string(replyText), "9000" + data243);
  char* dataText = replyMemory.BufferOfSize(VQHW_REPLY_TEXT_SIZE);
  char* statusText = statusMemory.BufferOfSize(VQHW_STATUS_WORD_TEXT_SIZE);
  EXPECT_EQ(lib.SAM_COMMAND_H("00B0950000", dataText, statusText), 0);
  EXPECT_EQ(std::string(dataText), data243);
  EXPECT_EQ(std::string(statusText), "9000");
}

// A text without a zero byte is read only as far as the decoder needs (255
// characters) and one more; one that goes on past 255 is refused unsent.
TEST_F(ApduExportTest, ApduTextsAreReadNoFurtherThanOnePastTheDecoderLimit) {
  OpenReader();
  UseScriptedCards(Bytes("90 00"));
  GuardedMemory memory;
  const char* unterminated = memory.UnterminatedText(std::string(256, 'A'));
  EXPECT_EQ(lib.pro_command_h(unterminated, reply.data()), -1);
  EXPECT_EQ(lib.PRO_COMMAND_H(unterminated, data.data(), sw.data()), -1);
  EXPECT_EQ(lib.sam_command_h(unterminated, reply.data()), -1);
  EXPECT_EQ(lib.SAM_COMMAND_H(unterminated, data.data(), sw.data()), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
  EXPECT_TRUE(com1->Frames().empty());
  // 255 characters and the zero byte, the last byte there is: sent whole.
  GuardedMemory endsAtTheGuard;
  const char* whole = endsAtTheGuard.UnterminatedText(std::string(254, 'A') + "B" + '\0');
  EXPECT_EQ(lib.sam_command_h(whole, reply.data()), 0);
  ASSERT_EQ(com1->reader.ReceivedFrames().size(), 1u);
  EXPECT_EQ(com1->reader.ReceivedFrames()[0].data().size(), 127u);
}

}  // namespace
}  // namespace vqtest
