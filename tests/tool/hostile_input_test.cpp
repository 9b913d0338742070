// Hostile and unusual input, against the real tool: every case ends with one
// line naming the file (and object and field where there is one), exit
// status 1, nothing written and old files byte-identical; nothing is read
// from outside the reach of the scene; size-hostile inputs fail cleanly under
// a memory cap.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "finite_results.h"
#include "glb_header_check.h"
#include "input_file.h"
#include "mesh_import.h"
#include "ply_header_check.h"
#include "render_budget.h"
#include "scene_fixture.h"
#include "sanitized_build.h"
#include "temp_dir.h"

namespace {

constexpr bool kSanitized = kSanitizedBuild;

struct ToolRun {
  int status = -1;
  std::string err;
};

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs `kurvo COMMAND --quiet --plugins ... ARGS` in `dir`, under an
// address-space cap of `capKiB` (2 GB unless given; none under
// AddressSanitizer, which reserves far more).
ToolRun runTool(const TempDir& dir, const std::string& command, const std::string& args,
                long capKiB = 2000000) {
  const std::string cap = kSanitized ? "" : "ulimit -v " + std::to_string(capKiB) + "; ";
  const std::filesystem::path err = dir.path().parent_path() / (dir.path().filename().string() + ".stderr");
  const std::string line = cap + "cd '" + dir.path().string() + "' && " + KURVO_TOOL + " " + command +
                           " --quiet --plugins " + KURVO_PLUGIN_DIR + " " + args + " 2> '" + err.string() + "'";
  const int raw = std::system(line.c_str());
  ToolRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  run.err = readFile(err);
  std::filesystem::remove(err);
  return run;
}

// One line, status 1, and every part in the message.
void expectRefused(const ToolRun& run, std::initializer_list<const char*> parts, const std::string& what) {
  EXPECT_EQ(run.status, 1) << what << ": " << run.err;
  ASSERT_FALSE(run.err.empty()) << what;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << what << ": one line: " << run.err;
  for (const char* p : parts) EXPECT_NE(run.err.find(p), std::string::npos) << what << ": lacks \"" << p << "\": " << run.err;
}

const char* kTriangle = R"({"name": "T", "type": "polygon", "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2]]})";

class HostileInput : public SceneTest {};

TEST_F(HostileInput, OnlyFormatsThatRoundTripAreOffered) {
  TempDir dir;
  dir.write("s.json", sceneWith(kTriangle));
  for (const char* ext : {".pbrt", ".fbx", ".x3d", ".3mf", ".step", ".x", ".3ds"}) {
    const ToolRun run = runTool(dir, "eval", std::string("s.json -o out") + ext);
    expectRefused(run, {ext}, ext);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"s.json"}) << ext;
  }
}

