// Point, texture coordinate, normal and face lines of OBJ files, read in
// place by the reader, against the token-by-token reading it replaced (kept
// here as the reference): for random lines of awkward tokens and spacing, the
// same numbers, the same corners with their UVs and normals, and the same
// error, word for word.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
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

// One corner as the reference reads it: 0-based indices, -1 for none.
struct RefCorner {
  long long point, uv, normal;
};

// The reference reading of the corners after "f", or the error. A corner is
// p, p/t, p//n or p/t/n; an index counts from 1, or back from the entries read
// so far when negative. One counting back past the first is refused at once;
// a texture coordinate or normal past the last is refused later, naming the
// mesh (`later` set).
std::string referenceCorners(std::string_view rest, long long pointCount, long long uvCount, long long normalCount,
                             std::vector<RefCorner>& corners, bool& later) {
  later = false;
  for (std::string_view token = nextToken(rest); !token.empty(); token = nextToken(rest)) {
    std::vector<std::string_view> parts;
    for (std::string_view left = token;;) {
      const size_t slash = left.find('/');
      parts.push_back(left.substr(0, slash));
      if (slash == std::string_view::npos) break;
      left.remove_prefix(slash + 1);
    }
    // A number of a part must end at a slash or the token's end.
    const auto parse = [](std::string_view text, long long count, long long& resolved) {
      long long index = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
      if (ec != std::errc() || end != text.data() + text.size() || index == 0) return false;
      resolved = index > 0 ? index - 1 : count + index;
      return resolved >= 0 && resolved <= INT32_MAX;
    };
    RefCorner corner{0, -1, -1};
    if (!parse(parts[0], pointCount, corner.point)) return "bad point index '" + std::string(token) + "'";
    if (parts.size() > 1 && !parts[1].empty()) {
      if (!parse(parts[1], uvCount, corner.uv)) return "bad texture coordinate index '" + std::string(token) + "'";
      later = later || corner.uv >= uvCount;
    }
    if (parts.size() > 2) {
      if (!parse(parts[2], normalCount, corner.normal)) return "bad normal index '" + std::string(token) + "'";
      later = later || corner.normal >= normalCount;
    }
    if (parts.size() > 3) return "bad point index '" + std::string(token) + "'";
    corners.push_back(corner);
  }
  return {};
}

