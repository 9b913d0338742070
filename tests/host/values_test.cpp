// Strings, file names and typed values through the table.
#include <cmath>
#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

#include "core/custom_types.h"
#include "core/data_value.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

class ValuesTest : public SessionTest {};

TEST_F(ValuesTest, StringsCopyAppendCompareAndTruncate) {
  const KhStringFamily& s = *table().string;
  KhStringValue a, b, c;
  s.init_cstr(&a, "Kurvo");
  s.init_copy(&b, &a);
  s.init(&c);
  EXPECT_EQ(s.content(&c), 0);
  EXPECT_EQ(s.compare(&a, &b), 1);
  s.append(&b, &a);
  EXPECT_EQ(s.length(&b), 10);
  EXPECT_EQ(s.length(&a), 5) << "the copy is deep";
  char buf[4];
  EXPECT_EQ(s.get_cstr(&b, buf, sizeof buf), 10);
  EXPECT_STREQ(buf, "Kur");
  s.append(&a, &a);
  EXPECT_EQ(s.compare(&a, &b), 1) << "appending a string to itself";
  s.assign(&c, s.shared_empty);
  EXPECT_EQ(s.content(&c), 0);
  s.free(&a);
  s.free(&b);
  s.free(&c);
  s.free(&c);  // a second free is harmless
}

TEST_F(ValuesTest, UnicodeTextKeepsItsBytes) {
  const KhStringFamily& s = *table().string;
  KhStringValue a;
  s.init_cstr(&a, "Grüße ✓");
  char buf[32];
  s.get_cstr(&a, buf, sizeof buf);
  EXPECT_STREQ(buf, "Grüße ✓");
  EXPECT_EQ(s.length(&a), static_cast<int32_t>(std::strlen("Grüße ✓")));
  s.free(&a);
}

TEST_F(ValuesTest, FilenamePartsAndJoin) {
  const KhStringFamily& s = *table().string;
  const KhFilenameFamily& f = *table().filename;
  KhStringValue text;
  s.init_cstr(&text, "/opt/plugins/Kurvo2/Kurvo2.so");
  KhFilenameValue fn, dir, file, res;
  f.init(&fn);
  EXPECT_EQ(f.content(&fn), 0);
  f.set_string(&fn, &text);
  f.get_directory(&fn, &dir);
  f.get_file(&fn, &file);
  KhStringValue out;
  f.get_string(&dir, &out);
  char buf[64];
  s.get_cstr(&out, buf, sizeof buf);
  EXPECT_STREQ(buf, "/opt/plugins/Kurvo2");
  s.free(&out);
  f.get_string(&file, &out);
  s.get_cstr(&out, buf, sizeof buf);
  EXPECT_STREQ(buf, "Kurvo2.so");
  s.free(&out);

  f.init_copy(&res, &dir);
  KhFilenameValue part;
  f.init(&part);
  KhStringValue resText;
  s.init_cstr(&resText, "res");
  f.set_string(&part, &resText);
  f.add_component(&res, &part);
  f.get_string(&res, &out);
  s.get_cstr(&out, buf, sizeof buf);
  EXPECT_STREQ(buf, "/opt/plugins/Kurvo2/res");
  s.free(&out);

  KhFilenameValue bare, bareDir;
  f.init(&bare);
  f.set_string(&bare, &resText);
  f.get_directory(&bare, &bareDir);
  EXPECT_EQ(f.content(&bareDir), 0) << "a bare name has no directory part";

  for (KhFilenameValue* v : {&fn, &dir, &file, &res, &part, &bare, &bareDir}) f.free(v);
  s.free(&text);
  s.free(&resText);
}

TEST_F(ValuesTest, DataConvertsLongAndRealOnly) {
  const KhDataFamily& d = *table().data;
  KhDataValue v;
  d.init(&v);
  EXPECT_EQ(d.get_type(&v), KH_DA_NIL);
  d.set_real(&v, 2.75f);
  EXPECT_EQ(d.get_type(&v), KH_DA_REAL);
  EXPECT_EQ(d.get_long(&v), 2);
  d.set_real(&v, 1e20f);
  EXPECT_EQ(d.get_long(&v), 0) << "an out-of-range real reads as 0";
  d.set_long(&v, 7);
  EXPECT_FLOAT_EQ(d.get_real(&v), 7.0f);
  KhVector vec;
  d.get_vector(&v, &vec);
  EXPECT_EQ(vec.x, 0.0f);
  d.free(&v);
}

TEST_F(ValuesTest, FilenameValueReadsAsText) {
  const KhDataFamily& d = *table().data;
  const KhStringFamily& s = *table().string;
  KhDataValue v;
  d.init(&v);
  KhStringValue text;
  s.init_cstr(&text, "abc");
  KhFilenameValue fn;
  table().filename->init(&fn);
  table().filename->set_string(&fn, &text);
  d.set_filename(&v, &fn);
  EXPECT_EQ(d.get_type(&v), KH_DA_FILENAME);
  KhStringValue out;
  d.get_string(&v, &out);
  EXPECT_EQ(s.compare(&out, &text), 1);
  s.free(&out);
  s.free(&text);
  table().filename->free(&fn);
  d.free(&v);
}

