// Change detection: which checks mark the deformer changed, in which classes
// and order.
#include "deformer_fixture.h"

namespace kurvo::test {
namespace {

struct Marks {
  bool matrix = false;
  bool data = false;
  bool matrixBeforeData = false;  // both marked, matrix first
  bool operator==(const Marks&) const = default;
};
constexpr Marks kNone{};
constexpr Marks kData{false, true, false};
constexpr Marks kMatrix{true, false, false};
constexpr Marks kMatrixThenData{true, true, true};

std::ostream& operator<<(std::ostream& os, const Marks& m) {
  return os << "{matrix " << m.matrix << ", data " << m.data << ", matrix first " << m.matrixBeforeData << "}";
}

class ChangeDetectionTest : public DeformerTest {
 protected:
  // One check; which marks it set. The host's change stamps come from one
  // rising counter, so a fresh matrix stamp below a fresh data stamp means
  // matrix was marked first.
  Marks Check(Object* d) {
    const uint32_t m0 = d->dirtyCounter(KH_DIRTY_MATRIX), d0 = d->dirtyCounter(KH_DIRTY_DATA);
    CheckDirty(d);
    const uint32_t m1 = d->dirtyCounter(KH_DIRTY_MATRIX), d1 = d->dirtyCounter(KH_DIRTY_DATA);
    Marks marks{m1 != m0, d1 != d0, false};
    marks.matrixBeforeData = marks.matrix && marks.data && m1 < d1;
    return marks;
  }
  // Checks until a check marks nothing, as repeated evaluations would.
  void Settle(Object* d) {
    for (int i = 0; i < 5 && Check(d) != kNone; ++i) {
    }
    doc().evaluate();
    ASSERT_EQ(Check(d), kNone);
  }
};

TEST_F(ChangeDetectionTest, ChildrenAreCountedAndWatched) {
  Object* d = MakeDeformer(nullptr, nullptr);
  EXPECT_EQ(Check(d), kNone);

  Object* child = MakePointObject({Vector(1, 1, 1)}, d);
  EXPECT_EQ(Check(d), kData);  // the count changed (and the new child reports a change)
  EXPECT_EQ(Check(d), kData);  // the child still reports its change
  doc().evaluate();
  EXPECT_EQ(Check(d), kNone);

  doc().setLocalMatrix(child, ToKh(MatrixMove(Vector(0, 5, 0))));
  EXPECT_EQ(Check(d), kData);
  doc().evaluate();

  MakePointObject({Vector(1, 1, 1)}, child);  // grandchildren are not watched
  doc().evaluate();
  EXPECT_EQ(Check(d), kNone);

  doc().destroy(child);
  EXPECT_EQ(Check(d), kData);
  EXPECT_EQ(Check(d), kNone);
}

TEST_F(ChangeDetectionTest, PathChangeMarksMatrixThenData) {
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 100)}, 0, false);
  Object* d = MakeDeformer(nullptr, path);
  EXPECT_EQ(Check(d), kMatrixThenData);  // the first counter differs from zero
  Settle(d);

  doc().setLocalMatrix(path, ToKh(MatrixMove(Vector(0, 10, 0))));
  EXPECT_EQ(Check(d), kMatrixThenData);
  EXPECT_EQ(Check(d), kNone);

  doc().setPoints(path, {Vector(0, 0, 0), Vector(0, 0, 150)});
  EXPECT_EQ(Check(d), kMatrixThenData);
}

TEST_F(ChangeDetectionTest, PathAndRailChangedTogetherTakeTwoChecks) {
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 100)}, 0, false);
  Object* rail = MakeSpline({Vector(0, 9, 0), Vector(0, 9, 100)}, 0, false);
  Object* d = MakeDeformer(nullptr, path);
  doc().setLink(d, 1015, rail);
  Settle(d);

  doc().setLocalMatrix(path, ToKh(MatrixMove(Vector(1, 0, 0))));
  doc().setLocalMatrix(rail, ToKh(MatrixMove(Vector(2, 0, 0))));
  EXPECT_EQ(Check(d), kMatrixThenData);  // the path
  EXPECT_EQ(Check(d), kMatrixThenData);  // then the rail
  EXPECT_EQ(Check(d), kNone);
}

TEST_F(ChangeDetectionTest, MovingAParentOfThePathMarksMatrixOnly) {
  Object* parent = MakePointObject({Vector(1, 2, 3)});
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 100)}, 0, false);
  doc().insertUnder(path, parent);
  Object* d = MakeDeformer(nullptr, path);
  Settle(d);

  doc().setLocalMatrix(parent, ToKh(MatrixMove(Vector(0, 0, 30))));
  EXPECT_EQ(Check(d), kMatrix);
  EXPECT_EQ(Check(d), kNone);

  // Of the path's parents only the matrix counts: new points or parameters of
  // the parent leave the deformer alone.
  const uint32_t parentData = parent->dirtyCounter(KH_DIRTY_DATA);
  doc().setPoints(parent, {Vector(4, 5, 6)});
  Params(parent).setReal(1000, 2.5f);
  ASSERT_NE(parent->dirtyCounter(KH_DIRTY_DATA), parentData);
  EXPECT_EQ(Check(d), kNone);
}

// One stored counter serves every ancestor: two ancestors with different
// counters make every check find a difference.
TEST_F(ChangeDetectionTest, TwoAncestorsWithDifferentCountersMarkEveryCheck) {
  Object* top = doc().createObject(KH_TYPE_NULL);
  Object* middle = doc().createObject(KH_TYPE_NULL);
  doc().insertUnder(middle, top);
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 100)}, 0, false);
  doc().insertUnder(path, middle);
  doc().setLocalMatrix(top, ToKh(MatrixMove(Vector(0, 0, 1))));
  Object* d = MakeDeformer(nullptr, path);
  ASSERT_NE(top->dirtyCounter(KH_DIRTY_MATRIX), middle->dirtyCounter(KH_DIRTY_MATRIX));
  Check(d);  // the path's first counter
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Check(d), kMatrix) << i;
}

TEST_F(ChangeDetectionTest, PathInAnotherDocumentLeavesOnlyTheChildrenWatched) {
  host::Document& other = session().newDocument();
  Object* foreign = other.createObject(KH_TYPE_SPLINE);
  Object* d = MakeDeformer(nullptr, nullptr);
  doc().setLink(d, 1002, foreign);
  EXPECT_EQ(Check(d), kNone);
  other.setLocalMatrix(foreign, ToKh(MatrixMove(Vector(3, 0, 0))));
  EXPECT_EQ(Check(d), kNone);
  MakePointObject({Vector()}, d);
  EXPECT_EQ(Check(d), kData);
}

}  // namespace
}  // namespace kurvo::test
