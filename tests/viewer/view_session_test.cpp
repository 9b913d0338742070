// The scene behind kurvo view, against the built module: edits go through
// the scene reader's checks and the real evaluation, and the answer carries
// only the geometry that moved.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "../tool/scene_fixture.h"
#include "../tool/temp_dir.h"
#include "scene_preview.h"
#include "view_session.h"

namespace kurvo::viewer {
namespace {

struct Frame {
  nlohmann::json header;
  std::string bytes;
  size_t base = 0;
  std::vector<float> floats(const nlohmann::json& ref) const {
    std::vector<float> out(ref["count"].get<size_t>());
    std::memcpy(out.data(), bytes.data() + base + ref["offset"].get<size_t>(), out.size() * sizeof(float));
    return out;
  }
};

Frame decode(const std::string& bytes) {
  Frame f;
  uint32_t length = 0;
  std::memcpy(&length, bytes.data() + 4, 4);
  f.header = nlohmann::json::parse(bytes.substr(8, length));
  f.bytes = bytes;
  f.base = 8 + length;
  return f;
}

std::string tubeScene(const std::string& offset) {
  return sceneWith(R"(
    {"name": "Path", "type": "spline", "interpolation": "cubic",
     "points": [[0, 0, 0], [150, 80, 200], [0, 160, 400], [0, 0, 800]]},
    {"name": "Other", "type": "spline", "primitive": {"kind": "circle", "radius": 100}},
    {"name": "Tube", "type": "polygon", "position": [0, 0, 400],
     "primitive": {"kind": "cylinder", "radius": 40, "height": 800, "height_segments": 40},
     "children": [{"name": "Bend", "type": "Kurvo2", "position": [0, 0, -400],
                   "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 1, "KURVO_OFFSET": )" +
                   offset + "}}]}");
}

class ViewSessionTest : public SceneTest {
 protected:
  void open(const std::string& text) {
    document_ = &load(text, scene_, dir_.path() / "scene.json");
    document_->evaluate();
    view_ = std::make_unique<ViewSession>(*session_, *document_, scene_, [this](const std::filesystem::path& out) {
      written_ = out;
      return kurvo::media::Status::success();
    });
  }
  uint64_t serialOf(const std::string& name) { return find(*document_, name)->serial(); }

  TempDir dir_;
  kurvo::scenefile::Scene scene_;
  kurvo::host::Document* document_ = nullptr;
  std::unique_ptr<ViewSession> view_;
  std::filesystem::path written_;
};

TEST_F(ViewSessionTest, AnEditAnswersTheMovedMeshAsEvaluatingTheEditedFileDoes) {
  if (!session_) return;
  open(tubeScene("0"));
  const Frame first = decode(view_->geometry(true));
  ASSERT_EQ(first.header["meshes"].size(), 1u);
  EXPECT_TRUE(first.header["meshes"][0].contains("indices"));

  const EditAnswer answer = view_->edit(serialOf("Bend"), {{"KURVO_OFFSET", 0.25}});
  ASSERT_EQ(answer.error, "");
  const Frame moved = decode(answer.geometry);
  ASSERT_EQ(moved.header["meshes"].size(), 1u);
  const auto& mesh = moved.header["meshes"][0];
  EXPECT_FALSE(mesh.contains("indices")) << "the topology did not change";
  const std::vector<float> points = moved.floats(mesh["positions"]);

  // The same value straight from a scene file.
  kurvo::scenefile::Scene other;
  kurvo::host::Document& expected = load(tubeScene("0.25"), other);
  expected.evaluate();
  const auto meshes = kurvo::scenefile::worldMeshes(expected);
  ASSERT_EQ(points.size(), meshes[0].points.size() * 3);
  for (size_t i = 0; i < meshes[0].points.size(); ++i) {
    ASSERT_EQ(points[i * 3], meshes[0].points[i].x) << i;
    ASSERT_EQ(points[i * 3 + 2], meshes[0].points[i].z) << i;
  }
  EXPECT_NE(first.floats(first.header["meshes"][0]["positions"]), points);

  // An edit that moves nothing sends no mesh, but the lines again.
  const Frame same = decode(view_->edit(serialOf("Bend"), {{"KURVO_OFFSET", 0.25}}).geometry);
  EXPECT_TRUE(same.header["meshes"].empty());
  EXPECT_GT(same.header["lines"]["positions"]["count"].get<size_t>(), 0u);
}

// The page's faces are kept while the object's polygons stay; polygons
// set anew (a modelling command would) go out again with the points.
TEST_F(ViewSessionTest, ChangedPolygonsAreSentAgainUnchangedOnesNot) {
  if (!session_) return;
  open(tubeScene("0"));
  const Frame first = decode(view_->geometry(true));
  const std::vector<float> positionsBefore = first.floats(first.header["meshes"][0]["positions"]);
  ASSERT_EQ(view_->edit(serialOf("Bend"), {{"KURVO_OFFSET", 0.25}}).error, "");
  kurvo::host::Object& tube = *find(*document_, "Tube");
  // The first quad turned round: the same points, other faces.
  std::vector<kurvo::geo::Polygon> polygons = tube.restPolygons();
  ASSERT_FALSE(polygons.empty());
  std::swap(polygons[0].b, polygons[0].d);
  const kurvo::geo::Polygon turned = polygons[0];
  tube.setPolygons(std::move(polygons));
  const Frame answer = decode(view_->edit(serialOf("Bend"), {{"KURVO_OFFSET", 0.5}}).geometry);
  ASSERT_EQ(answer.header["meshes"].size(), 1u);
  const auto& mesh = answer.header["meshes"][0];
  ASSERT_TRUE(mesh.contains("indices")) << "the faces changed";
  std::vector<uint32_t> indices(mesh["indices"]["count"].get<size_t>());
  std::memcpy(indices.data(), answer.bytes.data() + answer.base + mesh["indices"]["offset"].get<size_t>(),
              indices.size() * sizeof(uint32_t));
  ASSERT_GE(indices.size(), 3u);
  EXPECT_EQ(indices[0], uint32_t(turned.a));
  EXPECT_EQ(indices[1], uint32_t(turned.b));
  EXPECT_EQ(indices[2], uint32_t(turned.c));
  EXPECT_EQ(answer.floats(mesh["positions"]).size(), positionsBefore.size());
  // And the edit after it keeps them again.
  const Frame next = decode(view_->edit(serialOf("Bend"), {{"KURVO_OFFSET", 0.4}}).geometry);
  ASSERT_EQ(next.header["meshes"].size(), 1u);
  EXPECT_FALSE(next.header["meshes"][0].contains("indices"));
}

TEST_F(ViewSessionTest, RefusedEditsNameTheFieldAndKeepEveryValue) {
  if (!session_) return;
  open(tubeScene("0.1"));
  const uint64_t bend = serialOf("Bend");
  const kurvo::host::Container before = find(*document_, "Bend")->parameters();
  const std::string file = (dir_.path() / "scene.json").string();

  EditAnswer a = view_->edit(bend, {{"KURVO_OFFSET", "far"}});
  EXPECT_NE(a.error.find(file), std::string::npos) << a.error;
  EXPECT_NE(a.error.find("Bend"), std::string::npos) << a.error;
  EXPECT_NE(a.error.find("KURVO_OFFSET"), std::string::npos) << a.error;
  EXPECT_TRUE(a.geometry.empty());

  // A good value before a bad one in the same block is taken back too.
  a = view_->edit(bend, {{"KURVO_ROTATION", 1.0}, {"KURVO_SPLINE", "Nowhere"}});
  EXPECT_NE(a.error.find("Nowhere"), std::string::npos) << a.error;
  a = view_->edit(bend, {{"KURVO_ROTATION", 1.0}, {"NO_SUCH_PARAMETER", 1}});
  EXPECT_NE(a.error, "");
  EXPECT_NE(view_->edit(9999999, {{"KURVO_OFFSET", 0.5}}).error, "");

  const kurvo::host::Container& after = find(*document_, "Bend")->parameters();
  EXPECT_EQ(after.getReal(1000), before.getReal(1000));
  EXPECT_EQ(after.getReal(1001), before.getReal(1001));
  EXPECT_EQ(after.find(1002)->getLink(), before.find(1002)->getLink());

  // Links are set by the linked object's name.
  ASSERT_EQ(view_->edit(bend, {{"KURVO_SPLINE", "Other"}}).error, "");
  EXPECT_EQ(find(*document_, "Bend")->parameters().find(1002)->getLink(), serialOf("Other"));
}

TEST_F(ViewSessionTest, PanelRowsBannerAndSave) {
  if (!session_) return;
  open(tubeScene("0.1"));
  EXPECT_FALSE(view_->panel(serialOf("Tube")).ok()) << "a plain polygon object has no description";
  auto panel = view_->panel(serialOf("Bend"));
  ASSERT_TRUE(panel.ok()) << panel.message();
  const nlohmann::json& rows = panel.value()["rows"];
  const nlohmann::json* offset = nullptr;
  const nlohmann::json* upMode = nullptr;
  const nlohmann::json* element = nullptr;
  for (const auto& r : rows) {
    if (r.value("key", "") == "KURVO_OFFSET") offset = &r;
    if (r.value("key", "") == "KURVO_UP_MODE") upMode = &r;
    if (r["kind"] == "element") element = &r;
  }
  ASSERT_TRUE(offset && upMode && element);
  EXPECT_EQ((*offset)["unit"], "percent");
  EXPECT_FLOAT_EQ((*offset)["value"].get<float>(), 0.1f);
  EXPECT_FALSE((*upMode)["options"].empty());
  EXPECT_EQ(panel.value()["objects"].size(), 4u);

  // The banner's pixels, and a click in its link zone opens the maker's page.
  const std::string pixels = view_->elementPixels((*element)["element"]);
  ASSERT_GE(pixels.size(), 8u);
  uint32_t size[2];
  std::memcpy(size, pixels.data(), 8);
  EXPECT_EQ(pixels.size(), 8u + size_t(size[0]) * size[1] * 4);
  EXPECT_EQ(size[1], (*element)["height"].get<uint32_t>());
  const int32_t y = (*element)["y"].get<int32_t>() + (*element)["height"].get<int32_t>() / 2;
  EXPECT_EQ(view_->click(60, y).rfind("https://", 0), 0u);
  EXPECT_TRUE(view_->elementPixels(99).empty());

  // Saving writes beside the scene file unless the name is absolute.
  ASSERT_TRUE(view_->save("edited.json").ok());
  EXPECT_EQ(written_, dir_.path() / "edited.json");
  EXPECT_FALSE(view_->save("").ok());
}

TEST_F(ViewSessionTest, ShaderMaterialsColourEveryPoint) {
  if (!session_) return;
  std::ifstream in(std::filesystem::path(KURVO_EXAMPLES) / "gradient_cubes.json");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  open(text);
  const Frame frame = decode(view_->geometry(true));
  ASSERT_FALSE(frame.header["meshes"].empty());
  // The gradient gives each cube its own colour, point by point.
  std::vector<std::vector<float>> firsts;
  for (const auto& mesh : frame.header["meshes"]) {
    ASSERT_TRUE(mesh.contains("colors")) << mesh["name"];
    EXPECT_EQ(mesh["colors"]["count"], mesh["positions"]["count"]);
    const std::vector<float> colours = frame.floats(mesh["colors"]);
    firsts.push_back({colours[0], colours[1], colours[2]});
  }
  EXPECT_NE(firsts.front(), firsts.back());
}

TEST_F(ViewSessionTest, ArrayCopiesShowUnderTheArrayAndStayReadOnly) {
  if (!session_) return;
  open(sceneWith(R"(
    {"name": "Path", "type": "spline", "primitive": {"kind": "line", "length": 400}},
    {"name": "Row", "type": "array", "count": 3, "children": [
      {"name": "Piece", "type": "polygon", "position": [0, 0, 20], "primitive": {"kind": "cube", "size": 40}},
      {"name": "Bend", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Path"}}]})"));
  const uint64_t row = serialOf("Row");
  // The copies as the array's children, marked; their own deformers not at all.
  std::vector<std::string> names;
  const nlohmann::json info = view_->sceneInfo(400, 300);
  for (const auto& o : info["objects"]) {
    names.push_back(o["name"]);
    const bool copy = o["name"].get<std::string>().rfind("Piece.", 0) == 0;
    EXPECT_EQ(o.value("generated", false), copy) << o.dump();
    if (copy) {
      EXPECT_EQ(o["parent"], row);
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Path", "Row", "Piece", "Bend", "Piece.0", "Piece.1", "Piece.2"}));
  const EditAnswer refused = view_->edit(serialOf("Piece.1"), {{"KURVO_OFFSET", 0.5}});
  EXPECT_NE(refused.error.find("read-only"), std::string::npos) << refused.error;
  // The array's panel edits it like any object: two more copies come back.
  const EditAnswer grown = view_->edit(row, {{"count", 5}});
  ASSERT_EQ(grown.error, "");
  std::vector<std::string> meshes;
  const Frame frame = decode(grown.geometry);
  for (const auto& m : frame.header["meshes"]) meshes.push_back(m["name"]);
  EXPECT_EQ(meshes, (std::vector<std::string>{"Piece.0", "Piece.1", "Piece.2", "Piece.3", "Piece.4"}));
}

}  // namespace
}  // namespace kurvo::viewer
