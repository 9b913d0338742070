// A large object's points split over the host's task pool: the same bits as
// one thread in every frame mode, and a stop that leaves each point either
// where it was or where the whole run puts it.
#include <cmath>
#include <cstring>
#include <filesystem>
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

// Many objects in one evaluation: runs that share no object go at the same
// time, and a path that is itself deformed is bent before the objects that
// follow it. Every point must come out as in a one-thread evaluation.
class ManyObjectsTest : public DeformerTest {
 protected:
  void TearDown() override {
    host::TaskPool::shared().setConcurrency(was_);
    DeformerTest::TearDown();
  }
  // Builds the scene in a fresh document, evaluates it on `threads`, and
  // answers the points of every object in walk order.
  std::vector<std::vector<Vector>> Evaluate(int32_t threads) {
    StartSession(std::filesystem::path(KURVO_SOURCE_DIR) / "res");
    host::TaskPool::shared().setConcurrency(threads);
    std::vector<Vector> wave;
    for (int i = 0; i < 7; ++i) wave.push_back(Vector(25 * std::sin(i * 1.1f), 15 * std::cos(i * 0.8f), 60.0f * i));
    Object* a = MakeSpline(wave, 1, false);
    Object* b = MakeSpline({Vector(0, 0, 0), Vector(50, 0, 100), Vector(0, 40, 300)}, 0, false);
    // c is bent along a before anything that follows it uses it.
    Object* c = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 120), Vector(0, 0, 240), Vector(0, 0, 360)}, 1, false);
    MakeDeformer(c, a);
    std::vector<Object*> objects{a, b, c};
    Object* paths[] = {a, b, c};
    for (int i = 0; i < 40; ++i) {
      Object* mesh = MakePointObject(Cylinder(3.0f + i % 5, 0, 300, 40 + i, 25));
      Object* d = MakeDeformer(mesh, paths[i % 3]);
      Params(d).setLong(1024, i % 4);
      Params(d).setReal(1000, 0.01f * i);
      if (i % 2 == 0) {
        SetCurve(d, 1003, {{0, 0}, {1, 1}});
        Params(d).setReal(1007, 90.0f);
        Params(d).setReal(1203, 1.0f);
        doc().addTag(mesh, kTagType)->parameters().setLong(1000, i);
      }
      objects.push_back(mesh);
    }
    Object* big = MakePointObject(Cylinder(6, 0, 300, 400, 50));  // split over the pool
    MakeDeformer(big, c);
    objects.push_back(big);
    doc().evaluate();
    std::vector<std::vector<Vector>> out;
    for (Object* o : objects) out.push_back(o->points());
    return out;
  }
  int32_t was_ = host::TaskPool::shared().concurrency();
};

TEST_F(ManyObjectsTest, EvaluateAsInOneThread) {
  const auto one = Evaluate(1);
  EXPECT_NE(one[2][1], Vector(0, 0, 120)) << "the path c itself was bent";
  for (int32_t threads : {2, 4}) {
    const auto many = Evaluate(threads);
    ASSERT_EQ(many.size(), one.size());
    for (size_t o = 0; o < one.size(); ++o) {
      ASSERT_EQ(many[o].size(), one[o].size());
      EXPECT_EQ(std::memcmp(many[o].data(), one[o].data(), one[o].size() * sizeof(Vector)), 0)
          << "object " << o << " on " << threads << " threads";
    }
  }
}

}  // namespace
}  // namespace kurvo::test
