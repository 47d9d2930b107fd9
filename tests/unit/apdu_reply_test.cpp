// The reply splitter: S, V and F(n) answers and the text forms, with
// answers shorter or longer than a command expects.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apdu/reply_split.h"

namespace vqhw::apdu {
namespace {

struct Outputs {
  std::vector<uint8_t> out = std::vector<uint8_t>(32, 0xEE);
  int32_t length = -99;
  uint8_t sw[2] = {0xEE, 0xEE};
  ReplyOutputs View() { return {out.data(), &length, sw}; }
  std::vector<uint8_t> Sw() const { return {sw[0], sw[1]}; }
};

TEST(ReplySplit, StatusOnlyTakesTheLastTwoBytes) {
  Outputs o;
  const std::vector<uint8_t> reply{0x63, 0xC2};
  EXPECT_EQ(SplitReply(ReplyForm::kStatusOnly, 0, reply, o.View()), status::kOk);
  EXPECT_EQ(o.Sw(), (std::vector<uint8_t>{0x63, 0xC2}));
  EXPECT_EQ(o.length, -99) << "S has no length output";
  const std::vector<uint8_t> withData{0x01, 0x02, 0x90, 0x00};
  EXPECT_EQ(SplitReply(ReplyForm::kStatusOnly, 0, withData, o.View()), status::kOk);
  EXPECT_EQ(o.Sw(), (std::vector<uint8_t>{0x90, 0x00}));
}

TEST(ReplySplit, VariableCopiesEveryDataByte) {
  Outputs o;
  const std::vector<uint8_t> reply{0x01, 0x02, 0x03, 0x90, 0x00};
  EXPECT_EQ(SplitReply(ReplyForm::kVariable, 0, reply, o.View()), status::kOk);
  EXPECT_EQ(o.length, 3);
  EXPECT_EQ(std::vector<uint8_t>(o.out.begin(), o.out.begin() + 4),
            (std::vector<uint8_t>{0x01, 0x02, 0x03, 0xEE}));
  EXPECT_EQ(o.Sw(), (std::vector<uint8_t>{0x90, 0x00}));
}

TEST(ReplySplit, FixedLengthOfExactlyNBytesIsTheVariableSplit) {
  Outputs o;
  const std::vector<uint8_t> reply{0xB1, 0xB2, 0xB3, 0xB4, 0x90, 0x00};
  EXPECT_EQ(SplitReply(ReplyForm::kFixedLength, 4, reply, o.View()), status::kOk);
  EXPECT_EQ(o.length, 4);
  EXPECT_EQ(std::vector<uint8_t>(o.out.begin(), o.out.begin() + 5),
            (std::vector<uint8_t>{0xB1, 0xB2, 0xB3, 0xB4, 0xEE}));
  EXPECT_EQ(o.Sw(), (std::vector<uint8_t>{0x90, 0x00}));
}

// A bare error status word where 15 bytes were expected: the true status
// word, and nothing copied from outside the reply.
TEST(ReplySplit, FixedLengthShorterThanExpectedGivesTheCardsStatusWord) {
  Outputs o;
  const std::vector<uint8_t> bare{0x6A, 0x82};
  EXPECT_EQ(SplitReply(ReplyForm::kFixedLength, 15, bare, o.View()), status::kOk);
  EXPECT_EQ(o.length, 0);
  EXPECT_EQ(o.out[0], 0xEE);
  EXPECT_EQ(o.Sw(), (std::vector<uint8_t>{0x6A, 0x82}));

  const std::vector<uint8_t> partial{0x01, 0x02, 0x94, 0x01};
  EXPECT_EQ(SplitReply(ReplyForm::kFixedLength, 8, partial, o.View()), status::kOk);
  EXPECT_EQ(o.length, 2);
  EXPECT_EQ(o.out[2], 0xEE);
  EXPECT_EQ(o.Sw(), (std::vector<uint8_t>{0x94, 0x01}));
}

TEST(ReplySplit, FixedLengthLongerThanExpectedFillsOnlyNBytes) {
  Outputs o;
  const std::vector<uint8_t> reply{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x90, 0x00};
  EXPECT_EQ(SplitReply(ReplyForm::kFixedLength, 4, reply, o.View()), status::kOk);
  EXPECT_EQ(o.length, 6) << "the length the card sent";
  EXPECT_EQ(o.out[3], 0x04);
  EXPECT_EQ(o.out[4], 0xEE) << "out is sized for n bytes";
  EXPECT_EQ(o.Sw(), (std::vector<uint8_t>{0x90, 0x00}));
}

TEST(ReplySplit, RepliesWithoutAStatusWordAreMalformedAndWriteNothing) {
  for (ReplyForm form : {ReplyForm::kStatusOnly, ReplyForm::kVariable, ReplyForm::kFixedLength}) {
    for (const std::vector<uint8_t>& reply : {std::vector<uint8_t>{}, std::vector<uint8_t>{0x90}}) {
      Outputs o;
      EXPECT_EQ(SplitReply(form, 4, reply, o.View()), status::kMalformedReply);
      EXPECT_EQ(o.length, -99);
      EXPECT_EQ(o.out[0], 0xEE);
      EXPECT_EQ(o.Sw(), (std::vector<uint8_t>{0xEE, 0xEE}));
    }
  }
}

struct Texts {
  std::string text = std::string(600, 'Z');
  std::string statusText = std::string(8, 'Z');
  ReaderStatus Split(TextForm form, const std::vector<uint8_t>& reply) {
    return SplitReplyText(form, reply, text.data(), statusText.data());
  }
  std::string Text() const { return text.c_str(); }
  std::string StatusText() const { return statusText.c_str(); }
};

TEST(ReplyText, EachFormOfATwoByteAndAFourByteReply) {
  Texts t;
  EXPECT_EQ(t.Split(TextForm::kSplit, {0x90, 0x00}), status::kOk);
  EXPECT_EQ(t.Text(), "");
  EXPECT_EQ(t.StatusText(), "9000");
  EXPECT_EQ(t.Split(TextForm::kSplit, {0x01, 0x02, 0x90, 0x00}), status::kOk);
  EXPECT_EQ(t.Text(), "0102");
  EXPECT_EQ(t.StatusText(), "9000");
  EXPECT_EQ(t.Split(TextForm::kDataThenStatus, {0x01, 0x02, 0x90, 0x00}), status::kOk);
  EXPECT_EQ(t.Text(), "01029000");
  EXPECT_EQ(t.Split(TextForm::kStatusFirst, {0x01, 0x02, 0x90, 0x00}), status::kOk);
  EXPECT_EQ(t.Text(), "90000102");
  EXPECT_EQ(t.Split(TextForm::kStatusFirst, {0x6A, 0x82}), status::kOk);
  EXPECT_EQ(t.Text(), "6A82");
}

TEST(ReplyText, EmptyAndOneByteReplies) {
  for (TextForm form : {TextForm::kSplit, TextForm::kDataThenStatus, TextForm::kStatusFirst}) {
    Texts t;
    EXPECT_EQ(t.Split(form, {}), status::kOk);
    EXPECT_EQ(t.Text(), "");
    Texts one;
    EXPECT_EQ(one.Split(form, {0x90}), form == TextForm::kSplit ? status::kMalformedReply : status::kOk);
    EXPECT_EQ(one.Text(), "");
  }
  Texts t;
  t.Split(TextForm::kSplit, {0x90});
  EXPECT_EQ(t.StatusText(), "") << "never the length byte and the data byte";
}

TEST(ReplyText, RepliesLongerThan127BytesAreEncodedWhole) {
  std::vector<uint8_t> reply(200, 0xAB);
  reply.push_back(0x90);
  reply.push_back(0x00);
  Texts t;
  EXPECT_EQ(t.Split(TextForm::kDataThenStatus, reply), status::kOk);
  EXPECT_EQ(t.Text().size(), 404u);
  EXPECT_EQ(t.Text().substr(396), "ABAB9000");
  EXPECT_EQ(t.Split(TextForm::kStatusFirst, reply), status::kOk);
  EXPECT_EQ(t.Text().substr(0, 6), "9000AB");
  EXPECT_EQ(t.Text().size(), 404u);
}

}  // namespace
}  // namespace vqhw::apdu
