// Bad scene files: one message naming the file, the object and the field; and
// from the tool, a non-zero exit status and no output file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "scene_fixture.h"
#include "temp_dir.h"

namespace {

struct BadCase {
  const char* what;
  std::string objects;
  std::vector<std::string> expected;  // substrings of the message
};

TEST_F(SceneTest, EveryUserMistakeNamesTheFileTheObjectAndTheField) {
  const std::vector<BadCase> cases = {
      {"unknown type", R"({"name": "A", "type": "teapot"})", {"bad.json: ", "object \"A\"", "type: unknown type \"teapot\""}},
      {"unknown plug-in ID", R"({"name": "A", "type": 42})", {"object \"A\"", "type: no object plug-in with ID 42"}},
      {"unknown symbol",
       R"({"name": "D", "type": "Kurvo2", "params": {"KURVO_OFSET": 1}})",
       {"object \"D\"", "params.KURVO_OFSET: unknown parameter symbol"}},
      {"symbol on a type without description",
       R"({"name": "P", "type": "polygon", "params": {"KURVO_OFFSET": 1}})",
       {"object \"P\"", "params.KURVO_OFFSET: unknown parameter symbol"}},
      {"wrong value type",
       R"({"name": "D", "type": "Kurvo2", "params": {"KURVO_OFFSET": "far"}})",
       {"object \"D\"", "params.KURVO_OFFSET: expected a number"}},
      {"fraction for an integer",
       R"({"name": "D", "type": "Kurvo2", "params": {"KURVO_UP_MODE": 1.5}})",
       {"params.KURVO_UP_MODE: expected an integer"}},
      {"vector of two",
       R"({"name": "D", "type": "Kurvo2", "params": {"KURVO_UP_VECTOR": [0, 1]}})",
       {"params.KURVO_UP_VECTOR: expected a vector"}},
      {"link to nothing",
       R"({"name": "D", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Nowhere"}})",
       {"object \"D\"", "params.KURVO_SPLINE: links to \"Nowhere\", but no object has that name"}},
      {"index out of range",
       R"({"name": "M", "type": "polygon", "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0, 1, 3]]})",
       {"object \"M\"", "polygons[0][2]: point index 3 is out of range (the object has 3 points)"}},
      {"negative index",
       R"({"name": "M", "type": "polygon", "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0, -1, 2]]})",
       {"polygons[0][1]: point index -1 is out of range"}},
      {"missing mesh", R"({"name": "M", "type": "polygon", "mesh": "no-such.obj"})",
       {"object \"M\"", "mesh: file not found", "no-such.obj"}},
      {"infinite coordinate", R"({"name": "M", "type": "polygon", "points": [[0, 1e39, 0]]})",
       {"object \"M\"", "points[0][1]: not a finite number"}},
      {"huge coordinate in JSON", R"({"name": "S", "type": "spline", "points": [[0, 0, -1e400]]})",
       {"bad.json: malformed JSON: number overflow", "-1e400"}},
      {"infinite parameter", R"({"name": "D", "type": "Kurvo2", "params": {"KURVO_OFFSET": 1e300}})",
       {"params.KURVO_OFFSET: not a finite number"}},
      {"duplicate name", R"({"name": "A", "type": "null"}, {"name": "A", "type": "null"})",
       {"object \"A\"", "name: another object already has this name"}},
      {"missing name", R"({"type": "null"})", {"objects[0].name: missing"}},
      {"unknown field", R"({"name": "A", "type": "null", "colour": [1, 0, 0]})", {"object \"A\"", "colour: unknown field"}},
      {"polygon field on a spline", R"({"name": "S", "type": "spline", "polygons": []})",
       {"object \"S\"", "polygons: unknown field"}},
      {"weights count", R"({"name": "M", "type": "polygon", "points": [[0,0,0]],
                            "tags": [{"type": "vertexmap", "weights": [1, 0]}]})",
       {"object \"M\"", "tags[0].weights: has 2 weights; the object has 1 points"}},
      {"unknown tag", R"({"name": "A", "type": "null", "tags": [{"type": "sticker"}]})",
       {"tags[0].type: unknown tag type \"sticker\""}},
      {"primitive too large",
       R"({"name": "M", "type": "polygon", "primitive": {"kind": "plane", "width_segments": 100000, "depth_segments": 100000}})",
       {"object \"M\"", "primitive: would make about"}},
      {"two sides around", R"({"name": "M", "type": "polygon", "primitive": {"kind": "cylinder", "rotation_segments": 2}})",
       {"object \"M\"", "primitive.rotation_segments: must be at least 3"}},
      {"one band of a sphere", R"({"name": "M", "type": "polygon", "primitive": {"kind": "sphere", "ring_segments": 1}})",
       {"primitive.ring_segments: must be at least 2"}},
      {"weld without a mesh", R"({"name": "M", "type": "polygon", "points": [[0,0,0]], "mesh_weld": true})",
       {"object \"M\"", "mesh_weld: needs \"mesh\""}},
      {"segments do not add up", R"({"name": "S", "type": "spline", "points": [[0,0,0],[1,0,0]], "segments": [3]})",
       {"segments: the segments hold 3 points, the spline has 2"}},
      {"matrix and position", R"({"name": "A", "type": "null", "position": [1,2,3], "matrix": [[0,0,0],[1,0,0],[0,1,0],[0,0,1]]})",
       {"matrix: give either"}},
      {"child error names the child", R"({"name": "A", "type": "null", "children": [{"name": "B", "type": "null", "deform": 1}]})",
       {"object \"B\"", "deform: expected true or false"}},
  };
  for (const BadCase& c : cases) {
    const std::string message = loadError(sceneWith(c.objects));
    ASSERT_FALSE(message.empty()) << c.what << ": loaded";
    EXPECT_EQ(message.find('\n'), std::string::npos) << c.what << ": one line";
    for (const std::string& part : c.expected)
      EXPECT_NE(message.find(part), std::string::npos) << c.what << ": \"" << message << "\" lacks \"" << part << "\"";
  }
}

