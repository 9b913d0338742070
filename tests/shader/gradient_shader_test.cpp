// The shader's node and render life: default gradient, positions from the
// deformer tag, the random position, samples without render context, the
// host gradient's preparation and release, and concurrent samples.
#include <cstdint>
#include <limits>
#include <thread>

#include "core/custom_types.h"
#include "core/plugin_registry.h"
#include "core/memory.h"
#include "math/random.h"
#include "shader_fixture.h"

namespace kurvo::test {
namespace {

// The first Get01 of a generator seeded with index * 32456 + seed, the seed
// worked out in 64 bits and reduced modulo 2^32.
float RandomPosition(int64_t index, int64_t seed) {
  const uint64_t wide = static_cast<uint64_t>(index * 32456 + seed);
  Random r;
  r.Init(static_cast<uint32_t>(wide & 0xFFFFFFFFu));
  return r.Get01();
}

TEST_F(ShaderTest, InitWritesTheTwoDefaultKnotsAndNothingElse) {
  ASSERT_TRUE(MakeShader());
  EXPECT_EQ(ShaderParams().keys(), std::vector<int32_t>{kGradient});
  const host::Data* entry = ShaderParams().find(kGradient);
  ASSERT_NE(entry, nullptr);
  const auto* gradient = static_cast<const host::GradientData*>(entry->getCustom(KH_CUSTOMDATA_GRADIENT));
  ASSERT_NE(gradient, nullptr);
  ASSERT_EQ(gradient->gradient.KnotCount(), 2);
  const geo::GradientKnot& first = gradient->gradient.GetKnot(0);
  const geo::GradientKnot& second = gradient->gradient.GetKnot(1);
  EXPECT_EQ(first.col, Vector(0, 0, 1));
  EXPECT_EQ(second.col, Vector(1, 1, 1));
  for (const geo::GradientKnot* k : {&first, &second}) {
    EXPECT_EQ(k->brightness, 1.0f);
    EXPECT_EQ(k->bias, 0.5f);
    EXPECT_EQ(k->index, 0);
  }
  EXPECT_EQ(first.pos, 0.0f);
  EXPECT_EQ(second.pos, 1.0f);
}

TEST_F(ShaderTest, InitFailsWithoutMemoryForTheTemporaryGradient) {
  ASSERT_NE(&Record(), nullptr);
  host::Memory::failNth(2);  // the first admission is the shader object itself
  EXPECT_FALSE(MakeShader());
  EXPECT_TRUE(host::Memory::failureHit());
  host::Memory::failNth(0);
}

TEST_F(ShaderTest, ObjectWithoutTagGetsTheLeftEnd) {
  ASSERT_TRUE(MakeShader());
  ASSERT_EQ(InitRender(), 0);
  host::Object* plain = doc().createObject(KH_TYPE_POLYGON);
  EXPECT_VEC_NEAR(Sample(plain), Vector(0, 0, 1), 1e-6f);
  // A tag of another type is not looked at.
  doc().addTag(plain, KH_TYPE_VERTEXMAP);
  EXPECT_VEC_NEAR(Sample(plain), Vector(0, 0, 1), 1e-6f);
  FreeRender();
}

TEST_F(ShaderTest, IndexDividedByCountGivesThePosition) {
  ASSERT_TRUE(MakeShader());
  UseRampGradient();
  ASSERT_EQ(InitRender(), 0);
  EXPECT_NEAR(PositionOf(Sample(Tagged(3, 4))), 0.75f, 1e-5f);
  EXPECT_NEAR(PositionOf(Sample(Tagged(0, 4))), 0.0f, 1e-5f);
  // Outside 0..1 nothing is clamped: a negative count divides by 1, a
  // negative index or an index past the count goes on as it is.
  EXPECT_NEAR(PositionOf(Sample(Tagged(2, -5))), 2.0f, 1e-5f);
  EXPECT_NEAR(PositionOf(Sample(Tagged(-1, 4))), -0.25f, 1e-5f);
  EXPECT_NEAR(PositionOf(Sample(Tagged(3, 2))), 1.5f, 1e-5f);
  // Only the first tag of the type counts.
  host::Object* twice = Tagged(1, 4);
  doc().addTag(twice, kTagType)->parameters().setLong(1000, 3);
  EXPECT_NEAR(PositionOf(Sample(twice)), 0.25f, 1e-5f);
  FreeRender();
}

// A fresh tag has count 0: the division would hand the gradient an infinity
// (or a NaN for index 0); the shader uses position 0 instead.
TEST_F(ShaderTest, CountZeroGivesPositionZeroInsteadOfDividingByZero) {
  ASSERT_TRUE(MakeShader());
  UseRampGradient();
  ASSERT_EQ(InitRender(), 0);
  EXPECT_NEAR(PositionOf(Sample(TaggedWithoutCount(3))), 0.0f, 1e-5f);
  EXPECT_NEAR(PositionOf(Sample(Tagged(-2, 0))), 0.0f, 1e-5f);
  EXPECT_NEAR(PositionOf(Sample(Tagged(0, 0))), 0.0f, 1e-5f);
  FreeRender();
}

TEST_F(ShaderTest, RandomPositionIsSeededByIndexAndSeed) {
  ASSERT_TRUE(MakeShader());
  UseRampGradient();
  ShaderParams().setBool(kRandom, true);
  host::Object* seven = Tagged(7, 4);
  ASSERT_EQ(InitRender(), 0);
  EXPECT_NEAR(PositionOf(Sample(seven)), 0.307154f, 2e-6f);
  EXPECT_NEAR(PositionOf(Sample(Tagged(0, 4))), 0.0000322f, 2e-6f);
  // The same object gives the same colour on every sample.
  EXPECT_EQ(Sample(seven), Sample(seven));

  // The seed is taken at InitRender only.
  ShaderParams().setLong(kSeed, 1);
  EXPECT_NEAR(PositionOf(Sample(seven)), 0.307154f, 2e-6f);
  FreeRender();
  ASSERT_EQ(InitRender(), 0);
  EXPECT_NEAR(PositionOf(Sample(seven)), 0.307186f, 2e-6f);

  // The switch is read on every sample.
  ShaderParams().setBool(kRandom, false);
  EXPECT_NEAR(PositionOf(Sample(seven)), 1.75f, 1e-5f);
  FreeRender();
}

TEST_F(ShaderTest, RandomSeedWrapsAroundIn32Bits) {
  ASSERT_TRUE(MakeShader());
  UseRampGradient();
  ShaderParams().setBool(kRandom, true);
  ShaderParams().setLong(kSeed, 5);
  ASSERT_EQ(InitRender(), 0);
  // 200000 * 32456 is beyond 2^32; so are the extremes of both signs.
  for (int32_t index : {200000, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(), -1}) {
    SCOPED_TRACE(index);
    EXPECT_NEAR(PositionOf(Sample(Tagged(index, 1))), RandomPosition(index, 5), 2e-6f);
  }
  FreeRender();
  ShaderParams().setLong(kSeed, std::numeric_limits<int32_t>::max());
  ASSERT_EQ(InitRender(), 0);
  EXPECT_NEAR(PositionOf(Sample(Tagged(1, 1))), RandomPosition(1, std::numeric_limits<int32_t>::max()), 2e-6f);
  FreeRender();
}

TEST_F(ShaderTest, SampleWithoutRenderContextFollowsU) {
  ASSERT_TRUE(MakeShader());
  // Before InitRender there is no gradient to evaluate: black.
  EXPECT_EQ(Sample(nullptr, 0.5f), Vector(0, 0, 0));
  ASSERT_EQ(InitRender(), 0);
  EXPECT_VEC_NEAR(Sample(nullptr, 0.0f), Vector(0, 0, 1), 1e-6f);
  EXPECT_VEC_NEAR(Sample(nullptr, 1.0f), Vector(1, 1, 1), 1e-6f);
  EXPECT_VEC_NEAR(Sample(nullptr, 0.5f), Vector(0.5f, 0.5f, 1), 1e-6f);
  FreeRender();
  EXPECT_EQ(Sample(nullptr, 0.5f), Vector(0, 0, 0));
}

// FreeRender lets the gradient go: a later sample answers black even when
// the same gradient has been prepared again by someone else.
TEST_F(ShaderTest, FreeRenderLetsTheGradientGo) {
  ASSERT_TRUE(MakeShader());
  host::Object* tagged = Tagged(0, 4);
  ASSERT_EQ(InitRender(), 0);
  EXPECT_VEC_NEAR(Sample(tagged), Vector(0, 0, 1), 1e-6f);
  FreeRender();
  EXPECT_EQ(Sample(tagged), Vector(0, 0, 0));

  auto* stored = static_cast<host::GradientData*>(ShaderParams().find(kGradient)->getCustom(KH_CUSTOMDATA_GRADIENT));
  ASSERT_NE(stored, nullptr);
  ASSERT_TRUE(stored->gradient.InitRender());
  EXPECT_EQ(Sample(tagged), Vector(0, 0, 0));
  EXPECT_EQ(Sample(nullptr, 1.0f), Vector(0, 0, 0));
  stored->gradient.FreeRender();
}

// The host's gradient library with its render preparation and release
// replaced for one test: preparation fails on request, and both count their
// calls before handing on to the host's own.
class GradientLibrarySpy {
 public:
  explicit GradientLibrarySpy(host::HostSession& session) {
    host::PluginRegistry::Entry* entry = session.registry().registryFind(KH_LIB_GRADIENT, KH_REGISTRYTYPE_LIBRARY);
    library_ = entry ? static_cast<KhGradientLib*>(entry->data) : nullptr;
    if (!library_) return;
    original_ = *library_;
    fail = false;
    inits = frees = 0;
    library_->init_render = &Init;
    library_->free_render = &Free;
  }
  ~GradientLibrarySpy() {
    if (library_) *library_ = original_;
  }
  GradientLibrarySpy(const GradientLibrarySpy&) = delete;
  GradientLibrarySpy& operator=(const GradientLibrarySpy&) = delete;
  bool installed() const { return library_ != nullptr; }

