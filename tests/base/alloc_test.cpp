#include "base/alloc.h"

#include <gtest/gtest.h>

namespace {

using Ranges = std::vector<std::pair<uint32_t, uint32_t>>;

// Hands out every id of 1..5 and then frees the given ones in order.
nv::Allocator* allTakenThenFree(std::initializer_list<uint32_t> freed) {
  auto* a = new nv::Allocator(1, 5);
  for (int i = 0; i < 5; ++i) a->allocate();
  for (uint32_t id : freed) a->free(id);
  return a;
}

TEST(Allocator, HandsOutAscendingAndFreedIdsComeBackOnlyAfterTheWrap) {
  nv::Allocator a(1, 5);
  EXPECT_EQ(a.allocate(), 1u);
  EXPECT_EQ(a.allocate(), 2u);
  EXPECT_EQ(a.allocate(), 3u);
  a.free(1);
  EXPECT_EQ(a.freeRanges(), (Ranges{{1, 1}, {4, 5}}));
  EXPECT_EQ(a.currentIndex(), 1);
  a.free(3);
  // The freed 3 does not join the current range [4,5].
  EXPECT_EQ(a.freeRanges(), (Ranges{{1, 1}, {3, 3}, {4, 5}}));
  EXPECT_EQ(a.currentIndex(), 2);
  EXPECT_EQ(a.allocate(), 4u);
  EXPECT_EQ(a.allocate(), 5u);
  EXPECT_EQ(a.allocate(), 1u);
  EXPECT_EQ(a.allocate(), 3u);
  EXPECT_EQ(a.freeCount(), 0u);
}

TEST(Allocator, FreeingIntoAnEmptyListMakesTheCurrentRange) {
  std::unique_ptr<nv::Allocator> a(allTakenThenFree({2, 4, 1}));
  // [1,1] is put in front of the current [2,2] without joining it.
  EXPECT_EQ(a->freeRanges(), (Ranges{{1, 1}, {2, 2}, {4, 4}}));
  EXPECT_EQ(a->currentIndex(), 1);
  EXPECT_EQ(a->allocate(), 2u);
}

TEST(Allocator, MergesExceptIntoTheCurrentRange) {
  struct Case {
    uint32_t current;  // 1: [1,2] is current, 4: [4,5] is current
    Ranges expected;
    int expectedCurrent;
    uint32_t nextAllocation;
  };
  for (const Case& c : {Case{4, {{1, 3}, {4, 5}}, 1, 4}, Case{1, {{1, 5}}, 0, 1}}) {
    SCOPED_TRACE(c.current);
    nv::Allocator a(1, 5);
    for (int i = 0; i < 5; ++i) a.allocate();
    // Build [1,2] and [4,5] with the wanted current range.
    if (c.current == 4) {
      a.free(4); a.free(5); a.free(1); a.free(2);
    } else {
      a.free(1); a.free(2); a.free(4); a.free(5);
    }
    a.free(3);
    EXPECT_EQ(a.freeRanges(), c.expected);
    EXPECT_EQ(a.currentIndex(), c.expectedCurrent);
    EXPECT_EQ(a.allocate(), c.nextAllocation);
  }
}

TEST(Allocator, IsAllocated) {
  nv::Allocator a(10, 20);
  uint32_t id = a.allocate();
  EXPECT_TRUE(a.isAllocated(id));
  EXPECT_FALSE(a.isAllocated(15));
  EXPECT_TRUE(a.isAllocated(9));
  EXPECT_TRUE(a.isAllocated(21));
}

TEST(Allocator, WrapsAroundAMessageSizedRange) {
  nv::Allocator a(0x8014, 0xBFFF);
  EXPECT_EQ(a.allocate(), 0x8014u);
  EXPECT_EQ(a.allocate(), 0x8015u);
  a.free(0x8014);
  EXPECT_EQ(a.allocate(), 0x8016u);
  uint32_t last = 0;
  while (a.freeCount() > 1) last = a.allocate();
  EXPECT_EQ(last, 0xBFFFu);
  EXPECT_EQ(a.allocate(), 0x8014u);
}

}  // namespace