TEST_F(SceneTest, MalformedJsonGivesLineAndColumn) {
  const std::string text = "{\n  \"format\": \"kurvo-scene\",\n  \"version\": 1,\n  \"objects\": [{\"name\": \"A\" \"type\": 1}]\n}";
  const std::string message = loadError(text);
  EXPECT_EQ(message.rfind("bad.json:4:", 0), 0u) << message;
  EXPECT_NE(message.find("malformed JSON"), std::string::npos) << message;
  EXPECT_EQ(loadError("").rfind("bad.json:1:1: malformed JSON", 0), 0u) << loadError("");
}

TEST_F(SceneTest, HeaderIsChecked) {
  EXPECT_NE(loadError(R"({"format": "other", "version": 1})").find("format: expected \"kurvo-scene\""), std::string::npos);
  EXPECT_NE(loadError(R"({"format": "kurvo-scene", "version": 2})").find("reads versions up to 1"), std::string::npos);
  EXPECT_NE(loadError(R"([1, 2])").find("expected a scene object"), std::string::npos);
  EXPECT_EQ(loadError(R"({"format": "kurvo-scene", "version": 1})"), "");
}

TEST_F(SceneTest, UnreadableMeshFileIsNamed) {
  TempDir dir;
  dir.write("broken.ply", "garbage, not a mesh\n");
  const std::string message =
      loadError(sceneWith(R"({"name": "M", "type": "polygon", "mesh": "broken.ply"})"), dir / "scene.json");
  EXPECT_NE(message.find("object \"M\": mesh: "), std::string::npos) << message;
  EXPECT_NE(message.find("broken.ply"), std::string::npos) << message;
}

