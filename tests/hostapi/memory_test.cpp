#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "kurvo_api.h"

namespace {

bool AllZero(const void* block, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (size_t i = 0; i < size; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

TEST(Allocator, ServesZeroFilledBlocksFromTheHostAndSizeZeroAsOne) {
  fake::Install();
  void* block = GeAlloc(64);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(AllZero(block, 64));
  void* empty = GeAlloc(0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(fake::state().alloc_sizes, (std::vector<int64_t>{64, 1}));
  GeFreeBlock(block);
  GeFreeBlock(empty);
  GeFreeBlock(nullptr);
  EXPECT_EQ(fake::state().free_calls, 2);
}

TEST(Allocator, AnswersNullWhenTheHostIsOutOfMemory) {
  fake::Install();
  fake::state().fail_alloc = true;
  EXPECT_EQ(GeAlloc(16), nullptr);
  struct Node {
    int value = 5;
  };
  EXPECT_EQ(gNew<Node>(), nullptr);
}

TEST(Allocator, FallbackBlockBeforeTheTableGoesBackToTheCLibraryAfterIt) {
  InitOS(nullptr);
  stdlib_mem_used = 0;
  auto* block = static_cast<unsigned char*>(GeAlloc(0));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(stdlib_mem_used, 1);
  int64_t header;
  std::memcpy(&header, block - 8, 8);
  EXPECT_EQ(header, -1);
  EXPECT_EQ(block[0], 0);

  fake::Install();
  GeFreeBlock(block);  // must not reach the host's free
  EXPECT_EQ(fake::state().free_calls, 0);

  // Host blocks still go to the host while the flag is set.
  void* host_block = GeAlloc(8);
  GeFreeBlock(host_block);
  EXPECT_EQ(fake::state().free_calls, 1);
  stdlib_mem_used = 0;
}

struct Counted {
  static inline int destroyed = 0;
  virtual ~Counted() { ++destroyed; }
  int payload[4] = {};
};

TEST(Allocator, GDeleteDestroysFreesAndClears) {
  fake::Install();
  Counted* object = gNew<Counted>();
  ASSERT_NE(object, nullptr);
  Counted::destroyed = 0;
  gDelete(object);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(Counted::destroyed, 1);
  EXPECT_EQ(fake::state().free_calls, 1);

  float* weights = static_cast<float*>(GeAlloc(4 * sizeof(float)));
  _GeFree(weights);
  EXPECT_EQ(weights, nullptr);
  EXPECT_EQ(fake::state().free_calls, 2);
}

}  // namespace