TEST_F(HostileInput, OnlyRegularFilesAreRead) {
  TempDir dir;
  std::filesystem::create_symlink("/dev/zero", dir / "zero.obj");
  ASSERT_EQ(::mkfifo((dir / "fifo.obj").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo.mtl").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo.bin").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "zero.mtl");
  dir.write("fifo_lib.obj", "mtllib fifo.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  dir.write("zero_lib.obj", "mtllib zero.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  dir.write("fifo.gltf", R"({"asset": {"version": "2.0"}, "buffers": [{"uri": "fifo.bin", "byteLength": 36}],
      "bufferViews": [{"buffer": 0, "byteLength": 36}],
      "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0,0,0], "max": [1,1,1]}],
      "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}], "nodes": [{"mesh": 0}], "scenes": [{"nodes": [0]}]})");
  std::filesystem::create_symlink("loop_b.obj", dir / "loop_a.obj");
  std::filesystem::create_symlink("loop_a.obj", dir / "loop_b.obj");
  struct Case {
    const char* mesh;
    const char* expected;
  };
  for (const Case& c : {Case{"/dev/zero", "not a regular file (a device)"},
                        Case{"zero.obj", "not a regular file (a device)"},
                        Case{"fifo.obj", "not a regular file (a FIFO)"},
                        Case{"fifo_lib.obj", "not a regular file (a FIFO)"},
                        Case{"zero_lib.obj", "lies outside"},  // the link leads out of the folder
                        Case{"fifo.gltf", "not a regular file (a FIFO)"},
                        Case{"loop_a.obj", "loop of symbolic links"}}) {
    dir.write("s.json", sceneWith(std::string(R"({"name": "M", "type": "polygon", "mesh": ")") + c.mesh + "\"}"));
    const ToolRun run = runTool(dir, "eval", "s.json -o out.obj");
    expectRefused(run, {"s.json", "object \"M\"", "mesh: ", c.expected}, c.mesh);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.obj")) << c.mesh;
  }
  // The scene itself.
  expectRefused(runTool(dir, "eval", "/dev/zero -o out.json"), {"/dev/zero", "not a regular file"}, "scene");
  expectRefused(runTool(dir, "eval", "fifo.obj -o out.json"), {"fifo.obj", "not a regular file (a FIFO)"},
                "scene FIFO");
}

TEST_F(HostileInput, DeclaredSizesAreCheckedBeforeAllocating) {
  TempDir dir;
  // 52 bytes whose one chunk claims 0xFFFFFFF0 bytes.
  std::string glb = "glTF";
  const auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) glb += static_cast<char>((v >> (8 * i)) & 0xff);
  };
  u32(2);
  u32(52);
  u32(0xFFFFFFF0u);
  glb += "JSON";
  glb += std::string(32, ' ');
  dir.write("huge.glb", glb);
  dir.write("s.json", sceneWith(R"({"name": "M", "type": "polygon", "mesh": "huge.glb"})"));
  expectRefused(runTool(dir, "eval", "s.json -o out.obj"), {"s.json", "object \"M\"", "huge.glb", "declares"}, "glb");

  // Framing that fits but a JSON document cut short: the import library read
  // past its buffer on this one (found by the fuzzer), so it is refused first.
  const std::string json = R"({"asset":{"versigeometrynode )";
  glb = "glTF";
  u32(2);
  u32(static_cast<uint32_t>(20 + json.size()));
  u32(static_cast<uint32_t>(json.size()));
  glb += "JSON" + json;
  dir.write("cut.glb", glb);
  dir.write("cut.gltf", json);
  // A document that is well-formed up to a NUL byte and garbage after it:
  // the JSON check stops at the NUL, the import library's reader does not.
  const std::string nul = std::string("2\0", 2) + R"(asset":":{"verSigeometrynod)";
  glb = "glTF";
  u32(2);
  u32(static_cast<uint32_t>(20 + nul.size()));
  u32(static_cast<uint32_t>(nul.size()));
  glb += "JSON" + nul;
  dir.write("nul.glb", glb);
  dir.write("nul.gltf", nul);
  for (const char* mesh : {"cut.glb", "cut.gltf", "nul.glb", "nul.gltf"}) {
    dir.write("s.json", sceneWith(std::string(R"({"name": "M", "type": "polygon", "mesh": ")") + mesh + "\"}"));
    expectRefused(runTool(dir, "eval", "s.json -o out.obj"), {"s.json", mesh, "not well-formed JSON"}, mesh);
  }
}

TEST_F(HostileInput, ResourcesOfMeshFilesStayInTheirFolder) {
  TempDir dir;
  std::filesystem::create_directories(dir / "shared" / "mesh");
  std::string floats;
  for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) floats.append(reinterpret_cast<const char*>(&v), 4);
  dir.write("private.bin", floats);
  const auto gltf = [](const std::string& uri) {
    return R"({"asset": {"version": "2.0"}, "buffers": [{"uri": ")" + uri + R"(", "byteLength": 36}],
      "bufferViews": [{"buffer": 0, "byteLength": 36}],
      "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0,0,0], "max": [1,1,0]}],
      "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}], "nodes": [{"mesh": 0}], "scenes": [{"nodes": [0]}]})";
  };
  dir.write("shared/mesh/up.gltf", gltf("../../private.bin"));
  dir.write("shared/mesh/passwd.gltf", gltf("../../../../../../../../etc/passwd"));
  dir.write("shared/mesh/absolute.gltf", gltf((dir / "private.bin").string()));
  dir.write("shared/mesh/lib.obj", "mtllib ../../private.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  dir.write("private.mtl", "newmtl a\nKd 1 0 0\n");
  for (const char* mesh : {"mesh/up.gltf", "mesh/passwd.gltf", "mesh/lib.obj"}) {
    dir.write("shared/s.json", sceneWith(std::string(R"({"name": "M", "type": "polygon", "mesh": ")") + mesh + "\"}"));
    expectRefused(runTool(dir, "eval", "shared/s.json -o out.json"), {"s.json", "object \"M\"", "outside"}, mesh);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.json")) << mesh;
  }
  // An absolute URI is taken as relative to the glTF's folder, where there is
  // no such file.
  dir.write("shared/s.json", sceneWith(R"({"name": "M", "type": "polygon", "mesh": "mesh/absolute.gltf"})"));
  expectRefused(runTool(dir, "eval", "shared/s.json -o out.json"), {"s.json", "object \"M\"", "private.bin"},
                "absolute");
  // An explicit option lets a trusted file reach out.
  dir.write("shared/s.json", sceneWith(R"({"name": "M", "type": "polygon", "mesh": "mesh/up.gltf"})"));
  const ToolRun allowed = runTool(dir, "eval", "shared/s.json -o out.json --allow-outside-resources");
  EXPECT_EQ(allowed.status, 0) << allowed.err;
}