// The tool itself: a bad scene gives one message, exit status 1 and no file.
TEST_F(SceneTest, ToolLeavesNoOutputForABadScene) {
  TempDir dir;
  dir.write("bad.json", sceneWith(R"({"name": "D", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Nowhere"}})"));
  for (const char* out : {"out.json", "out.obj", "out.glb"}) {
    const std::string command = std::string(KURVO_TOOL) + " eval --quiet --plugins " + KURVO_PLUGIN_DIR + " " +
                                (dir / "bad.json").string() + " -o " + (dir / out).string() + " 2> " +
                                (dir / "stderr.txt").string();
    const int status = std::system(command.c_str());
    EXPECT_NE(status, 0) << out;
    std::ifstream err(dir / "stderr.txt");
    std::string line;
    std::getline(err, line);
    EXPECT_NE(line.find("bad.json: object \"D\": params.KURVO_SPLINE: links to \"Nowhere\""), std::string::npos)
        << line;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"bad.json", "stderr.txt"})) << out;
  }
}

TEST_F(SceneTest, ToolRefusesAnUnknownOutputFormatBeforeWork) {
  TempDir dir;
  dir.write("ok.json", sceneWith(R"({"name": "A", "type": "null"})"));
  const std::string command = std::string(KURVO_TOOL) + " eval --quiet --plugins " + KURVO_PLUGIN_DIR + " " +
                              (dir / "ok.json").string() + " -o " + (dir / "out.xyz").string() + " 2> /dev/null";
  EXPECT_NE(std::system(command.c_str()), 0);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"ok.json"});
}

}  // namespace

namespace {

// Objects nested `depth` levels below a top-level object.
std::string nestedObjects(int depth) {
  std::string text;
  for (int i = 0; i <= depth; ++i) text += R"({"name": "N)" + std::to_string(i) + R"(", "type": "null", "children": [)";
  for (int i = 0; i <= depth; ++i) text += "]}";
  return text;
}

// A parameter holding containers nested `depth` deep.
std::string nestedContainers(int depth) {
  std::string value = "1";
  for (int i = 0; i < depth; ++i) value = R"({"container": {"1": )" + value + "}}";
  return R"({"name": "C", "type": "null", "params": {"5000": )" + value + "}}";
}

std::string timed(const std::string& time, const std::string& keys) {
  return R"({"format": "kurvo-scene", "version": 1, "time": )" + time + R"(, "objects": [
      {"name": "D", "type": "Kurvo2", "tracks": [{"param": "KURVO_OFFSET", "keys": )" + keys + "}]}]}";
}

const char* kTwoTriangles = R"({"name": "A", "type": "polygon", "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2]]},
    {"name": "B", "type": "polygon", "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2]]})";

// A gradient parameter with one knot whose field `name` is `value`.
std::string gradientKnot(const std::string& name, const std::string& value) {
  return R"({"name": "G", "type": "null", "params": {"5000": {"gradient": {"knots": [{"color": [1, 0, 0], ")" + name +
         R"(": )" + value + "}]}}}}";
}

std::string primitive(const std::string& fields) {
  return R"({"name": "P", "type": "polygon", "primitive": {)" + fields + "}}";
}

// A plane of 10 x 10 segments: 121 points.
const char* kPlane = R"({"name": "P", "type": "polygon", "primitive": {"kind": "plane", "width_segments": 10, "depth_segments": 10}})";

}  // namespace

