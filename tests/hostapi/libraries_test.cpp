#include <gtest/gtest.h>

#include "fake_host.h"
#include "kurvo_api.h"
#include "test_libraries.h"

namespace {

TEST(CheckLib, MissingLibraryAnswersNullAndIsLookedUpAgain) {
  fake::Install();
  std::atomic<HostLibrary*> cache{nullptr};
  EXPECT_EQ(CheckLib(777, 8, cache), nullptr);
  EXPECT_EQ(CheckLib(777, 8, cache), nullptr);
  EXPECT_EQ(fake::state().registry_find_calls, 2);
  EXPECT_EQ(cache.load(), nullptr);
}

TEST(CheckLib, SizeIsTestedOnEveryCallWhileTheRecordIsCached) {
  fake::Install();
  static KhLibraryHead record{1, 24};
  fake::state().registry[778] = &record;
  std::atomic<HostLibrary*> cache{nullptr};

  EXPECT_EQ(CheckLib(778, 32, cache), nullptr);  // too small for this entry
  EXPECT_EQ(cache.load(), &record);              // but found and kept
  EXPECT_EQ(CheckLib(778, 24, cache), &record);
  EXPECT_EQ(CheckLib(778, 16, cache), &record);
  EXPECT_EQ(fake::state().registry_find_calls, 1);
}

TEST(HostLibraries, EntriesPastAnOlderRecordsEndCountAsMissing) {
  fake::Install();
  testlib::InstallAll();
  fake::state().alloc_calls = 0;
  BaseContainer bc;
  bc.SetData(1, GeData(KH_CUSTOMDATA_SPLINE, DEFAULTVALUE));
  auto* curve = static_cast<SplineData*>(bc.GetCustomDataType(1, KH_CUSTOMDATA_SPLINE));
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(curve->GetPoint(0.25f), Vector(0.25f, 0.5f, 0));
  const CurveEvaluator evaluator = curve->Evaluator();
  EXPECT_TRUE(evaluator.Valid());
  EXPECT_EQ(evaluator.Y(0.25f), 0.5f);
  EXPECT_EQ(curve->InsertKnot(0, 1, 1), 0);

  // A record that ends right after get_point: later entries are missing.
  testlib::Curves().head.size = KH_LIB_OFFSET(KhSplineDataLib, get_point);
  EXPECT_EQ(curve->GetPoint(0.25f), Vector(0.25f, 0.5f, 0));
  // Many values at once then go through get_point one by one.
  const float xs[2] = {0.25f, 0.5f};
  float ys[2] = {};
  curve->Evaluator().Ys(xs, 2, ys);
  EXPECT_EQ(ys[0], 0.5f);
  EXPECT_EQ(ys[1], 0.5f);
  EXPECT_EQ(curve->InsertKnot(0, 1, 1), -1);
  EXPECT_FALSE(curve->MakeLinearSpline(-1));

  // A null entry inside the record gives the same neutral answers.
  testlib::Curves().get_point = nullptr;
  EXPECT_EQ(curve->GetPoint(0.25f), Vector());
  EXPECT_FALSE(curve->Evaluator().Valid());
  EXPECT_EQ(curve->Evaluator().Y(0.25f), 0.0f);

  // A record too short for get_point: no evaluator either.
  testlib::Curves().head.size = static_cast<int32>(sizeof(KhLibraryHead));
  EXPECT_FALSE(curve->Evaluator().Valid());
}

TEST(HostLibraries, GradientWithoutItsEntriesFailsSoftly) {
  fake::Install();
  testlib::InstallAll();
  Gradient* gradient = Gradient::Alloc();
  ASSERT_NE(gradient, nullptr);
  EXPECT_EQ(gradient->InsertKnot(GradientKnot{}), 0);
  EXPECT_TRUE(gradient->InitRender());
  EXPECT_EQ(gradient->CalcGradientPixel(0.5f), Vector(0.5f, 0.5f, 0.5f));

  testlib::Gradients().head.size = sizeof(KhLibraryHead);
  EXPECT_EQ(gradient->InsertKnot(GradientKnot{}), -1);
  EXPECT_FALSE(gradient->InitRender());
  EXPECT_EQ(gradient->CalcGradientPixel(0.5f), Vector());
  EXPECT_EQ(Gradient::Alloc(), nullptr);
  Gradient* leaked_on_purpose = gradient;  // its free entry is gone too
  Gradient::Free(gradient);
  EXPECT_EQ(gradient, nullptr);

  testlib::InstallAll();
  Gradient::Free(leaked_on_purpose);
}

TEST(HostLibraries, DescriptionLevelsFallBackToAllZeros) {
  fake::Install();
  testlib::InstallAll();
  const auto* id = reinterpret_cast<const DescID*>(&testlib::Description());  // any handle
  EXPECT_EQ((*id)[0]->id, 1023);
  EXPECT_EQ((*id)[1], &fallbacklevel);
  testlib::Description().get_level = nullptr;
  const DescLevel* level = (*id)[0];
  EXPECT_EQ(level, &fallbacklevel);
  EXPECT_EQ(level->id, 0);
  EXPECT_EQ(level->dtype, 0);
  EXPECT_EQ(level->creator, 0);
}

TEST(HostLibraries, InstallLibraryWritesTheHeadAndAddsToTheRegistry) {
  fake::Install();
  static BaseCustomGuiLib lib{};
  FillBaseCustomGui(lib);
  EXPECT_TRUE(InstallLibrary(1024107, &lib.head, 1000, sizeof lib));
  EXPECT_EQ(lib.head.version, 1000);
  EXPECT_EQ(lib.head.size, static_cast<int32_t>(sizeof lib));
  EXPECT_EQ(fake::state().registry[1024107], &lib);
  EXPECT_FALSE(InstallLibrary(1024107, &lib.head, 1000, sizeof lib));  // taken
}

}  // namespace
