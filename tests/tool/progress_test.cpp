// The progress bar: silent unless enabled, and a clean last line when it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

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