// Every limit of a scene file, at the limit (loads) and one past it (one
// message naming the field).
TEST_F(SceneTest, SceneLimitsHoldAtTheLimitAndRefuseOnePast) {
  kurvo::scenefile::GeometryLimits defaults;
  kurvo::scenefile::GeometryLimits primitive121 = defaults, primitive120 = defaults;
  primitive121.maxPrimitivePoints = 121;
  primitive120.maxPrimitivePoints = 120;
  kurvo::scenefile::GeometryLimits scene6 = defaults, scene5 = defaults;
  scene6.maxScenePoints = 6;
  scene5.maxScenePoints = 5;
  const std::string still = R"({"fps": 24, "start": 0, "end": 10})";
  const struct {
    const char* what;
    std::string text;
    kurvo::scenefile::GeometryLimits limits;
    std::string refusal;  // empty: loads
  } cases[] = {
      {"objects 512 levels deep", sceneWith(nestedObjects(512)), defaults, ""},
      {"objects 513 levels deep", sceneWith(nestedObjects(513)), defaults, "objects nested too deeply"},
      {"containers 32 deep", sceneWith(nestedContainers(32)), defaults, ""},
      {"containers 33 deep", sceneWith(nestedContainers(33)), defaults, "containers nested too deeply"},
      {"a primitive at its budget", sceneWith(kPlane), primitive121, ""},
      {"a primitive past its budget", sceneWith(kPlane), primitive120, "would make about 121 points; at most 120"},
      {"a primitive past the default budget",
       sceneWith(R"({"name": "P", "type": "polygon", "primitive": {"kind": "plane", "width_segments": 7071, "depth_segments": 7071}})"),
       defaults, "would make about 50013184 points; at most 50000000 are allowed"},
      {"a cylinder of 3 sides", sceneWith(primitive(R"("kind": "cylinder", "rotation_segments": 3)")), defaults, ""},
      {"a sphere of 2 bands", sceneWith(primitive(R"("kind": "sphere", "ring_segments": 2)")), defaults, ""},
      {"a plane of 1 segment", sceneWith(primitive(R"("kind": "plane", "width_segments": 1)")), defaults, ""},
      {"a plane of 0 segments", sceneWith(primitive(R"("kind": "plane", "width_segments": 0)")), defaults,
       "primitive.width_segments: must be at least 1"},
      {"a knot at brightness 100", sceneWith(gradientKnot("brightness", "100")), defaults, ""},
      {"a knot brighter", sceneWith(gradientKnot("brightness", "100.01")), defaults, "brightness"},
      {"a knot at position 1", sceneWith(gradientKnot("position", "1")), defaults, ""},
      {"a knot past 1", sceneWith(gradientKnot("position", "1.0001")), defaults, "position"},
      {"a knot with bias 0", sceneWith(gradientKnot("bias", "0")), defaults, ""},
      {"a knot with bias below 0", sceneWith(gradientKnot("bias", "-0.001")), defaults, "bias"},
      {"a scene at its budget", sceneWith(kTwoTriangles), scene6, ""},
      {"a scene past its budget", sceneWith(kTwoTriangles), scene5, "the scene needs at least 6 points; a scene may hold 5"},
      {"1000 frames per second", timed(R"({"fps": 1000})", "[[0, 0]]"), defaults, ""},
      {"just over 1000 frames per second", timed(R"({"fps": 1000.001})", "[[0, 0]]"), defaults, "time.fps: must be from 0.01 to 1000 frames per second"},
      {"a range to 10^8 on both sides", timed(R"({"start": -100000000, "end": 100000000})", "[[0, 0]]"), defaults, ""},
      {"a start one frame further", timed(R"({"start": -100000001, "end": 0})", "[[0, 0]]"), defaults, "time.start: is beyond"},
      {"an end one frame further", timed(R"({"start": 0, "end": 100000001})", "[[0, 0]]"), defaults, "time.end: is beyond"},
      {"keys at +-10^8", timed(still, "[[-100000000, 0], [100000000, 1]]"), defaults, ""},
      {"a key past 10^8", timed(still, "[[0, 0], [100000000.5, 1]]"), defaults, "keys[1][0]: the frame must be a finite number within"},
      {"a key past -10^8", timed(still, "[[-100000000.5, 0]]"), defaults, "keys[0][0]: the frame must be a finite number within"},
  };
  for (const auto& c : cases) {
    kurvo::scenefile::LoadOptions options;
    options.limits = c.limits;
    auto result = kurvo::scenefile::loadSceneText(c.text, "limits.json", newDocument(), host(), options);
    if (c.refusal.empty()) {
      EXPECT_TRUE(result.ok()) << c.what << ": " << result.message();
      continue;
    }
    if (result.ok()) {
      ADD_FAILURE() << c.what << ": loaded";
      continue;
    }
    EXPECT_EQ(result.message().find('\n'), std::string::npos) << c.what;
    EXPECT_EQ(result.message().rfind("limits.json: ", 0), 0u) << c.what << ": " << result.message();
    EXPECT_NE(result.message().find(c.refusal), std::string::npos) << c.what << ": " << result.message();
  }
}
