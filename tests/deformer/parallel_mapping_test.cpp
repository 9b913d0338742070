// A large object's points split over the host's task pool: the same bits as
// one thread in every frame mode, and a stop that leaves each point either
// where it was or where the whole run puts it.
#include <cmath>
#include <cstring>
#include <vector>

#include "core/task_pool.h"
#include "deformer_fixture.h"
#include "scene/break_thread.h"

namespace kurvo::test {
namespace {

class ParallelMappingTest : public DeformerTest {
 protected:
  void SetUp() override {
    DeformerTest::SetUp();
    was_ = host::TaskPool::shared().concurrency();
    // A climbing, turning path, so every frame mode has work to do.
    std::vector<Vector> wave;
    for (int i = 0; i < 9; ++i)
      wave.push_back(Vector(30 * std::sin(i * 0.9f), 20 * std::cos(i * 0.7f), 50.0f * i));
    path_ = MakeSpline(wave, 1, false);
    rail_ = MakeSpline(wave, 1, false);
    doc().setLocalMatrix(rail_, ToKh(MatrixMove(Vector(0, 10, 0))));
    object_ = MakePointObject(Cylinder(5, 0, 400, 1500, 67));  // 100,500 points: not whole blocks
    deformer_ = MakeDeformer(object_, path_);
    rest_ = object_->points();
  }
  void TearDown() override {
    host::TaskPool::shared().setConcurrency(was_);
    DeformerTest::TearDown();
  }
  std::vector<Vector> Run(int32_t threads, host::BreakThread* thread = nullptr) {
    host::TaskPool::shared().setConcurrency(threads);
    object_->points() = rest_;
    object_->refreshBox();
    Modify(deformer_, thread);
    return object_->points();
  }
  static bool SameBits(const Vector& a, const Vector& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

  int32_t was_ = 1;
  Object* path_ = nullptr;
  Object* rail_ = nullptr;
  Object* object_ = nullptr;
  Object* deformer_ = nullptr;
  std::vector<Vector> rest_;
};

TEST_F(ParallelMappingTest, EveryModeGivesTheBitsOfOneThread) {
  doc().setLink(deformer_, 1015, rail_);
  SetCurve(deformer_, 1003, {{0, 0}, {0.4f, 1}, {1, 0.3f}});
  SetCurve(deformer_, 1004, {{0, 1}, {0.5f, 1.6f}, {1, 0.5f}});
  SetCurve(deformer_, 1122, {{0, 0.5f}, {1, 1.5f}});
  Params(deformer_).setReal(1007, 180.0f);
  Params(deformer_).setReal(1203, 1.0f);
  // The tag restarts the generator every run, so every run twists the same.
  doc().addTag(object_, kTagType)->parameters().setLong(1000, 5);
  for (int32_t mode : {0, 1, 2, 3}) {
    Params(deformer_).setLong(1024, mode);
    const std::vector<Vector> one = Run(1);
    for (int32_t threads : {2, 3, 8}) {
      const std::vector<Vector> many = Run(threads);
      ASSERT_EQ(many.size(), one.size());
      size_t differing = 0;
      for (size_t i = 0; i < one.size(); ++i) differing += SameBits(one[i], many[i]) ? 0 : 1;
      EXPECT_EQ(differing, 0u) << "up mode " << mode << ", " << threads << " threads";
    }
    size_t moved = 0;
    for (size_t i = 0; i < one.size(); ++i) moved += SameBits(one[i], rest_[i]) ? 0 : 1;
    EXPECT_GT(moved, one.size() * 9 / 10) << "the run really moved the points, mode " << mode;
  }
}

TEST_F(ParallelMappingTest, AStopLeavesEachPointAtRestOrMapped) {
  const std::vector<Vector> full = Run(1);
  host::BreakThread thread;
  for (int64_t allowed : {0, 1, 5, 200}) {
    thread.stopAfter(allowed);
    const std::vector<Vector> stopped = Run(4, &thread);
    size_t moved = 0;
    for (size_t i = 0; i < full.size(); ++i) {
      const bool mapped = SameBits(stopped[i], full[i]);
      ASSERT_TRUE(mapped || SameBits(stopped[i], rest_[i])) << "point " << i << " after " << allowed << " tests";
      moved += mapped && !SameBits(full[i], rest_[i]) ? 1 : 0;
    }
    // Every test answered "go on" maps one block of at most 64 points, and
    // one "stop" ends every task at its next block.
    EXPECT_LE(moved, size_t(allowed) * 64) << allowed;
    if (allowed > 0) {
      EXPECT_GT(moved, size_t(allowed - 1) * 64) << allowed;
    }
    EXPECT_LE(thread.calls(), allowed + 4 * 8) << "one stop answer per task at most";
  }
}

}  // namespace
}  // namespace kurvo::test