TEST_F(ValuesTest, CustomDataIsTypedAndCopiedDeeply) {
  const KhDataFamily& d = *table().data;
  KhDataValue a, b;
  d.init(&a);
  EXPECT_EQ(d.init_custom(&a, 424242), 0) << "unknown custom type";
  ASSERT_EQ(d.init_custom(&a, KH_CUSTOMDATA_SPLINE), 1);
  EXPECT_EQ(d.get_type(&a), KH_CUSTOMDATA_SPLINE);
  EXPECT_EQ(d.get_custom(&a, KH_CUSTOMDATA_GRADIENT), nullptr);
  auto* curve = customAs<CurveData>(d.get_custom(&a, KH_CUSTOMDATA_SPLINE));
  ASSERT_NE(curve, nullptr);
  curve->curve.InsertKnot(0.0f, 1.0f, 1);
  d.init_copy(&b, &a);
  curve->curve.InsertKnot(1.0f, 0.0f, 1);
  auto* copy = customAs<CurveData>(d.get_custom(&b, KH_CUSTOMDATA_SPLINE));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->curve.KnotCount(), 1);
  EXPECT_EQ(d.set_custom(&b, KH_CUSTOMDATA_GRADIENT, d.get_custom(&a, KH_CUSTOMDATA_SPLINE)), 0)
      << "the data must be of the type named";
  d.free(&a);
  d.free(&b);
}

// The curves' batched entry answers every position with exactly the y of
// get_point: flat, linear, smooth and mixed curves, a curve without knots,
// few and many knots, knots crowded into a sliver of x and knots sharing an
// x, positions inside and outside [0, 1], on knots and on the floats beside
// them, on a fine grid of x and beside it, and not-a-number; more than one
// of the host's blocks, and an odd count.
TEST_F(ValuesTest, CurveValuesManyAtOnceHaveTheBitsOfOneByOne) {
  const KhGeneralFamily& g = *table().general;
  const auto* lib = static_cast<const KhSplineDataLib*>(
      g.registry_get_data(g.registry_find(KH_LIB_SPLINEDATA, KH_REGISTRYTYPE_LIBRARY)));
  ASSERT_NE(lib, nullptr);
  ASSERT_GE(lib->head.size, static_cast<int32_t>(offsetof(KhSplineDataLib, get_values) + sizeof(void*)));
  ASSERT_NE(lib->get_values, nullptr);
  const KhDataFamily& d = *table().data;
  std::mt19937 rng(5150u);
  std::uniform_real_distribution<float> x01(0.0f, 1.0f), xWide(-0.5f, 1.5f), y(-3.0f, 3.0f);
  for (int setting = 0; setting < 40; ++setting) {
    SCOPED_TRACE(setting);
    KhDataValue v;
    d.init(&v);
    ASSERT_EQ(d.init_custom(&v, KH_CUSTOMDATA_SPLINE), 1);
    const KhCustomData* handle = d.get_custom(&v, KH_CUSTOMDATA_SPLINE);
    auto* data = customAs<CurveData>(handle);
    ASSERT_NE(data, nullptr);
    geo::Curve& curve = data->curve;
    curve.MakeLinear(-1);  // no knots: 0 everywhere
    const int knots = setting == 0 ? 0 : setting < 8 ? 1 + setting % 5 : setting < 24 ? 2 + setting % 7 : 30;
    const float flatValue = y(rng);
    // Settings 16 on: half the knots within 10^-3 of one x; from 32 on,
    // knots in pairs at one x.
    const float crowd = x01(rng);
    for (int k = 0; k < knots; ++k) {
      float kx = x01(rng);
      if (setting >= 16 && k % 2) kx = crowd + 1e-3f * x01(rng);
      if (setting >= 32 && k % 2) kx = curve.GetKnot(curve.KnotCount() - 1).x;
      if (setting % 6 == 5 && k < 2) kx = static_cast<float>(k);  // knots at 0 and 1
      curve.InsertKnot(kx, setting == 1 ? flatValue : y(rng), setting % 3 == 2 && k % 2 ? 1 : 0);
    }
    curve.SetRound(setting % 4 == 3 ? 0.5f : setting % 8 == 6 ? 0.0f : 1.0f);
    std::vector<float> x;
    for (int i = 0; i < 200; ++i) x.push_back(xWide(rng));
    x.insert(x.end(), {std::nanf(""), 0.0f, 1.0f, -0.0f, 1e-30f, 0.99999994f});
    for (int k = 0; k < curve.KnotCount(); ++k) {
      const float kx = curve.GetKnot(k).x;
      x.insert(x.end(), {kx, std::nextafter(kx, -1.0f), std::nextafter(kx, 2.0f)});
    }
    for (int k = 0; k <= 256; ++k) {
      const float f = static_cast<float>(k) / 256.0f;
      x.insert(x.end(), {f, std::nextafter(f, -1.0f), std::nextafter(f, 2.0f)});
    }
    if (x.size() % 2 == 0) x.push_back(x01(rng));
    std::vector<float> got(x.size());
    lib->get_values(handle, static_cast<int32_t>(x.size()), x.data(), got.data());
    int wrong = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      KhVector p;
      lib->get_point(handle, x[i], &p);
      if (std::memcmp(&got[i], &p.y, sizeof p.y) == 0) continue;
      if (++wrong <= 5) ADD_FAILURE() << i << " x " << x[i] << ": one by one " << p.y << ", many " << got[i];
    }
    EXPECT_EQ(wrong, 0);
    // Every count of a short call (the entry takes positions four at a time).
    for (int32_t n = 1; n <= 9; ++n) {
      std::vector<float> few(static_cast<size_t>(n), -1.0f);
      lib->get_values(handle, n, x.data() + 7 * n, few.data());
      for (int32_t i = 0; i < n; ++i)
        EXPECT_EQ(std::memcmp(&few[i], &got[7 * n + i], sizeof(float)), 0) << n << " positions, " << i;
    }
    d.free(&v);
  }
  float out = 7.0f;
  const float x = 0.5f;
  lib->get_values(nullptr, 0, &x, &out);
  EXPECT_EQ(out, 7.0f);
  lib->get_values(nullptr, 1, &x, &out);
  EXPECT_EQ(out, 0.0f);
}

}  // namespace
}  // namespace kurvo::host::test
