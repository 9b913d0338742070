// Work in a child process: its bytes come back whole, however large, and a
// crash, a runaway allocation, an endless loop or an exception in it ends
// as a failure the caller reports, with the caller still running.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "child_call.h"
#include "progress.h"
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

// A bar the child draws on the terminal it shares: ended by the child when
// it gets that far, by the caller when the child is ended first, and never
// twice (no empty line between the bar and what follows).
TEST(ChildCall, ABarTheChildLeavesOpenIsEndedByTheCaller) {
  struct Case {
    const char* what;
    bool shown;
    bool finish;  // the child ends the bar before it stops
    bool crash;
    int lines;    // line ends in the output
  };
  for (const Case& c : {Case{"ended by the child, then crashed", true, true, true, 1},
                        Case{"crashed with the bar open", true, false, true, 1},
                        Case{"failed with the bar open", true, false, false, 1},
                        Case{"a bar that does not show", false, false, true, 0}}) {
    SCOPED_TRACE(c.what);
    std::FILE* out = std::tmpfile();
    ASSERT_TRUE(out);
    kurvo::media::ChildProgress progress("reading big.ply", 40'000'000, out, c.shown);
    auto answer = call_in_child(
        [&]() -> std::string {
          kurvo::media::FileProgress& bar = progress.start();
          bar.reach(10'000'000);
          if (c.finish) bar.finish();
          if (c.crash) std::raise(SIGSEGV);
          throw std::runtime_error("no such mesh");
        },
        limits(256, 30));
    progress.end_left_line();
    progress.end_left_line();  // once is all
    ASSERT_FALSE(answer.ok());
    std::fflush(out);
    std::rewind(out);
    std::string text;
    for (int ch; (ch = std::fgetc(out)) != EOF;) text += static_cast<char>(ch);
    std::fclose(out);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.lines) << text;
    if (!c.shown) continue;
    EXPECT_NE(text.find("reading big.ply ["), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n') << text;
    EXPECT_NE(text.find(c.finish ? "] 25% 10.0/40.0 MB\n" : "] 25% 10.0/40.0 MB"), std::string::npos) << text;
  }
}

}  // namespace