TEST_F(HostileInput, TheWholeSceneHasAPointBudget) {
  TempDir dir;
  // Ten planes of 9 million points each, every one within the limit of a
  // primitive; with a budget of 20 million the third is refused before its
  // points exist, so the run stays well under the memory cap.
  std::string planes;
  for (int i = 0; i < 10; ++i)
    planes += std::string(i ? ", " : "") + R"({"name": "P)" + std::to_string(i) +
              R"(", "type": "polygon", "primitive": {"kind": "plane", "width_segments": 2999, "depth_segments": 2999}})";
  dir.write("s.json", sceneWith(planes));
  expectRefused(runTool(dir, "eval", "s.json -o out.glb --max-points 20000000"),
                {"s.json", "object \"P2\"", "primitive", "needs at least 27000000 points", "--max-points"},
                "ten planes");
  // The budget is an option.
  dir.write("small.json", sceneWith(kTriangle));
  expectRefused(runTool(dir, "eval", "small.json -o out.glb --max-points 2"), {"small.json", "object \"T\"", "points"},
                "budget of 2");
  EXPECT_EQ(runTool(dir, "eval", "small.json -o out.glb --max-points 3").status, 0);
  // Pictures too.
  expectRefused(runTool(dir, "render", "small.json -o big.png --width 16384 --height 16384"),
                {"--width", "GB", "8192 x 8192"}, "huge picture");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"out.glb", "s.json", "small.json"}));
}

// The tool reserves address space for its heap when it starts; a cap below
// that reserve (a container's limit, say) must not stop it.
TEST_F(HostileInput, AnAddressSpaceCapBelowTheHeapReserveStillRuns) {
  TempDir dir;
  std::filesystem::copy_file(std::filesystem::path(KURVO_SOURCE_DIR) / "examples" / "tube-on-arc.json",
                             dir.path() / "scene.json");
  const ToolRun run = runTool(dir, "eval", "scene.json -o out.obj", 500000);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_GT(std::filesystem::file_size(dir.path() / "out.obj"), 1000u);
}