// The same for a file without "vt" and "vn" lines, point indices alone.
std::string referenceFace(std::string_view rest, long long pointCount, std::vector<long long>& corners,
                          bool& later) {
  std::vector<RefCorner> read;
  const std::string error = referenceCorners(rest, pointCount, 0, 0, read, later);
  for (const RefCorner& c : read) corners.push_back(c.point);
  return error;
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

// Decimals as writers print them (fixed and shortest forms, many digits or
// few, leading zeros, signs), 30,000 of them on point lines: each the float
// the reference reading makes of it, bit for bit.
TEST(ObjLines, DecimalsOfEveryLengthReadAsTheTokenReadingDid) {
  std::mt19937 random(15);
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  std::vector<std::string> numbers;
  char text[64];
  while (numbers.size() < 30000) {
    const double magnitude = std::pow(10.0, pick(-12, 9)) * std::uniform_real_distribution<double>(0.0, 10.0)(random);
    const double value = pick(0, 1) ? -magnitude : magnitude;
    switch (pick(0, 3)) {
      case 0: std::snprintf(text, sizeof text, "%.*g", pick(1, 10), value); break;
      case 1: std::snprintf(text, sizeof text, "%.*f", pick(0, 13), value); break;
      case 2: {  // a run of digits with the point anywhere, leading zeros kept
        std::string digits;
        for (int k = pick(1, 12); k > 0; --k) digits += char('0' + pick(0, 9));
        const int point = pick(0, int(digits.size()));
        if (point > 0 && point < int(digits.size())) digits.insert(size_t(point), ".");
        std::snprintf(text, sizeof text, "%s%s", pick(0, 3) == 0 ? "-" : "", digits.c_str());
        break;
      }
      default: std::snprintf(text, sizeof text, "%.9g", float(value)); break;
    }
    numbers.push_back(text);
  }
  std::string file_text;
  for (size_t k = 0; k < numbers.size(); k += 3)
    file_text += "v " + numbers[k] + " " + numbers[k + 1] + "\t" + numbers[k + 2] + "\n";
  TempDir dir;
  dir.write("decimals.obj", file_text);
  const auto read = read_obj(dir / "decimals.obj");
  ASSERT_TRUE(read.ok()) << read.message();
  const std::vector<Vector>& points = read.value().front().points;
  ASSERT_EQ(points.size(), numbers.size() / 3);
  for (size_t k = 0; k < numbers.size(); ++k) {
    float want = 0.0f;
    ASSERT_TRUE(referenceFloat(numbers[k], want)) << numbers[k];
    const Vector& point = points[k / 3];
    const float got = k % 3 == 0 ? point.x : k % 3 == 1 ? point.y : point.z;
    EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << numbers[k] << ": " << got << " against " << want;
  }
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

// The reference reading of the numbers after "vt": u, and v or 0 where the
// next token is not a number; or the error.
std::string referenceUv(std::string_view rest, float (&uv)[2]) {
  if (!referenceFloat(nextToken(rest), uv[0])) return "a texture coordinate needs a number";
  if (!referenceFloat(nextToken(rest), uv[1])) uv[1] = 0.0f;
  return {};
}

std::string referenceNormal(std::string_view rest, float (&n)[3]) {
  for (float& v : n)
    if (!referenceFloat(nextToken(rest), v)) return "a normal needs three numbers";
  return {};
}

const std::vector<std::string> kNumberTokens = {
    "1",     "-2.5", "+3",   "++1",    "+-1",   "1e5",  "1e",      "1e50",   "1e-50",        "nan",
    "inf",   "-inf", "infinity", "0x1p3", ".5",  "5.",   "-",       "+",      "1.0abc",       "1/2",
    "0",     "-0",   "3.4028235e38", "1e-45", "nan(123)", "abc", "1,5", "\x01", "0.1000000000000000055511"};

TEST(ObjLines, TextureCoordinateAndNormalLinesReadAsTheTokenReadingDid) {
  TempDir dir;
  const auto file = dir / "attribute.obj";
  std::mt19937 random(13);
  int good[2] = {0, 0};
  for (int k = 0; k < 1200; ++k) {
    const bool normal = k % 2 == 1;
    const std::string body = randomBody(random, kNumberTokens);
    const std::string keyword = normal ? "vn" : "vt";
    // The line under test is line 5; its entry is the one the face uses.
    dir.write("attribute.obj", kFourPoints + keyword + (body.empty() || isSpace(body[0]) ? "" : " ") + body +
                                   (normal ? "\nf 1//1 2//1 3//1\n" : "\nf 1/1 2/1 3/1\n"));
    float want[3] = {0.0f, 0.0f, 0.0f};
    float uv[2];
    const std::string error = normal ? referenceNormal(body, want) : referenceUv(body, uv);
    if (!normal) want[0] = uv[0], want[1] = uv[1];
    const auto read = read_obj(file);
    if (!error.empty()) {
      ASSERT_FALSE(read.ok()) << keyword << body;
      EXPECT_TRUE(endsWith(read.message(), ": line 5: " + error)) << keyword << body << ": " << read.message();
      continue;
    }
    ASSERT_TRUE(read.ok()) << keyword << body << ": " << read.message();
    const Mesh& mesh = read.value().front();
    if (normal) {
      ASSERT_EQ(mesh.corner_normals.size(), 3u) << keyword << body;
      EXPECT_EQ(std::memcmp(&mesh.corner_normals[1], want, 3 * sizeof(float)), 0)
          << keyword << body << ": " << mesh.corner_normals[1];
    } else {
      ASSERT_EQ(mesh.uv_sets.size(), 1u) << keyword << body;
      const Uv& got = mesh.uv_sets[0].uvs.at(1);
      EXPECT_EQ(std::memcmp(&got, want, 2 * sizeof(float)), 0) << keyword << body << ": " << got.u << " " << got.v;
    }
    ++good[normal];
  }
  EXPECT_GT(good[0], 20);
  EXPECT_GT(good[1], 20);
}

TEST(ObjLines, CornersWithUvsAndNormalsReadAsTheTokenReadingDid) {
  // Corners that read well, four times as likely as the awkward ones, so
  // that many lines make a face.
  const std::vector<std::string> fine = {"1/1/1", "2/2/2", "3/-1/-2", "4//2", "1/3", "2/-3", "1//-2",
                                         "-1/-1/-1", "-4/-3/-2", "4/1", "2/ 1", "1"};
  const std::vector<std::string> awkward = {
      "3/4", "4/-4", "1//3", "2//-3", "1/1/", "2/2/x", "3/x/1", "1/1/1/1", "1/2/3", "5/1/1", "-5/1/1", "0/1/1",
      "1/0/1", "1/1/0", "3//", "1/-0/1", "1/1/2147483648", "1/2147483648", "2/+1/1", "3/1/+1",
      "00000000000002/1/1", "1/-000000000003/1", "2/1/0000000000000000000000000000001", "1/1/9999999999",
      "1/21474836470", "-0000000000004//2", "1/1/-00"};
  std::vector<std::string> tokens = awkward;
  for (int k = 0; k < 4; ++k) tokens.insert(tokens.end(), fine.begin(), fine.end());
  TempDir dir;
  const auto file = dir / "corner.obj";
  // Three texture coordinates and two normals, each different in every
  // component, so a wrong index shows.
  const std::string attributes = "vt 0.1 0.2\nvt 0.3 0.4\nvt 0.5 0.6\nvn 1 0 0\nvn 0 0.6 0.8\n";
  std::mt19937 random(14);
  int good = 0;
  for (int k = 0; k < 1500; ++k) {
    const std::string body = randomBody(random, tokens);
    std::vector<RefCorner> corners;
    bool later = false;
    const std::string error = referenceCorners(body, 4, 3, 2, corners, later);
    dir.write("corner.obj", kFourPoints + attributes + "f" + (body.empty() || isSpace(body[0]) ? "" : " ") + body + "\n");
    const auto read = read_obj(file);
    if (!error.empty()) {
      ASSERT_FALSE(read.ok()) << "f" << body;
      EXPECT_TRUE(endsWith(read.message(), ": line 10: " + error)) << "f" << body << ": " << read.message();
      continue;
    }
    bool pointPast = false;
    for (const RefCorner& c : corners) pointPast = pointPast || c.point >= 4;
    if (later || pointPast) {
      ASSERT_FALSE(read.ok()) << "f" << body;  // names the mesh and the missing entry
      EXPECT_EQ(read.message().find("line 10"), std::string::npos) << read.message();
      continue;
    }
    ASSERT_TRUE(read.ok()) << "f" << body << ": " << read.message();
    const Mesh& mesh = read.value().front();
    if (corners.size() < 3) {  // a line written as a face is left out
      EXPECT_EQ(mesh.face_count(), 0u) << "f" << body;
      continue;
    }
    ASSERT_EQ(mesh.face_count(), 1u) << "f" << body;
    ASSERT_EQ(mesh.corners.size(), corners.size()) << "f" << body;
    bool anyUv = false, anyNormal = false;
    for (const RefCorner& c : corners) anyUv = anyUv || c.uv >= 0, anyNormal = anyNormal || c.normal >= 0;
    ASSERT_EQ(mesh.uv_sets.size(), anyUv ? 1u : 0u) << "f" << body;
    ASSERT_EQ(mesh.corner_normals.size(), anyNormal ? corners.size() : 0u) << "f" << body;
    const float uvs[3][2] = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}};
    const Vector normals[2] = {Vector(1.0f, 0.0f, 0.0f), Vector(0.0f, 0.6f, 0.8f)};
    for (size_t i = 0; i < corners.size(); ++i) {
      EXPECT_EQ(mesh.corners[i], corners[i].point) << "f" << body << " corner " << i;
      if (anyUv) {
        const Uv want = corners[i].uv >= 0 ? Uv{uvs[corners[i].uv][0], uvs[corners[i].uv][1]} : Uv{};
        EXPECT_EQ(mesh.uv_sets[0].uvs[i], want) << "f" << body << " corner " << i;
      }
      if (anyNormal) {
        const Vector want = corners[i].normal >= 0 ? normals[corners[i].normal] : Vector(0.0f, 0.0f, 0.0f);
        EXPECT_EQ(mesh.corner_normals[i], want) << "f" << body << " corner " << i;
      }
    }
    ++good;
  }
  EXPECT_GT(good, 30);
}

}  // namespace
