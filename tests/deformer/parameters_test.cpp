// Defaults that Init writes, the description resource that must agree with
// them, and the panel's enabling rule.
#include <cmath>

#include "core/custom_types.h"
#include "core/desc_id.h"
#include "core/description.h"
#include "deformer_fixture.h"

namespace kurvo::test {
namespace {

const host::CurveData* CurveAt(const host::Container& c, int32_t id) {
  const host::Data* d = c.find(id);
  return d ? static_cast<const host::CurveData*>(d->getCustom(KH_CUSTOMDATA_SPLINE)) : nullptr;
}

bool Enabled(Object* deformer, int32_t id) {
  host::DescId descId{{KhDescLevel{id, 0, 0}}};
  host::Data nothing;
  return deformer->objectRecord()->node.get_d_enabling(deformer->pluginData(), deformer->handle(),
                                                       descId.handle(), &nothing.self, 0, nullptr) != 0;
}

TEST_F(DeformerTest, InitWritesEveryDefaultInOrderAndLeavesStretchFactorAndRandomOut) {
  Object* d = MakeDeformer(nullptr, nullptr);
  const host::Container& p = Params(d);
  const std::vector<int32_t> order = {1206, 1202, 1201, 1110, 1114, 1100, 1101, 1102, 1103, 1104,
                                      1001, 1000, 1005, 1008, 1007, 1009, 1023, 1024, 1010, 1011,
                                      1012, 1013, 1014, 1122, 1121, 1004, 1003, 1210};
  EXPECT_EQ(p.keys(), order);
  EXPECT_EQ(p.getLong(1210, -1), 0);  // the bend axis: +Z
  EXPECT_EQ(p.find(1006), nullptr);
  EXPECT_EQ(p.find(1203), nullptr);
  EXPECT_EQ(p.getReal(1006, 0.0f), 0.0f);

  EXPECT_EQ(p.getLong(1103), 1234567);
  EXPECT_EQ(p.getLong(1110), 1111);
  EXPECT_EQ(p.getLong(1114), 1116);
  EXPECT_EQ(p.getLong(1202), 1);
  EXPECT_EQ(p.getReal(1010), 1.0f);
  const KhVector up = p.getVector(1023);
  EXPECT_EQ(up.y, 1.0f);
  const KhVector spare = p.getVector(1206);
  EXPECT_EQ(spare.x + spare.y + spare.z, 3.0f);

  // Curves: two linear knots, flat at 1 (profile, scale) and 0 (twist).
  for (auto [id, y] : {std::pair{1122, 1.0f}, {1004, 1.0f}, {1003, 0.0f}}) {
    const host::CurveData* c = CurveAt(p, id);
    ASSERT_NE(c, nullptr) << id;
    ASSERT_EQ(c->curve.KnotCount(), 2) << id;
    EXPECT_EQ(c->curve.GetKnot(0).x, 0.0f);
    EXPECT_EQ(c->curve.GetKnot(1).x, 1.0f);
    EXPECT_EQ(c->curve.GetKnot(1).flags, 1);
    EXPECT_EQ(c->curve.Round(), 0.0f);
    for (float x : {0.0f, 0.3f, 1.0f}) EXPECT_EQ(c->curve.Evaluate(x), y) << id;
  }
}

// The description is the panel's source of IDs, types and defaults; every
// default it states must be what a new node holds, and parameters it leaves
// without a default must have no entry.
TEST_F(DeformerTest, DescriptionResourceAgreesWithInit) {
  const auto parsed =
      host::parseDescriptionFile(std::filesystem::path(KURVO_SOURCE_DIR) / "res/description/OKurvo.json");
  ASSERT_TRUE(parsed.description) << parsed.error;
  const host::Description& desc = *parsed.description;
  EXPECT_EQ(desc.name, "OKurvo");
  ASSERT_FALSE(desc.parameters.empty());
  EXPECT_EQ(desc.parameters.front().id, 1300) << "the title bar comes first";
  EXPECT_EQ(desc.parameters.front().gui, "KURVO2_GUI");

  Object* d = MakeDeformer(nullptr, nullptr);
  const host::Container& p = Params(d);
  int valued = 0;
  for (const host::DescParameter& param : desc.parameters) {
    SCOPED_TRACE(param.symbol);
    if (param.type == host::ParamType::Separator) continue;
    const host::Data* entry = p.find(param.id);
    const bool hasDefault = param.defaultNumber || param.defaultVector || param.defaultSpline || param.defaultText;
    if (!hasDefault) {
      EXPECT_EQ(entry, nullptr);
      continue;
    }
    ASSERT_NE(entry, nullptr);
    ++valued;
    switch (param.type) {
      case host::ParamType::Long:
      case host::ParamType::Bool: EXPECT_EQ(entry->getLong(), static_cast<int32_t>(*param.defaultNumber)); break;
      case host::ParamType::Real: EXPECT_FLOAT_EQ(entry->getReal(), static_cast<float>(*param.defaultNumber)); break;
      case host::ParamType::Vector: {
        const KhVector v = entry->getVector();
        EXPECT_EQ(v.x, param.defaultVector->x);
        EXPECT_EQ(v.y, param.defaultVector->y);
        EXPECT_EQ(v.z, param.defaultVector->z);
        break;
      }
      case host::ParamType::Spline: {
        const host::CurveData* c = CurveAt(p, param.id);
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(static_cast<size_t>(c->curve.KnotCount()), param.defaultSpline->knots.size());
        for (size_t k = 0; k < param.defaultSpline->knots.size(); ++k) {
          EXPECT_EQ(c->curve.GetKnot(static_cast<int32_t>(k)).x, param.defaultSpline->knots[k].first);
          EXPECT_EQ(c->curve.GetKnot(static_cast<int32_t>(k)).y, param.defaultSpline->knots[k].second);
        }
        break;
      }
      default: ADD_FAILURE() << "unexpected default type";
    }
  }
  // Every entry Init writes is described.
  EXPECT_EQ(valued, p.count());
}

TEST_F(DeformerTest, EnablingRuleFollowsUpModeForUpVector) {
  Object* d = MakeDeformer(nullptr, nullptr);
  for (int32_t id : {1000, 1001, 1002, 1014, 1202, 1300, 1016, 1111, 1200, 1208})
    EXPECT_TRUE(Enabled(d, id)) << id;
  for (int32_t id : {1003, 1008, 1013, 1015, 1024, 1100, 1105, 1110, 1114, 1117, 1122, 1201, 1203, 1206, 1207})
    EXPECT_FALSE(Enabled(d, id)) << id;

  EXPECT_TRUE(Enabled(d, 1023));
  Params(d).setLong(1024, 1);
  EXPECT_FALSE(Enabled(d, 1023));
  Params(d).setLong(1024, 2);
  EXPECT_FALSE(Enabled(d, 1023));
  Params(d).remove(1024);  // absent reads as 0
  EXPECT_TRUE(Enabled(d, 1023));
}

}  // namespace
}  // namespace kurvo::test
