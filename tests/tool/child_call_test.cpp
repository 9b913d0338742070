// Work in a child process: its bytes come back whole, however large, and a
// crash, a runaway allocation, an endless loop or an exception in it ends
// as a failure the caller reports, with the caller still running.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "child_call.h"
#include "sanitized_build.h"

namespace {

constexpr bool kSanitized = kSanitizedBuild;

using kurvo::isolation::call_in_child;
using kurvo::isolation::ChildLimits;

ChildLimits limits(uint64_t megabytes, unsigned seconds) {
  ChildLimits l;
  l.memory_bytes = megabytes << 20;
  l.cpu_seconds = seconds;
  l.worker = "the test reader";
  return l;
}

TEST(ChildCall, AnswersOfAnySizeComeBackWhole) {
  std::mt19937 random(7);
  std::string big(5'000'000, '\0');  // far more than a pipe holds
  for (char& c : big) c = static_cast<char>(random());
  auto answer = call_in_child([&] { return big; }, limits(256, 30));
  ASSERT_TRUE(answer.ok()) << answer.message();
  EXPECT_EQ(answer.value(), big);
  auto empty = call_in_child([] { return std::string(); }, limits(256, 30));
  ASSERT_TRUE(empty.ok()) << empty.message();
  EXPECT_TRUE(empty.value().empty());
}

TEST(ChildCall, FaultsInTheChildEndAsMessages) {
#ifdef _WIN32
  GTEST_SKIP() << "work runs in the caller's own process here";
#endif
  auto crashed = call_in_child([]() -> std::string { std::raise(SIGSEGV); return "unreached"; }, limits(256, 30));
  ASSERT_FALSE(crashed.ok());
  EXPECT_NE(crashed.message().find("the test reader crashed on it (Segmentation fault)"), std::string::npos)
      << crashed.message();

  auto threw = call_in_child([]() -> std::string { throw std::runtime_error("face 3 names point 9"); },
                             limits(256, 30));
  ASSERT_FALSE(threw.ok());
  EXPECT_EQ(threw.message(), "face 3 names point 9");

  // Touched memory, so that it counts however the allocator gets it.
  auto greedy = call_in_child(
      []() -> std::string {
        std::vector<std::string> hoard;
        for (;;) hoard.emplace_back(1 << 20, 'x');
      },
      limits(64, 30));
  ASSERT_FALSE(greedy.ok());
  // A sanitizer's allocator ends the process instead of failing the allocation.
  if (kSanitized)
    EXPECT_TRUE(greedy.message().find("the test reader") == 0) << greedy.message();
  else
    EXPECT_NE(greedy.message().find("needed more than the 64 MB of memory"), std::string::npos) << greedy.message();

  auto endless = call_in_child(
      []() -> std::string {
        volatile unsigned long turns = 0;
        for (;;) turns = turns + 1u;
      },
      limits(64, 1));
  ASSERT_FALSE(endless.ok());
  EXPECT_NE(endless.message().find("the test reader was stopped after 1 s of processor time"), std::string::npos)
      << endless.message();

  ChildLimits impatient = limits(64, 30);
  impatient.stall_seconds = 2;
  auto stuck = call_in_child([]() -> std::string { for (;;) ::pause(); }, impatient);
  ASSERT_FALSE(stuck.ok());
  EXPECT_NE(stuck.message().find("the test reader stopped responding on it (2 s without progress)"), std::string::npos)
      << stuck.message();
}

}  // namespace
