// Arrays: a copy is a hand-placed object with the same tag (points and
// colour), a fit fills open and closed paths as the documented counts say
// and closes the gap, an animated array rebuilds only what changed, a saved
// array reads back the same, and mistakes name the array and the field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "apply_frame.h"
#include "scene/array.h"
#include "scene/shading.h"
#include "scene_fixture.h"
#include "scene_preview.h"

namespace {

using kurvo::host::Document;
using kurvo::host::Object;

Vector worldPoint(const Object& o, const Vector& p) {
  const KhMatrix m = o.globalMatrix();
  return {m.off.x + m.v1.x * p.x + m.v2.x * p.y + m.v3.x * p.z, m.off.y + m.v1.y * p.x + m.v2.y * p.y + m.v3.y * p.z,
          m.off.z + m.v1.z * p.x + m.v2.z * p.y + m.v3.z * p.z};
}

Object* named(Document& doc, const std::string& name) {
  Object* found = nullptr;
  doc.forEachObject([&](Object& o) {
    if (!found && o.name() == name) found = &o;
  });
  return found;
}

float largestDistance(const Object& a, const Object& b) {
  EXPECT_EQ(a.points().size(), b.points().size());
  float most = 0.0f;
  for (size_t i = 0; i < std::min(a.points().size(), b.points().size()); ++i) {
    const Vector d = worldPoint(a, a.points()[i]) - worldPoint(b, b.points()[i]);
    most = std::max(most, std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z));
  }
  return most;
}

const char* kMaterials = R"("materials": [{"name": "Ramp", "color": {"shader": "Vorla Gradient", "params": {
  "XVORLAGRADIENT_GRADIENT": {"knots": [{"color": [1, 0.3, 0], "position": 0}, {"color": [0, 0.4, 1], "position": 1}]}}}}],)";
const char* kPath = R"({"name": "Path", "type": "spline", "interpolation": "cubic", "closed": true,
  "points": [[200, 0, 0], [60, 190, 80], [-160, 120, -60], [-160, -120, 70], [60, -190, -80]]})";
const char* kBend = R"("type": "Kurvo2", "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 3,
  "KURVO_UP_VECTOR": [0, 0, 1], "KURVO_OFFSET": 0.05, "KURVO_RANDOM": 1.0, "KURVO_TWIST_STRENGTH": 90.0,
  "KURVO_TWIST_CURVE": {"knots": [[0, 1], [1, 1]], "interpolation": "linear"}})";
const char* kPiece = R"("primitive": {"kind": "cylinder", "radius": 10, "height": 40, "height_segments": 8}, "material": "Ramp")";

std::string scene(const std::string& objects) {
  return std::string(R"({"format": "kurvo-scene", "version": 1, )") + kMaterials + R"( "objects": [)" + kPath + ", " +
         objects + "]}";
}

// The array of `count` copies with gap 7, and the same five objects placed
// by hand as the placement rule says (copy i at 20 + i x 47 along Z, its
// deformer back at the array's origin) with the tag the numbering rule
// gives copy i: index i and count 5, or, when the source has a tag of its
// own (index 1 of 2), index 2i + 1 and count 10.
std::string arrayScene(bool sourceTagged) {
  const std::string tag = sourceTagged ? R"(, "tags": [{"type": "VorlaDeformerTag", "params": {"1000": 1, "1001": 2}}])" : "";
  return scene(R"({"name": "Row", "type": "array", "count": 5, "spacing": 7, "children": [
    {"name": "Piece", "type": "polygon", "position": [0, 0, 20], )" + std::string(kPiece) + tag + R"(},
    {"name": "Bend", )" + kBend + "}]}");
}

// "Hand5" sits where copy 1 does with copy 0's tag.
std::string handScene(bool sourceTagged) {
  std::string objects;
  for (int i = 0; i < 6; ++i) {
    const int z = 20 + (i == 5 ? 1 : i) * 47;
    const int n = i == 5 ? 0 : i;
    const int index = sourceTagged ? 2 * n + 1 : n, count = sourceTagged ? 10 : 5;
    objects += (i ? ", " : "") + std::string(R"({"name": "Hand)") + std::to_string(i) +
               R"(", "type": "polygon", "position": [0, 0, )" + std::to_string(z) + "], " + kPiece +
               R"(, "tags": [{"type": "VorlaDeformerTag", "params": {"1000": )" + std::to_string(index) +
               R"(, "1001": )" + std::to_string(count) + R"(}}], "children": [{"name": "Bend)" + std::to_string(i) +
               R"(", "position": [0, 0, )" + std::to_string(-z) + "], " + kBend + "}]}";
  }
  return scene(objects);
}

class ArrayTest : public SceneTest {};