TEST_F(HostileInput, OutputIsAllOrNothing) {
  TempDir dir;
  dir.write("s.json", sceneWith(std::string(kTriangle) + R"(, {"name": "U", "type": "polygon", "material": "red",
      "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2]]})")
                          .insert(1, R"("materials": [{"name": "red", "color": [1, 0, 0]}], )"));
  // The main file is a folder: the side file stays as it was.
  std::filesystem::create_directory(dir / "a.obj");
  dir.write("a.mtl", "old library");
  expectRefused(runTool(dir, "eval", "s.json -o a.obj"), {"a.obj", "directory"}, "obj folder");
  EXPECT_EQ(readFile(dir / "a.mtl"), "old library");
  std::filesystem::create_directory(dir / "b.gltf");
  dir.write("b.bin", "old buffer");
  expectRefused(runTool(dir, "eval", "s.json -o b.gltf"), {"b.gltf", "directory"}, "gltf folder");
  EXPECT_EQ(readFile(dir / "b.bin"), "old buffer");
  // demo: three files together.
  std::filesystem::create_directories(dir / "demo" / "demo.png");
  dir.write("demo/demo.json", "old scene");
  expectRefused(runTool(dir, "demo", "--out demo --width 64 --height 64"), {"demo.png", "directory"}, "demo");
  EXPECT_EQ(readFile(dir / "demo" / "demo.json"), "old scene");
  EXPECT_FALSE(std::filesystem::exists(dir / "demo" / "demo.glb"));

  // A replaced file keeps its mode; a link stays a link; long names work.
  dir.write("keep.json", "old");
  ::chmod((dir / "keep.json").c_str(), 0600);
  dir.write("target.obj", "old");
  std::filesystem::create_symlink("target.obj", dir / "link.obj");
  const std::string longName = std::string(249, 'n') + ".obj";
  for (const std::string& out : {std::string("keep.json"), std::string("link.obj"), longName})
    EXPECT_EQ(runTool(dir, "eval", "s.json -o " + out).status, 0) << out.substr(0, 20);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "keep.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.obj"));
  EXPECT_NE(readFile(dir / "target.obj").find("v 1 0 0"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / longName));
  for (const std::string& name : dir.names()) EXPECT_NE(name.rfind(".kurvo-", 0), 0u) << "temporary left: " << name;
}

TEST_F(HostileInput, NamesCannotBreakFilesOrMessages) {
  TempDir dir;
  dir.write("s.json", sceneWith(R"({"name": "A\nv 9 9 9\n#", "type": "polygon", "material": "m",
      "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2]]},
      {"name": "B <'\"&>\\", "type": "polygon", "points": [[0,0,1],[1,0,1],[0,1,1]], "polygons": [[0,1,2]]})")
                          .insert(1, R"("materials": [{"name": "m", "color": [0, 1, 0]}], )"));
  for (const char* out : {"o.obj", "o.dae", "o.gltf", "o.glb"}) {
    ASSERT_EQ(runTool(dir, "eval", std::string("s.json -o ") + out).status, 0) << out;
    auto read = kurvo::media::import_meshes(dir / out);
    ASSERT_TRUE(read.ok()) << out << ": " << read.message();
    size_t points = 0;
    for (const auto& m : read.value()) {
      points += m.points.size();
      for (const auto& p : m.points) EXPECT_NE(p.x, 9.0f) << out << ": a name became a point";
    }
    EXPECT_EQ(points, 6u) << out;
  }
  // A name with ESC and a line break is shown escaped, on one line.
  dir.write("bad.json", sceneWith(R"({"name": "x\u001b[2J\r\nkurvo: all fine", "type": "null", "deform": 3})"));
  const ToolRun run = runTool(dir, "eval", "bad.json -o o.json");
  expectRefused(run, {"bad.json", "\\x1b[2J\\r\\nkurvo: all fine", "deform"}, "escaped name");
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
}

TEST_F(HostileInput, ResultsThatAreNotNumbersAreFailures) {
  TempDir dir;
  // Each point is finite, but scaled into the world it is not.
  dir.write("s.json", sceneWith(R"({"name": "Tube", "type": "polygon", "scale": 1e30,
      "primitive": {"kind": "cylinder", "radius": 1e9, "height": 10}})"));
  for (const char* out : {"x.json", "x.obj", "x.glb", "x.png"}) {
    const ToolRun run = runTool(dir, std::string(out) == "x.png" ? "render" : "eval", std::string("s.json -o ") + out);
    expectRefused(run, {"s.json: object \"Tube\": points[0]: ", "not a finite number"}, out);
  }
  // Objects a format cannot hold say why (glTF and PLY hold points alone).
  dir.write("e.json", sceneWith(R"({"name": "Empty", "type": "polygon", "points": [[0,0,0]]})"));
  for (const char* out : {"e.stl", "e.dae"})
    expectRefused(runTool(dir, "eval", std::string("e.json -o ") + out), {"object \"Empty\" has no polygons"}, out);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"e.json", "s.json"}));
  const ToolRun cloud = runTool(dir, "eval", "e.json -o e.ply");
  EXPECT_EQ(cloud.status, 0) << cloud.err;
  EXPECT_NE(readFile(dir / "e.ply").find("element vertex 1\n"), std::string::npos);
}

