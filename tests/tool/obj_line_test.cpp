// Point and face lines of OBJ files, read in place by the reader, against the
// token-by-token reading it replaced (kept here as the reference): for random
// lines of awkward tokens and spacing, the same points, the same corners and
// the same error, word for word.
#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "obj_reader.h"
#include "temp_dir.h"

namespace {

using namespace kurvo::media;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view nextToken(std::string_view& line) {
  size_t start = 0;
  while (start < line.size() && isSpace(line[start])) ++start;
  size_t end = start;
  while (end < line.size() && !isSpace(line[end])) ++end;
  const std::string_view token = line.substr(start, end - start);
  line.remove_prefix(end);
  return token;
}

bool referenceFloat(std::string_view token, float& out) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out);
  return ec == std::errc() && end == token.data() + token.size();
}

// The reference reading of the numbers after "v": the point, or the error.
std::string referencePoint(std::string_view rest, float (&c)[3]) {
  for (float& v : c)
    if (!referenceFloat(nextToken(rest), v)) return "a point needs three numbers";
  return {};
}

// The reference reading of the corners after "f" (0-based), or the error.
// A corner is p, p/t, p//n or p/t/n. The file has no "vt" or "vn" lines, so
// a texture coordinate or normal index that is a valid number refers to none
// and is refused later (`later` set), one counting back refers to none at
// once.
std::string referenceFace(std::string_view rest, long long pointCount, std::vector<long long>& corners,
                          bool& later) {
  later = false;
  for (std::string_view token = nextToken(rest); !token.empty(); token = nextToken(rest)) {
    std::vector<std::string_view> parts;
    for (std::string_view left = token;;) {
      const size_t slash = left.find('/');
      parts.push_back(left.substr(0, slash));
      if (slash == std::string_view::npos) break;
      left.remove_prefix(slash + 1);
    }
    const auto parse = [](std::string_view text, long long& index) {
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
      return ec == std::errc() && end == text.data() + text.size() && index != 0;
    };
    long long index = 0;
    // A number of the point part must end at a slash or the token's end.
    if (!parse(parts[0], index)) return "bad point index '" + std::string(token) + "'";
    const long long resolved = index > 0 ? index - 1 : pointCount + index;
    if (resolved < 0 || resolved > INT32_MAX) return "bad point index '" + std::string(token) + "'";
    if (parts.size() > 1 && !parts[1].empty()) {
      long long t = 0;
      if (!parse(parts[1], t) || t < 0 || t - 1 > INT32_MAX) return "bad texture coordinate index '" + std::string(token) + "'";
      later = true;
    }
    if (parts.size() > 2) {
      long long n = 0;
      if (!parse(parts[2], n) || n < 0 || n - 1 > INT32_MAX) return "bad normal index '" + std::string(token) + "'";
      later = true;
    }
    if (parts.size() > 3) return "bad point index '" + std::string(token) + "'";
    corners.push_back(resolved);
  }
  return {};
}

// A line body of 0 to 5 random tokens with random spacing around them.
std::string randomBody(std::mt19937& random, const std::vector<std::string>& tokens) {
  static const char* const spaces[] = {" ", "\t", "  ", "\r", "\v", "\f", " \t "};
  const auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  std::string body = pick(3) == 0 ? spaces[pick(7)] : "";
  const size_t count = pick(6);
  for (size_t k = 0; k < count; ++k) body += (k ? spaces[pick(7)] : "") + tokens[pick(tokens.size())];
  if (pick(3) == 0) body += spaces[pick(7)];
  return body;
}

