// The progress bar: silent unless enabled, and a clean last line when it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "progress.h"

using namespace kurvo::media;

namespace {

std::string contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) out.push_back(static_cast<char>(c));
  return out;
}

TEST(ProgressBar, DisabledBarWritesNothing) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    ProgressBar bar("work", 10, f, false);
    EXPECT_FALSE(bar.enabled());
    for (int i = 0; i < 10; ++i) bar.advance();
    bar.finish();
  }
  EXPECT_EQ(contents(f), "");
  std::fclose(f);
  // Quiet mode never draws, terminal or not.
  EXPECT_FALSE(ProgressBar("work", 10, true).enabled());
}

TEST(ProgressBar, EnabledBarEndsWithTheFinalStateOnItsOwnLine) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    ProgressBar bar("bending", 200, f, true);
    for (int i = 0; i < 200; ++i) bar.advance();
    bar.finish();
    bar.finish();  // harmless
  }  // the destructor adds nothing after finish()
  const std::string out = contents(f);
  std::fclose(f);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line, redrawn with carriage returns";
  const std::string last = out.substr(out.rfind('\r') + 1);
  EXPECT_EQ(last, ProgressBar::format_line("bending", 200, 200) + "\n");
  EXPECT_LT(std::count(out.begin(), out.end(), '\r'), 10) << "redraws are rate-limited";
}

TEST(ProgressBar, LineShowsShareAndCounts) {
  EXPECT_EQ(ProgressBar::format_line("x", 1, 4, 8), "x [##......] 25% 1/4");
  EXPECT_EQ(ProgressBar::format_line("x", 9, 4, 4), "x [####] 100% 4/4");  // never beyond full
  EXPECT_EQ(ProgressBar::format_line("x", 17, 0), "x 17");                 // unknown total
}

}  // namespace

// A large file's bar counts what was handed to it, in the unit it names, and
// ends on the full count however the pieces fell.
TEST(FileProgress, CountsPiecesInTheUnitAndEndsFull) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    FileProgress progress("reading scan.obj", 12'345'678, "MB", 1'000'000, f, true);
    EXPECT_TRUE(progress.shown());
    for (uint64_t done = 0; done < 12'345'678; done += 1 << 20) progress.add(std::min<uint64_t>(1 << 20, 12'345'678 - done));
  }  // finished by the destructor
  const std::string out = contents(f);
  std::fclose(f);
  EXPECT_EQ(out.substr(out.rfind('\r') + 1),
            "reading scan.obj [##############################] 100% 12.3/12.3 MB\n");
  EXPECT_EQ(ProgressBar::format_line("writing a.obj", 250'000, 1'000'000, 4, "points and faces", 1),
            "writing a.obj [#...] 25% 250000/1000000 points and faces");
  EXPECT_EQ(ProgressBar::format_line("x", 50'000, 0, 4, "MB", 1'000'000), "x 0.1 MB");
}

TEST(FileProgress, ShowsOnlyWhenTurnedOnAndTheWorkIsLarge) {
  FileProgress::enable(false);
  EXPECT_FALSE(FileProgress::bytes("reading a", 1'000'000'000).shown());
  EXPECT_FALSE(FileProgress::count("writing a", 10'000'000, "points").shown());
  FileProgress::enable(true);
  // Small work never shows, terminal or not.
  EXPECT_FALSE(FileProgress::bytes("reading a", FileProgress::kLargeBytes - 1).shown());
  EXPECT_FALSE(FileProgress::count("writing a", FileProgress::kLargeCount - 1, "points").shown());
  // A test's stderr is no terminal: large work shows nothing either.
  if (!::isatty(STDERR_FILENO)) {
    EXPECT_FALSE(FileProgress::bytes("reading a", 1'000'000'000).shown());
  }
  FileProgress::enable(false);
}