// What an evaluation leaves, checked before any output: points, then
// parameters, each named.
TEST_F(HostileInput, TheFiniteCheckNamesTheObjectAndTheField) {
  kurvo::scenefile::Scene scene;
  kurvo::host::Document& doc = load(sceneWith(std::string(kTriangle) +
                                              R"(, {"name": "D", "type": "Kurvo2"})"),
                                    scene, "s.json");
  doc.evaluate();
  EXPECT_TRUE(kurvo::scenefile::checkFiniteResults(doc, host(), "s.json").ok());
  kurvo::host::Object* t = find(doc, "T");
  auto points = t->points();
  points[2].y = std::nanf("");
  t->setPoints(points);
  EXPECT_EQ(kurvo::scenefile::checkFiniteResults(doc, host(), "s.json").message(),
            "s.json: object \"T\": points[2]: not a finite number after the evaluation (a value went out of range)");
  points[2].y = 0.0f;
  t->setPoints(points);
  find(doc, "D")->parameters().setReal(1014, std::numeric_limits<float>::infinity());
  const std::string message = kurvo::scenefile::checkFiniteResults(doc, host(), "s.json").message();
  EXPECT_NE(message.find("s.json: object \"D\": params.KURVO_SPLINE_LENGTH: not a finite number"), std::string::npos)
      << message;
}

TEST_F(HostileInput, ValuesByIdObeyTheSameRules) {
  TempDir dir;
  struct Case {
    const char* objects;
    const char* expected;
  };
  for (const Case& c :
       {Case{R"({"name": "C", "type": "spline", "primitive": {"kind": "circle"}, "params": {"2001": -100}})",
             "params.2001: must be greater than 0"},
        Case{R"({"name": "H", "type": "spline", "primitive": {"kind": "helix"}, "params": {"2007": "many"}})",
             "params.2007: expected a number"},
        Case{R"({"name": "H", "type": "spline", "primitive": {"kind": "helix", "turns": 1e30}})", "about 1.6e+31"},
        Case{R"({"name": "A", "type": "null", "name": "B"})", "the key \"name\" appears twice"}}) {
    dir.write("s.json", sceneWith(c.objects));
    expectRefused(runTool(dir, "eval", "s.json -o out.json"), {"s.json", c.expected}, c.objects);
  }
  // A whole number for a size is accepted, and what is saved loads again.
  dir.write("s.json", sceneWith(R"({"name": "C", "type": "spline", "primitive": {"kind": "circle"}, "params": {"2001": 5}})"));
  ASSERT_EQ(runTool(dir, "eval", "s.json -o out.json").status, 0);
  EXPECT_EQ(runTool(dir, "eval", "out.json -o again.json").status, 0);
}

TEST_F(HostileInput, UsageAndLoaderMistakes) {
  TempDir dir;
  dir.write("s.json", sceneWith(kTriangle));
  expectRefused(runTool(dir, "eval", "s.json"), {"--out"}, "missing -o");
  expectRefused(runTool(dir, "eval", "s.json -o x.obj --bogus"), {"--bogus"}, "unknown option");
  // A truncated module is refused before the loader maps it.
  std::filesystem::create_directories(dir / "plugins" / "Kurvo2");
  const std::string module = readFile(std::filesystem::path(KURVO_PLUGIN_DIR) / "Kurvo2" / "Kurvo2.so");
  ASSERT_GT(module.size(), 8192u);
  dir.write("plugins/Kurvo2/Kurvo2.so", module.substr(0, module.size() / 2));
  const std::string line = std::string(KURVO_TOOL) + " info --quiet --plugins '" + (dir / "plugins").string() +
                           "' 2> '" + (dir / "err.txt").string() + "'";
  const int raw = std::system(line.c_str());
  ASSERT_TRUE(WIFEXITED(raw)) << "killed by a signal";
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(readFile(dir / "err.txt").find("truncated"), std::string::npos) << readFile(dir / "err.txt");
  // The panel of an object without one names the file, not a type number.
  const ToolRun panel = runTool(dir, "panel", "s.json --object T -o p.png");
  expectRefused(panel, {"s.json", "object \"T\"", "no attribute description"}, "panel");
  EXPECT_EQ(panel.err.find("(type"), std::string::npos) << panel.err;
}

// A file of `size` bytes that takes no room on disk.
void sparseFile(const std::filesystem::path& file, uint64_t size) {
  std::ofstream{file};
  std::filesystem::resize_file(file, size);
}