  static inline bool fail = false;
  static inline int inits = 0, frees = 0;

 private:
  static int32_t KH_CALL Init(KhCustomData* g) {
    ++inits;
    return fail ? 0 : original_.init_render(g);
  }
  static void KH_CALL Free(KhCustomData* g) {
    ++frees;
    original_.free_render(g);
  }
  KhGradientLib* library_ = nullptr;
  static inline KhGradientLib original_{};
};

// InitRender prepares the host's gradient and FreeRender releases it again
// through the host, whether the preparation worked or not; a gradient the
// host cannot prepare makes InitRender answer -100.
TEST_F(ShaderTest, TheHostGradientIsPreparedByInitRenderAndReleasedByFreeRender) {
  ASSERT_TRUE(MakeShader());
  GradientLibrarySpy spy(session());
  ASSERT_TRUE(spy.installed());
  const auto stored = [&] {
    return static_cast<host::GradientData*>(ShaderParams().find(kGradient)->getCustom(KH_CUSTOMDATA_GRADIENT));
  };
  ASSERT_NE(stored(), nullptr);

  ASSERT_EQ(InitRender(), 0);
  EXPECT_EQ(GradientLibrarySpy::inits, 1);
  EXPECT_TRUE(stored()->gradient.IsRendering());
  FreeRender();
  EXPECT_EQ(GradientLibrarySpy::frees, 1);
  EXPECT_FALSE(stored()->gradient.IsRendering()) << "the host's gradient is still prepared";

  GradientLibrarySpy::fail = true;
  EXPECT_EQ(InitRender(), -100);
  EXPECT_EQ(GradientLibrarySpy::inits, 2);
  FreeRender();
  EXPECT_EQ(GradientLibrarySpy::frees, 2) << "the gradient held after a failed preparation is released too";
  EXPECT_EQ(Sample(nullptr, 1.0f), Vector(0, 0, 0));

  // With no gradient to hold, there is nothing to release.
  GradientLibrarySpy::fail = false;
  ShaderParams().remove(kGradient);
  EXPECT_EQ(InitRender(), -100);
  FreeRender();
  EXPECT_EQ(GradientLibrarySpy::inits, 2);
  EXPECT_EQ(GradientLibrarySpy::frees, 2);
}

TEST_F(ShaderTest, InitRenderFailsWithoutAGradient) {
  ASSERT_TRUE(MakeShader());
  ShaderParams().remove(kGradient);
  EXPECT_EQ(InitRender(), -100);
  FreeRender();
  ShaderParams().setLong(kGradient, 3);  // an entry of another type
  EXPECT_EQ(InitRender(), -100);
  FreeRender();
}

TEST_F(ShaderTest, ConcurrentSamplesMatchSerialOnes) {
  ASSERT_TRUE(MakeShader());
  ShaderParams().setBool(kRandom, true);
  ShaderParams().setLong(kSeed, 17);
  std::vector<host::Object*> objects;
  for (int32_t i = 0; i < 64; ++i) objects.push_back(i % 5 == 4 ? doc().createObject(KH_TYPE_POLYGON) : Tagged(i, 64));
  ASSERT_EQ(InitRender(), 0);
  std::vector<Vector> serial;
  for (host::Object* o : objects) serial.push_back(Sample(o));

  constexpr int kRounds = 200;
  std::vector<Vector> a(objects.size()), b(objects.size());
  bool sameA = true, sameB = true;
  auto worker = [&](std::vector<Vector>& out, bool& same, bool reverse) {
    for (int round = 0; round < kRounds; ++round)
      for (size_t k = 0; k < objects.size(); ++k) {
        const size_t i = reverse ? objects.size() - 1 - k : k;
        out[i] = Sample(objects[i]);
        same = same && out[i] == serial[i];
      }
  };
  std::thread first(worker, std::ref(a), std::ref(sameA), false);
  std::thread second(worker, std::ref(b), std::ref(sameB), true);
  first.join();
  second.join();
  EXPECT_TRUE(sameA);
  EXPECT_TRUE(sameB);
  EXPECT_EQ(a, serial);
  EXPECT_EQ(b, serial);
  FreeRender();
}

}  // namespace
}  // namespace kurvo::test