const std::string kFourPoints = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n";

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(ObjLines, PointLinesReadAsTheTokenReadingDid) {
  const std::vector<std::string> tokens = {
      "1",     "-2.5", "+3",   "++1",    "+-1",   "1e5",  "1e",      "1e50",   "1e-50",        "nan",
      "inf",   "-inf", "infinity", "0x1p3", ".5",  "5.",   "-",       "+",      "1.0abc",       "1/2",
      "0",     "-0",   "3.4028235e38", "1e-45", "nan(123)", "abc", "1,5", "\x01", "0.1000000000000000055511"};
  TempDir dir;
  const auto file = dir / "point.obj";
  std::mt19937 random(11);
  int good = 0;
  for (int k = 0; k < 800; ++k) {
    const std::string body = randomBody(random, tokens);
    dir.write("point.obj", kFourPoints + "v" + (body.empty() || isSpace(body[0]) ? "" : " ") + body + "\nf 1 2 3 5\n");
    float want[3];
    const std::string error = referencePoint(body, want);
    const auto read = read_obj(file);
    if (!error.empty()) {
      ASSERT_FALSE(read.ok()) << "v" << body;
      EXPECT_TRUE(endsWith(read.message(), ": line 5: " + error)) << "v" << body << ": " << read.message();
      continue;
    }
    if (!std::isfinite(want[0]) || !std::isfinite(want[1]) || !std::isfinite(want[2])) {
      ASSERT_FALSE(read.ok()) << "v" << body;  // refused later, naming the mesh, not the line
      EXPECT_EQ(read.message().find("line 5"), std::string::npos) << read.message();
      continue;
    }
    ASSERT_TRUE(read.ok()) << "v" << body << ": " << read.message();
    const Vector& got = read.value().front().points.at(4);
    EXPECT_EQ(std::memcmp(&got, want, sizeof want), 0) << "v" << body << ": " << got;
    ++good;
  }
  EXPECT_GT(good, 20);
}

TEST(ObjLines, FaceLinesReadAsTheTokenReadingDid) {
  const std::vector<std::string> tokens = {
      "1",   "2/3",  "3//4",  "4/1/2", "-1",   "-4",   "-5",         "0",          "-0",          "1/",
      "/1",  "x",    "99999999999999999999", "2147483648", "2147483649", "-2147483649", "4/a", "+2",
      "1x/2", "2//", "3.0",  "1e2",   "2/-", "3/ 4"};
  TempDir dir;
  const auto file = dir / "face.obj";
  std::mt19937 random(12);
  int good = 0;
  for (int k = 0; k < 800; ++k) {
    const std::string body = randomBody(random, tokens);
    std::vector<long long> corners;
    bool later = false;
    const std::string error = referenceFace(body, 4, corners, later);
    dir.write("face.obj", kFourPoints + "f" + (body.empty() || isSpace(body[0]) ? "" : " ") + body + "\n");
    const auto read = read_obj(file);
    if (!error.empty()) {
      ASSERT_FALSE(read.ok()) << "f" << body;
      EXPECT_TRUE(endsWith(read.message(), ": line 5: " + error)) << "f" << body << ": " << read.message();
      continue;
    }
    if (later) {
      ASSERT_FALSE(read.ok()) << "f" << body;  // names the mesh and the missing entry
      EXPECT_EQ(read.message().find("line 5"), std::string::npos) << read.message();
      continue;
    }
    // The corners the reference read, written plainly, must make the same mesh
    // (or the same later complaint about it).
    std::string plain = "f";
    for (long long c : corners) {
      plain += ' ';
      plain += std::to_string(c + 1);
    }
    dir.write("face.obj", kFourPoints + plain + "\n");
    const auto want = read_obj(file);
    ASSERT_EQ(read.ok(), want.ok()) << "f" << body << " against " << plain;
    if (!want.ok()) {
      EXPECT_EQ(read.message(), want.message()) << "f" << body;
      continue;
    }
    const auto got = mesh_polygons(read.value().front());
    const auto plainPolygons = mesh_polygons(want.value().front());
    ASSERT_EQ(got.size(), plainPolygons.size()) << "f" << body;
    for (size_t i = 0; i < got.size(); ++i)
      EXPECT_EQ(std::memcmp(&got[i], &plainPolygons[i], sizeof got[i]), 0) << "f" << body;
    ++good;
  }
  EXPECT_GT(good, 20);
}

}  // namespace