// A binary PLY of `vertices` points of three floats, its header padded with a
// comment to `headerBytes` (up to and including "end_header\n") and followed
// by `bodyBytes` bytes.
std::string plyFile(size_t headerBytes, int vertices, size_t bodyBytes, bool text = false) {
  std::string head = std::string("ply\nformat ") + (text ? "ascii" : "binary_little_endian") +
                     " 1.0\nelement vertex " + std::to_string(vertices) +
                     "\nproperty float x\nproperty float y\nproperty float z\n";
  const std::string end = "end_header\n";
  head += "comment " + std::string(headerBytes - head.size() - end.size() - 9, 'x') + "\n";
  return head + end + std::string(bodyBytes, text ? ' ' : '\0');
}

// A version 2 binary glTF: its header's length and its JSON chunk's length
// as given (0: the true ones).
std::string glbFile(uint32_t declaredLength = 0, uint32_t declaredChunk = 0) {
  const std::string json = R"({"asset":{"version":"2.0"}} )";  // 28 bytes, a multiple of 4
  std::string glb = "glTF";
  const auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) glb += static_cast<char>((v >> (8 * i)) & 0xff);
  };
  u32(2);
  u32(declaredLength ? declaredLength : static_cast<uint32_t>(20 + json.size()));
  u32(declaredChunk ? declaredChunk : static_cast<uint32_t>(json.size()));
  glb += "JSON" + json;
  return glb;
}

// Every size the tool reads up to, at the size (read) and one byte over
// (refused before reading, in words).
TEST_F(HostileInput, FileSizeLimitsHoldAtTheLimitAndRefuseOneByteMore) {
  TempDir dir;
  using kurvo::media::kMaxInputFileBytes;
  uint64_t size = 0;
  sparseFile(dir / "at.obj", kMaxInputFileBytes);
  sparseFile(dir / "over.obj", kMaxInputFileBytes + 1);
  EXPECT_EQ(kurvo::media::input_file_problem(dir / "at.obj", size), "");
  EXPECT_EQ(size, kMaxInputFileBytes);
  EXPECT_EQ(kurvo::media::input_file_problem(dir / "over.obj", size),
            "it is 2147483649 bytes; files over 2147483648 bytes are not read");
  dir.write("s.json", sceneWith(R"({"name": "M", "type": "polygon", "mesh": "over.obj"})"));
  expectRefused(runTool(dir, "eval", "s.json -o out.json"), {"s.json", "object \"M\"", "files over 2147483648 bytes"},
                "mesh file over the limit");

  // The readers, whole and by blocks, at a limit of their caller's.
  const std::string content(3u << 20, 'k');
  dir.write("three.bin", content);
  const uint64_t three = content.size();
  auto whole = kurvo::media::read_input_file(dir / "three.bin", three);
  EXPECT_TRUE(whole.ok() && whole.value() == content) << whole.message();
  EXPECT_EQ(kurvo::media::read_input_file(dir / "three.bin", three - 1).message(),
            "it is 3145728 bytes; files over 3145727 bytes are not read");
  uint64_t seen = 0;
  const auto count = [&](std::string_view block) { seen += block.size(); };
  EXPECT_TRUE(kurvo::media::read_input_blocks(dir / "three.bin", count, three).ok());
  EXPECT_EQ(seen, three);
  seen = 0;
  EXPECT_FALSE(kurvo::media::read_input_blocks(dir / "three.bin", count, three - 1).ok());
  EXPECT_EQ(seen, 0u) << "nothing is read of a file over the limit";

  // Scene files: 512 MiB, by the same reader (reading one of exactly that
  // size would cost a second of the suite's time).
  using kurvo::scenefile::kMaxSceneFileBytes;
  sparseFile(dir / "at.json", kMaxSceneFileBytes);
  sparseFile(dir / "over.json", kMaxSceneFileBytes + 1);
  EXPECT_EQ(kurvo::media::input_file_problem(dir / "at.json", size, kMaxSceneFileBytes), "");
  const auto refused = kurvo::scenefile::loadScene(dir / "over.json", newDocument(), host());
  EXPECT_NE(refused.message().find("it is 536870913 bytes; files over 536870912 bytes are not read"), std::string::npos)
      << refused.message();

  // PLY: a header of 64 KiB at most, and no more elements than the body holds
  // (three floats a point: 4 bytes each in binary, at least 2 as text).
  const struct {
    std::string bytes;
    std::string problem;  // empty: accepted
  } plys[] = {
      {plyFile(65536, 3, 36), ""},
      {plyFile(65537, 3, 36), "no \"end_header\" line"},
      {plyFile(1000, 12, 36), ""},
      {plyFile(1000, 13, 36), "declares 13 elements \"vertex\", more than the file's 36 bytes"},
      {plyFile(1000, 6, 36, true), ""},
      {plyFile(1000, 7, 36, true), "declares 7 elements \"vertex\""},
  };
  for (const auto& ply : plys) {
    dir.write("m.ply", ply.bytes);
    const std::string problem = kurvo::media::check_ply_header(dir / "m.ply");
    if (ply.problem.empty())
      EXPECT_EQ(problem, "") << ply.bytes.size() << " bytes";
    else
      EXPECT_NE(problem.find(ply.problem), std::string::npos) << ply.bytes.size() << " bytes: " << problem;
  }

  // Binary glTF: the lengths it declares may reach the end of the file, not past it.
  const std::string glb = glbFile();
  EXPECT_EQ(kurvo::media::check_glb_bytes(glb, glb.size()), "");
  EXPECT_NE(kurvo::media::check_glb_bytes(glbFile(49), 48).find("declares 49 bytes, but the file has 48"),
            std::string::npos);
  EXPECT_NE(kurvo::media::check_glb_bytes(glbFile(0, 29), 48).find("declares 29 bytes, more than the file holds"),
            std::string::npos);
}