TEST_F(ArrayTest, CopiesAreHandPlacedObjectsWithTheirTags) {
  for (const bool sourceTagged : {false, true}) {
    SCOPED_TRACE(sourceTagged ? "source with a tag of its own" : "untagged source");
    kurvo::scenefile::Scene arrayFile, handFile;
    Document& arrays = load(arrayScene(sourceTagged), arrayFile);
    Document& hands = load(handScene(sourceTagged), handFile);
    arrays.evaluate();
    hands.evaluate();
    const kurvo::host::RenderShading arrayShading(arrays), handShading(hands);
    for (int i = 0; i < 5; ++i) {
      const Object* copy = find(arrays, "Piece." + std::to_string(i));
      const Object* hand = find(hands, "Hand" + std::to_string(i));
      ASSERT_TRUE(copy && hand) << i;
      // Within the rounding of two ways to the same matrices; the scene is 400 across.
      EXPECT_LT(largestDistance(*copy, *hand), 2e-3f) << "copy " << i;
      const Vector a = *arrayShading.bakedColour(*copy), b = *handShading.bakedColour(*hand);
      EXPECT_NEAR(a.x, b.x, 1e-6f) << i;
      EXPECT_NEAR(a.y, b.y, 1e-6f) << i;
      EXPECT_NEAR(a.z, b.z, 1e-6f) << i;
    }
    // The check sees the tags: the random twist and the colour of one index
    // are not another's.
    const Object* second = find(arrays, "Piece.1");
    const Object* wrong = find(hands, "Hand5");
    EXPECT_GT(largestDistance(*second, *wrong), 1.0f);
    EXPECT_GT(std::fabs(arrayShading.bakedColour(*second)->x - handShading.bakedColour(*wrong)->x), 0.01f);
    // Outputs show the copies, not the source they are made from.
    std::vector<std::string> names;
    for (const auto& mesh : kurvo::scenefile::worldMeshes(arrays)) names.push_back(mesh.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Piece.0", "Piece.1", "Piece.2", "Piece.3", "Piece.4"}));
  }
}

// Where a point of the square path of side 250 centred on the origin (a
// linear, closed rectangle primitive, 1000 round) lies along it, measured
// from its corner (125, -125) towards +Y: the nearest point of its edges.
float alongSquare(const Vector& p) {
  const float h = 125.0f;
  struct Edge {
    Vector a, b;
  } edges[] = {{{h, -h, 0}, {h, h, 0}}, {{h, h, 0}, {-h, h, 0}}, {{-h, h, 0}, {-h, -h, 0}}, {{-h, -h, 0}, {h, -h, 0}}};
  float best = 1e30f, at = 0.0f;
  for (int e = 0; e < 4; ++e) {
    const Vector d = edges[e].b - edges[e].a, q = p - edges[e].a;
    const float t = std::clamp((q.x * d.x + q.y * d.y) / (d.x * d.x + d.y * d.y), 0.0f, 1.0f);
    const Vector n = q - d * t;
    const float dist = n.x * n.x + n.y * n.y + n.z * n.z;
    if (dist < best) best = dist, at = 250.0f * (static_cast<float>(e) + t);
  }
  return at;
}

// The middle of each copy along the square, in copy order.
std::vector<float> middlesAlongSquare(Document& doc, int count) {
  std::vector<float> out;
  for (int i = 0; i < count; ++i) {
    const Object* copy = named(doc, "Piece." + std::to_string(i));
    if (!copy) return out;
    float lo = 1e30f, hi = -1e30f;
    const float reference = alongSquare(worldPoint(*copy, copy->points().front()));
    for (const Vector& p : copy->points()) {
      // Unwrapped round the seam of the square, near the copy's first point.
      float s = alongSquare(worldPoint(*copy, p));
      if (s - reference > 500.0f) s -= 1000.0f;
      if (reference - s > 500.0f) s += 1000.0f;
      lo = std::min(lo, s);
      hi = std::max(hi, s);
    }
    EXPECT_NEAR(hi - lo, 90.0f, 0.05f) << "copy " << i << " keeps its length";
    out.push_back(0.5f * (lo + hi));
  }
  return out;
}

TEST_F(ArrayTest, FitFillsOpenAndClosedPathsAndClosesTheGap) {
  const char* thin = R"("primitive": {"kind": "cylinder", "radius": 0.01, "height": 90, "height_segments": 9})";
  const auto fitScene = [&](const std::string& path, const char* fit, int gap) {
    return std::string(R"({"format": "kurvo-scene", "version": 1, "objects": [)") + path +
           R"(, {"name": "Row", "type": "array", "fit": ")" + fit + R"(", "path": "Path", "spacing": )" +
           std::to_string(gap) + R"(, "children": [{"name": "Piece", "type": "polygon", "position": [0, 0, 45], )" +
           thin + R"(}, {"name": "Bend", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Path"}}]}]})";
  };
  const auto copies = [](Document& doc) {
    int n = 0;
    while (find(doc, "Piece." + std::to_string(n))) ++n;
    return n;
  };
  // Open: a straight 1000 along Z. (1000 - 90) / 100 + 1 = 10 copies; stretched,
  // the last ends at 1000 exactly, kept at 90 + 9 x 100 = 990.
  const std::string line = R"({"name": "Path", "type": "spline", "primitive": {"kind": "line", "length": 1000}})";
  for (const auto& [fit, end] : {std::pair{"stretch", 1000.0f}, std::pair{"keep", 990.0f}}) {
    kurvo::scenefile::Scene file;
    Document& doc = load(fitScene(line, fit, 10), file);
    doc.evaluate();
    EXPECT_EQ(copies(doc), 10) << fit;
    float lo = 1e30f, hi = -1e30f;
    doc.forEachObject([&](Object& o) {
      if (o.role() != kurvo::host::ObjectRole::arrayCopy) return;
      for (const Vector& p : o.points()) {
        lo = std::min(lo, worldPoint(o, p).z);
        hi = std::max(hi, worldPoint(o, p).z);
      }
    });
    EXPECT_NEAR(lo, 0.0f, 1e-3f) << fit;
    EXPECT_NEAR(hi, end, 1e-2f) << fit;
  }
  // Closed: the square, 1000 round. 1000 / (90 + 15) gives 9 copies;
  // stretched, every gap is 1000 / 9 - 90, the one across the seam too.
  const std::string square = R"({"name": "Path", "type": "spline", "primitive": {"kind": "rectangle", "width": 250, "height": 250}})";
  for (const auto& [fit, step] : {std::pair{"stretch", 1000.0f / 9.0f}, std::pair{"keep", 105.0f}}) {
    kurvo::scenefile::Scene file;
    Document& doc = load(fitScene(square, fit, 15), file);
    doc.evaluate();
    ASSERT_EQ(copies(doc), 9) << fit;
    const std::vector<float> middles = middlesAlongSquare(doc, 9);
    ASSERT_EQ(middles.size(), 9u);
    for (size_t i = 0; i < 9; ++i) {
      const float next = i + 1 < 9 ? middles[i + 1] : middles[0];
      const float ahead = std::fmod(next - middles[i] + 2000.0f, 1000.0f);
      // The seam's gap is whatever a kept step leaves over.
      EXPECT_NEAR(ahead, i + 1 < 9 ? step : 1000.0f - 8 * step, 0.05f) << fit << " after copy " << i;
    }
  }
}

