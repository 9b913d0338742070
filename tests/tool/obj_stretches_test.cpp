// The OBJ reader reads a large file in stretches at once and joins them: for
// random files with everything that carries from line to line (o, g,
// usemtl and s state, indices counting back, lines joined by a backslash,
// comments, blank lines, CRLF, n-gons, vt and vn, colours), and for the same
// files broken at a random line, every stretch count gives the meshes, or
// the error, of one stretch.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "input_file.h"
#include "obj_reader.h"
#include "obj_stretch.h"
#include "progress.h"
#include "temp_dir.h"

namespace {

using namespace kurvo::media;

std::string bits(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%a ", double(v));
  return text;
}

std::string bits(const Vector& v) { return bits(v.x) + bits(v.y) + bits(v.z); }

// Everything a mesh holds, as text: equal texts, equal meshes.
std::string describe(const Result<std::vector<Mesh>>& read) {
  if (!read) return "error: " + read.message();
  std::string out;
  for (const Mesh& m : read.value()) {
    out += "mesh " + m.name + "\n points";
    for (const Vector& p : m.points) out += bits(p);
    out += "\n colours";
    for (const Vector& c : m.point_colours) out += bits(c);
    out += "\n corners";
    for (int32_t c : m.corners) out += " " + std::to_string(c);
    out += "\n starts";
    for (uint32_t s : m.face_start) out += " " + std::to_string(s);
    for (const UvSet& set : m.uv_sets) {
      out += "\n uvs " + set.name;
      for (const Uv& uv : set.uvs) out += bits(uv.u) + bits(uv.v);
    }
    out += "\n normals";
    for (const Vector& n : m.corner_normals.per_corner_list()) out += bits(n);
    out += "\n materials";
    for (const Material& material : m.materials)
      out += " " + material.name + "=" + bits(material.base_colour) + std::to_string(material.file_index);
    for (uint32_t f : m.face_material) out += " " + std::to_string(f);
    out += "\n smooth";
    for (uint32_t g : m.face_smooth_group) out += " " + std::to_string(g);
    out += "\n colour " + (m.colour ? bits(*m.colour) : std::string("none")) + "\n";
  }
  return out;
}

std::string random_obj(std::mt19937& rng) {
  std::string text;
  const auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  const char* eol = pick(3) == 0 ? "\r\n" : "\n";
  int points = 0, uvs = 0, normals = 0;
  const int lines = 20 + pick(200);
  for (int i = 0; i < lines; ++i) {
    const int kind = pick(20);
    std::string line;
    if (kind < 6) {
      line = "v " + std::to_string(pick(100) - 50) + "." + std::to_string(pick(1000)) + " " +
             std::to_string(pick(9)) + " -" + std::to_string(pick(9)) + ".5";
      if (pick(5) == 0) line += " 0.25 0.5 1";
      ++points;
    } else if (kind < 8) {
      line = "vt 0." + std::to_string(pick(100)) + " 0." + std::to_string(pick(100));
      ++uvs;
    } else if (kind < 10) {
      line = "vn 0 " + std::to_string(pick(3) - 1) + " 1";
      ++normals;
    } else if (kind < 15 && points >= 3) {
      line = "f";
      const bool with_uv = uvs > 0 && pick(2), with_normal = normals > 0 && pick(2);
      const int corners = 3 + pick(4);
      for (int c = 0; c < corners; ++c) {
        const int p = pick(points);
        // Some indices count back from the last entry read.
        line += " " + (pick(3) == 0 ? std::to_string(p - points) : std::to_string(p + 1));
        if (with_uv || with_normal) line += "/";
        if (with_uv) line += pick(2) ? std::to_string(-1 - pick(uvs)) : std::to_string(1 + pick(uvs));
        if (with_normal) line += "/" + std::to_string(1 + pick(normals));
      }
    } else if (kind == 15) {
      line = (pick(2) ? "o part" : "g side") + std::to_string(pick(4));
    } else if (kind == 16) {
      line = "usemtl paint" + std::to_string(pick(3));
    } else if (kind == 17) {
      const int s = pick(4);
      line = s == 0 ? "s off" : "s " + std::to_string(s);
    } else if (kind == 18) {
      line = pick(2) ? "# a comment" : "";
    } else {
      line = "v 1 2 \\";  // goes on on the next line
      text += line + eol;
      line = "  3 # and ends here";
      ++points;
    }
    text += line + eol;
  }
  return text;
}

// The same file with one line made wrong: a malformed number, an index
// counting back past the first entry, or an index of 0.
std::string broken(std::mt19937& rng, const std::string& text) {
  std::vector<size_t> starts{0};
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '\n') starts.push_back(i + 1);
  const size_t at = starts[rng() % starts.size()];
  static const char* const kBad[] = {"v 1 x 3\n", "f -100000 1 2\n", "f 1/-100000 2 3\n", "f 0 1 2\n", "vn 1\n"};
  return text.substr(0, at) + kBad[rng() % 5] + text.substr(at);
}

// The same file without its "o" and "g" lines: one mesh throughout, as large
// files mostly are, every stretch continuing the one before.
std::string one_mesh(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
    if (text.compare(at, 2, "o ") != 0 && text.compare(at, 2, "g ") != 0) out.append(text, at, end - at);
    at = end;
  }
  return out;
}

TEST(ObjStretches, AnyStretchCountReadsWhatOneStretchReads) {
  const TempDir dir;
  dir.write("paints.mtl", "newmtl paint1\nKd 0.5 0.25 1\n");
  std::mt19937 rng(42);
  for (int round = 0; round < 150; ++round) {
    std::string text = "mtllib paints.mtl\n" + random_obj(rng);
    if (round % 2 == 1) text = one_mesh(text);
    if (round % 3 == 2) text = broken(rng, text);
    dir.write("m.obj", text);
    const std::string expected = describe(read_obj_in_stretches(dir / "m.obj", false, 1));
    for (size_t count : {2, 3, 5, 16, 200}) {
      const std::string got = describe(read_obj_in_stretches(dir / "m.obj", false, count));
      ASSERT_EQ(got, expected) << "round " << round << ", " << count << " stretches, file:\n" << text;
    }
  }
}

// The reading bar moves as the stretches are read on their threads, piece
// by piece, and ends at the file's size.
TEST(ObjStretches, StretchesReadOnThreadsCountEveryByteOnOneBar) {
  const TempDir dir;
  std::string text;
  for (int i = 0; text.size() < (size_t(5) << 20); ++i) text += "v " + std::to_string(i) + " 0.5 -2.25\n";
  dir.write("big.obj", text);
  auto file = InputFile::open(dir / "big.obj");
  ASSERT_TRUE(file.ok()) << file.message();
  std::string problem;
  const std::vector<uint64_t> bounds = stretch_bounds(file.value(), 3, problem);
  ASSERT_TRUE(problem.empty()) << problem;
  ASSERT_EQ(bounds.size(), 4u);
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    FileProgress bar("reading big.obj", text.size(), "MB", 1'000'000, out, true);
    SharedFileProgress shared(bar);
    std::vector<std::thread> threads;
    std::vector<size_t> points(3);
    for (size_t i = 0; i < 3; ++i)
      threads.emplace_back([&, i] {
        points[i] = read_obj_stretch(file.value(), bounds[i], bounds[i + 1], &shared).points.size();
      });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(shared.done(), text.size());
    EXPECT_GT(points[0] * points[1] * points[2], 0u);
  }
  std::fclose(out);
}

}  // namespace
