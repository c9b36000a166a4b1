#pragma once
// nv::Allocator hands out ids from an inclusive range in ascending order and
// wraps around, so an id given back is not handed out again at once.
//
//   nv::Allocator numbers(0x8014, 0xBFFF);
//   unsigned n = numbers.allocate();   // 0x8014
//   numbers.free(n);                   // comes back only after the wrap

#include <cstdint>
#include <utility>
#include <vector>

namespace nv {

class Allocator {
public:
  Allocator(uint32_t start, uint32_t end);
  ~Allocator();
  Allocator(const Allocator&) = delete;
  Allocator& operator=(const Allocator&) = delete;

  uint32_t allocate();
  void free(uint32_t id);
  bool isAllocated(uint32_t id) const;
  uint32_t freeCount() const { return freeCount_; }

  // The free ranges in order and the index of the current one, for tests.
  std::vector<std::pair<uint32_t, uint32_t>> freeRanges() const;
  int currentIndex() const;

private:
  struct Node {
    Node* next;
    uint32_t first;
    uint32_t last;
  };
  void merge(Node* a, Node* b);

  uint32_t start_;
  uint32_t end_;
  uint32_t freeCount_;
  Node* head_ = nullptr;
  Node** current_ = &head_;  // the link whose node is the current range
};

}  // namespace nv