TEST_F(ArrayTest, AnimationRebuildsOnlyWhatChanged) {
  const std::string text = R"({"format": "kurvo-scene", "version": 1, "time": {"fps": 24, "start": 0, "end": 10},
    "objects": [{"name": "Path", "type": "spline", "primitive": {"kind": "line", "length": 1000}},
     {"name": "Row", "type": "array", "count": 3, "spacing": 10,
      "tracks": [{"param": "count", "keys": [[0, 3], [10, 6]]},
                 {"param": "offset", "keys": [[0, 0.0], [5, 0.0], [10, 50.0]]}],
      "children": [{"name": "Piece", "type": "polygon", "position": [0, 0, 45],
                    "primitive": {"kind": "cube", "size": [10, 10, 90]}},
                   {"name": "Bend", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Path"}}]}]})";
  kurvo::scenefile::Scene file;
  Document& doc = load(text, file);
  const auto runs = [&] {
    std::vector<uint32_t> out;
    doc.forEachObject([&](Object& o) {
      if (o.role() == kurvo::host::ObjectRole::arrayCopy) out.push_back(o.updateMessages());
    });
    return out;
  };
  kurvo::animation::applyFrame(doc, file.timeline, 0);
  doc.evaluate();
  ASSERT_EQ(runs().size(), 3u);
  // Frames 0 to 5 change nothing: nothing is bent again.
  const std::vector<uint32_t> before = runs();
  for (int frame = 1; frame <= 5; ++frame) {
    kurvo::animation::applyFrame(doc, file.timeline, frame);
    doc.evaluate();
  }
  EXPECT_EQ(runs(), before);
  // Frame 10: six copies, every one 50 further along.
  kurvo::animation::applyFrame(doc, file.timeline, 10);
  doc.evaluate();
  ASSERT_EQ(runs().size(), 6u);
  for (int i = 0; i < 6; ++i) {
    const Object* copy = find(doc, "Piece." + std::to_string(i));
    float lo = 1e30f;
    for (const Vector& p : copy->points()) lo = std::min(lo, worldPoint(*copy, p).z);
    EXPECT_NEAR(lo, 50.0f + 100.0f * static_cast<float>(i), 1e-3f) << i;
  }
  // A deformer edit reaches every copy's deformer, and its read-out comes back.
  const std::vector<uint32_t> settled = runs();
  named(doc, "Bend")->parameters().setReal(1000, 0.1f);  // KURVO_OFFSET
  doc.evaluate();
  const std::vector<uint32_t> after = runs();
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i], settled[i] + 1) << i;
  EXPECT_FLOAT_EQ(named(doc, "Bend")->parameters().getReal(1014), 1000.0f);  // KURVO_SPLINE_LENGTH
}

TEST_F(ArrayTest, SavedArrayReadsBackTheSame) {
  const std::string text = scene(R"({"name": "Beads", "type": "array", "fit": "keep", "path": "Path",
    "spacing": 30, "spacing_mode": "step", "offset": 2.5, "axis": "-Z", "material": "Ramp",
    "primitive": {"kind": "sphere", "radius": 8}, "tags": [{"type": "VorlaDeformerTag", "params": {"1000": 2}}],
    "tracks": [{"param": "spacing", "keys": [[0, 30.0], [10, 40.0]]}],
    "children": [{"name": "Bend", )" + std::string(kBend) + "}]}");
  kurvo::scenefile::Scene first;
  Document& doc = load(text, first);
  doc.evaluate();
  auto saved = kurvo::scenefile::sceneText(doc, first, "saved.json", host());
  ASSERT_TRUE(saved.ok()) << saved.message();
  // The copies are made again from the array; they are not part of the file.
  EXPECT_EQ(saved.value().find("Beads.0"), std::string::npos);
  EXPECT_NE(saved.value().find(R"("primitive")"), std::string::npos);
  kurvo::scenefile::Scene second;
  Document& again = load(saved.value(), second);
  again.evaluate();
  auto resaved = kurvo::scenefile::sceneText(again, second, "saved.json", host());
  ASSERT_TRUE(resaved.ok()) << resaved.message();
  EXPECT_EQ(resaved.value(), saved.value());
  EXPECT_EQ(largestDistance(*find(doc, "Beads.3"), *find(again, "Beads.3")), 0.0f);
}

TEST_F(ArrayTest, MistakesNameTheArrayAndTheField) {
  const std::string source = R"("children": [{"name": "Piece", "type": "polygon", "primitive": {"kind": "cube"}}])";
  const auto array = [&](const std::string& fields) {
    return scene(R"({"name": "Row", "type": "array", )" + fields + "}");
  };
  const std::pair<std::string, std::string> cases[] = {
      {array(R"("count": -1, )" + source), R"(object "Row": count: -1 copies; an array makes 0 to 100000)"},
      {array(R"("count": 100001, )" + source), "count: 100001 copies"},
      {array(R"("count": 2.5, )" + source), "count:"},
      {array(R"("count": 4, "fit": "stretch", "path": "Path", )" + source), "count: give \"count\" or \"fit\""},
      {array(R"("fit": "stretch", )" + source), "fit: needs \"path\""},
      {array(R"("fit": "fill", "path": "Path", )" + source), R"(fit: "fill" is not one of)"},
      {array(R"("path": "Path", )" + source), "path: only a fit measures a path"},
      {array(R"("fit": "keep", "path": "Row", )" + source), R"(path: "Row" is not a spline)"},
      {array(R"("fit": "keep", "path": "Path", "spacing": -200, )" + source),
       "spacing: a fit needs a step above 0 from copy to copy; the piece is 200.0 long along the axis, so the gap "
       "-200.0 makes a step of 0.0"},
      {array(R"("fit": "keep", "path": "Path", "tracks": [{"param": "spacing", "keys": [[0, 1.0], [4, -300.0]]}], )" +
             source),
       "tracks[0].keys[1][1]: a fit needs a step above 0"},
      {array(R"("tracks": [{"param": "count", "keys": [[0, 1], [4, -3]]}], )" + source),
       "tracks[0].keys[1][1]: -3 copies"},
      {array(R"("spacing": "wide", )" + source), "spacing:"},
      {array(R"("spacing_mode": "pitch", )" + source), "spacing_mode: \"pitch\" is not one of"},
      {array(R"("axis": "Z", )" + source), "axis: \"Z\" is not one of"},
      {array(R"("count": 2)"), "children: an array needs a polygon object to copy"},
      {array(R"("material": "Ramp", )" + source), "material: an array takes a material only for geometry of its own"},
      {array(R"("params": {"count": 2}, )" + source), "params: unknown field"},
      {array(R"("count": 60000, "primitive": {"kind": "cube", "segments": 40})"),
       "count: with this object the scene needs at least"},
  };
  for (const auto& [text, expected] : cases) {
    const std::string message = loadError(text);
    EXPECT_NE(message.find(expected), std::string::npos) << "got: " << message << "\nwanted: " << expected;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

}  // namespace