// Every limit of the tool's options, at the limit and one past.
TEST_F(HostileInput, OptionLimitsHoldAtTheLimitAndRefuseOnePast) {
  TempDir dir;
  dir.write("s.json", sceneWith(kTriangle));
  dir.write("d.json", sceneWith(std::string(kTriangle) + R"(, {"name": "D", "type": "Kurvo2"})"));
  const struct {
    const char* command;
    std::string args;
    std::string refusal;  // empty: runs
  } cases[] = {
      {"render", "s.json -o p.png --width 16 --height 16", ""},
      {"render", "s.json -o p.png --width 15 --height 16", "--width"},
      {"render", "s.json -o p.png --width 16 --height 15", "--height"},
      {"render", "s.json -o p.png --width 16384 --height 16", ""},
      {"render", "s.json -o p.png --width 16385 --height 16", "--width"},
      {"render", "s.json -o p.png --width 16 --height 16385", "--height"},
      {"render", "s.json -o p.png --width 8192 --height 8193", "8192 x 8192"},
      {"panel", "d.json --object D -o p.png --width 260", ""},
      {"panel", "d.json --object D -o p.png --width 259", "--width"},
      {"panel", "d.json --object D -o p.png --width 4096", ""},
      {"panel", "d.json --object D -o p.png --width 4097", "--width"},
      {"eval", "s.json -o o.json -j 1", ""},
      {"eval", "s.json -o o.json -j 1024", ""},
      {"eval", "s.json -o o.json -j 0", "--threads"},
      {"eval", "s.json -o o.json -j 1025", "--threads"},
      {"eval", "s.json -o o.json --max-points 3", ""},
      {"eval", "s.json -o o.json --max-points 2", "--max-points"},
      {"eval", "s.json -o o.json --max-points 0", "--max-points"},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.command) + " " + c.args;
    const ToolRun run = runTool(dir, c.command, c.args);
    if (c.refusal.empty())
      EXPECT_EQ(run.status, 0) << what << ": " << run.err;
    else
      expectRefused(run, {c.refusal.c_str()}, what);
  }
  // The picture budget itself: 8192 x 8192 pixels in any shape.
  EXPECT_EQ(kurvo::media::render_size_problem(8192, 8192), "");
  EXPECT_EQ(kurvo::media::render_size_problem(16384, 4096), "");
  EXPECT_NE(kurvo::media::render_size_problem(16384, 4097), "");
  EXPECT_NE(kurvo::media::render_size_problem(8193, 8192).find("a 8193 x 8192 picture needs about"), std::string::npos);
}

}  // namespace
