#include <gtest/gtest.h>

#include "fake_host.h"
#include "kurvo_api.h"

namespace {

TEST(Container, TypedReadsAnswerTheDefaultOnlyForMissingEntries) {
  fake::Install();
  BaseContainer bc;
  EXPECT_EQ(bc.GetId(), -1);
  EXPECT_EQ(bc.GetLong(10, 7), 7);
  EXPECT_FLOAT_EQ(bc.GetReal(11, 2.5f), 2.5f);
  EXPECT_EQ(bc.GetVector(12, Vector(1, 2, 3)), Vector(1, 2, 3));
  EXPECT_EQ(bc.GetBool(13, true), 1);

  bc.SetLong(10, 0);
  bc.SetReal(11, 0.0f);
  bc.SetVector(12, Vector());
  bc.SetLong(13, 2);
  EXPECT_EQ(bc.GetLong(10, 7), 0);
  EXPECT_FLOAT_EQ(bc.GetReal(11, 2.5f), 0.0f);
  EXPECT_EQ(bc.GetVector(12, Vector(1, 2, 3)), Vector());
  EXPECT_EQ(bc.GetBool(13, false), 2);  // the stored integer, unchanged
}

TEST(Container, CopiesAreDeepAndStringsRoundTrip) {
  fake::Install();
  BaseContainer a(42);
  a.SetString(1, "abc");
  BaseContainer b(a);
  b.SetString(1, "xyz");
  EXPECT_EQ(a.GetId(), 42);
  EXPECT_TRUE(a.GetString(1) == String("abc"));
  EXPECT_TRUE(b.GetString(1) == String("xyz"));
  EXPECT_TRUE(a.GetString(2, "none") == String("none"));
}

TEST(Container, ObjectLinksResolveOnlyInsideTheDocumentAsSceneObjects) {
  fake::Install();
  auto* doc = reinterpret_cast<BaseDocument*>(0x1000);
  auto* other = reinterpret_cast<BaseDocument*>(0x2000);
  fake::Node* path = fake::NewNode(KH_TYPE_SPLINE, "path");
  path->doc = doc->Kh();

  BaseContainer bc;
  bc.SetLink(1002, BaseList2D::From(fake::AsNode(path)));
  EXPECT_EQ(bc.GetObjectLink(1002, doc), BaseObject::From(fake::AsNode(path)));
  EXPECT_EQ(fake::state().link_type, KH_TYPE_BASEOBJECT);
  EXPECT_EQ(fake::state().link_doc, doc->Kh());
  EXPECT_EQ(bc.GetObjectLink(1002, other), nullptr);
  EXPECT_EQ(bc.GetObjectLink(1003, doc), nullptr);
}

TEST(Container, CustomDataIsFoundByTypeAndStaysOwnedByTheContainer) {
  fake::Install();
  BaseContainer bc;
  {
    GeData curve(KH_CUSTOMDATA_SPLINE, DEFAULTVALUE);
    EXPECT_EQ(curve.GetType(), KH_CUSTOMDATA_SPLINE);
    bc.SetData(1003, curve);
  }
  EXPECT_NE(bc.GetCustomDataType(1003, KH_CUSTOMDATA_SPLINE), nullptr);
  EXPECT_EQ(bc.GetCustomDataType(1003, KH_CUSTOMDATA_GRADIENT), nullptr);
  EXPECT_EQ(bc.GetCustomDataType(1004, KH_CUSTOMDATA_SPLINE), nullptr);
}

TEST(Filename, JoinsComponentsAndSplitsTheDirectory) {
  fake::Install();
  const Filename path = Filename("/opt/plugins/Kurvo2") + Filename("res") + Filename("Kurvo.tif");
  EXPECT_EQ(fake::Text(path.Kh()), "/opt/plugins/Kurvo2/res/Kurvo.tif");
  EXPECT_EQ(fake::Text(path.GetDirectory().Kh()), "/opt/plugins/Kurvo2/res");
  EXPECT_TRUE(path.GetFile().GetString() == String("Kurvo.tif"));

  Filename* heap = new (std::nothrow) Filename(path);
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(fake::state().alloc_calls, 1);
  delete heap;
  EXPECT_EQ(fake::state().free_calls, 1);
}

TEST(Objects, ClosednessIsTheSplinesParameter1002) {
  fake::Install();
  fake::Node* node = fake::NewNode(KH_TYPE_SPLINE);
  auto* spline = reinterpret_cast<SplineObject*>(node);
  EXPECT_FALSE(spline->IsClosed());
  spline->GetDataInstance()->SetBool(1002, true);
  EXPECT_TRUE(spline->IsClosed());

  spline->SetDeformMode(true);
  EXPECT_EQ(node->mode_deform, 1);
}

}  // namespace
