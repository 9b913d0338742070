// The buffered text writer behind the OBJ writer: pieces that straddle its
// buffer, pieces larger than it, numbers, and failures named by file.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

#include "temp_dir.h"
#include "text_sink.h"

using namespace kurvo::media;

namespace {

std::string read_all(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

template <class T>
std::string number_text(T v) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  return std::string(buffer, end);
}

TEST(TextSink, WritesEveryPieceInOrderAcrossBufferEdges) {
  const TempDir dir;
  const auto file = dir.path() / "t.txt";
  std::string expected;
  {
    TextSink sink(file, file);
    // Odd-sized pieces so that texts, characters and numbers all end up
    // straddling the 1 MiB buffer's edge at some point.
    const std::string piece(997, 'x'), huge(3 << 20, 'y');
    for (int i = 0; i < 3000; ++i) {
      const float f = 0.1f * static_cast<float>(i);
      const uint64_t u = 18446744073709551615ull - static_cast<uint64_t>(i);
      sink.append(piece);
      sink.append(' ');
      sink.append(f);
      sink.append(u);
      sink.append('\n');
      expected += piece + ' ' + number_text(f) + number_text(u) + '\n';
      if (i == 1500) {
        sink.append(huge);  // larger than the buffer: written through
        expected += huge;
      }
    }
    for (int i = 0; i < (2 << 20) + 5; ++i) {  // single characters onto a full buffer
      sink.append(static_cast<char>('a' + i % 26));
      expected += static_cast<char>('a' + i % 26);
    }
    ASSERT_TRUE(sink.finish().ok());
  }
  const std::string got = read_all(file);
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "the first difference at " << std::mismatch(got.begin(), got.end(), expected.begin()).first - got.begin();
  EXPECT_NE(got.find(" 0.118446744073709551614\n"), std::string::npos) << "shortest float text";
}

TEST(TextSink, FailuresNameTheFile) {
  const TempDir dir;
  TextSink missing(dir.path() / "no" / "such" / "t.obj", "shown.obj");
  missing.append("v 1 2 3\n");
  const Status s = missing.finish();
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("shown.obj"), std::string::npos) << s.message();

  // A full disk reports when the buffer goes out, not before.
  TextSink full("/dev/full", "full.obj");
  full.append(std::string(3 << 20, 'z'));
  const Status f = full.finish();
  ASSERT_FALSE(f.ok());
  EXPECT_NE(f.message().find("full.obj"), std::string::npos) << f.message();
}

}  // namespace
