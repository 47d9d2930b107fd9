// `vqhw demo`, the main job, run as a program: both lane transactions
// complete on the built-in virtual lane with their steps, frames and
// times; a refused purchase and a missing real reader end it with a
// failure, not a crash.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "vqhw_run.h"

namespace vqtest {
namespace {

using nlohmann::json;

const json* FindStep(const json& document, const std::string& transactionStart, const std::string& name) {
  for (const json& step : document["steps"]) {
    if (step["transaction"].get<std::string>().starts_with(transactionStart) && step["name"] == name) return &step;
  }
  return nullptr;
}

TEST(VqhwDemo, BothLaneTransactionsCompleteOnTheVirtualLane) {
  const ProgramRun run = Vqhw({"--sim", "--json", "demo"});
  ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
  const json document = Document(run);
  ASSERT_FALSE(document.is_discarded()) << run.out;
  EXPECT_EQ(document["mifare_one"], "completed");
  EXPECT_EQ(document["cpu_card"], "completed");
  for (const json& step : document["steps"]) {
    EXPECT_TRUE(step["ok"].get<bool>()) << step.dump();
    EXPECT_GE(step["ms"].get<double>(), 0.0);
  }

  const json* write = FindStep(document, "MIFARE", "write the entry record");
  ASSERT_NE(write, nullptr);
  ASSERT_EQ((*write)["frames"].size(), 2u);
  EXPECT_EQ((*write)["frames"][0]["code"], "52");
  const json* debit = FindStep(document, "CPU", "debit for purchase");
  ASSERT_NE(debit, nullptr);
  EXPECT_EQ((*debit)["frames"][0]["code"], "60");
  EXPECT_TRUE((*debit)["frames"][0]["data"].get<std::string>().starts_with("805401000F"));
  const json* tac = FindStep(document, "CPU", "verify the TAC with the PSAM");
  ASSERT_NE(tac, nullptr);
  EXPECT_NE((*tac)["result"].get<std::string>().find("is right"), std::string::npos);
  const json* balance = FindStep(document, "CPU", "read the new balance");
  ASSERT_NE(balance, nullptr);
  EXPECT_EQ((*balance)["result"], "87.50") << "100.00 less the default toll of 12.50";

  // The next card leaves during DEBIT, which it carried out: the lane learns
  // it from the card's proof and does not charge again.
  EXPECT_EQ(document["torn_purchase"], "completed");
  const json* torn = FindStep(document, "CPU card lane transaction: the card leaves", "debit for purchase: the card leaves");
  ASSERT_NE(torn, nullptr);
  EXPECT_TRUE((*torn)["result"].get<std::string>().starts_with("-> -114")) << (*torn)["result"];
  const json* proof = FindStep(document, "CPU card lane transaction: the card leaves", "proof of purchase 1");
  ASSERT_NE(proof, nullptr);
  EXPECT_TRUE((*proof)["frames"][0]["data"].get<std::string>().starts_with("805A000602000108"));
  EXPECT_TRUE((*proof)["result"].get<std::string>().starts_with("it paid")) << (*proof)["result"];
  EXPECT_EQ(FindStep(document, "CPU card lane transaction: the card leaves", "debit for purchase, again"), nullptr);
  const json* after = FindStep(document, "CPU card lane transaction: the card leaves", "read the new balance");
  ASSERT_NE(after, nullptr);
  EXPECT_EQ((*after)["result"], "75.00") << "87.50 less the toll, once";

  const ProgramRun text = Vqhw({"demo", "--amount", "300"});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("CPU card transaction: completed: 100.00 -> 97.00, TAC verified"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("Morvelina"), std::string::npos);
  EXPECT_NE(text.out.find("Torn CPU card transaction: completed: 97.00 -> 94.00, the lost DEBIT proved, paid once"),
            std::string::npos)
      << text.out;
}

TEST(VqhwDemo, ARefusedPurchaseFailsTheDemoWithTheCardsStatusWord) {
  const ProgramRun run = Vqhw({"--json", "demo", "--amount", "10001"});
  EXPECT_NE(run.exitCode, 0);
  const json document = Document(run);
  ASSERT_FALSE(document.is_discarded()) << run.out;
  EXPECT_EQ(document["mifare_one"], "completed");
  EXPECT_EQ(document["cpu_card"], "failed");
  const json* init = FindStep(document, "CPU", "initialize for purchase of 100.01");
  ASSERT_NE(init, nullptr);
  EXPECT_FALSE((*init)["ok"].get<bool>());
  EXPECT_TRUE((*init)["result"].get<std::string>().starts_with("SW 9401")) << (*init)["result"];
  EXPECT_EQ(FindStep(document, "CPU", "debit for purchase"), nullptr) << "nothing after the refusal";
  EXPECT_NE(FindStep(document, "CPU", "release the card"), nullptr) << "the card is released all the same";
}

TEST(VqhwDemo, AMissingRealReaderIsAnErrorNotACrash) {
  ::setenv("VQHW_COM9", "/nonexistent/ttyVQ9", 1);
  const ProgramRun run = Vqhw({"demo", "--port", "9"});
  ::unsetenv("VQHW_COM9");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("ttyVQ9"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace vqtest
