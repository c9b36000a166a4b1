#include "base/alloc.h"

#include "base/log.h"

namespace nv {

Allocator::Allocator(uint32_t start, uint32_t end) : start_(start), end_(end) {
  if (end < start) {
    log << "allocator: start beyond end" << endl;
    assertFailed("0", "nv::Allocator::Allocator(unsigned int, unsigned int)", "base/alloc.cpp", 10);
  }
  freeCount_ = end - start + 1;
  if (freeCount_ == 0) {
    log << "Loud Error: Allocator created with 0 free items, max range specified" << endl;
    assertFailed("0", "nv::Allocator::Allocator(unsigned int, unsigned int)", "base/alloc.cpp", 16);
  }
  head_ = new Node{nullptr, start, end};
}

Allocator::~Allocator() {
  while (head_) delete std::exchange(head_, head_->next);
}

uint32_t Allocator::allocate() {
  if (freeCount_ == 0) {
    log << "allocator: no free ids" << endl;
    assertFailed("0", "unsigned int nv::Allocator::allocate()", "base/alloc.cpp", 103);
  }
  Node* range = *current_;
  uint32_t id = range->first;
  if (range->first == range->last) {
    *current_ = range->next;
    delete range;
    if (*current_ == nullptr) current_ = &head_;  // wrap to the lowest free range
  } else {
    range->first++;
  }
  freeCount_--;
  return id;
}

void Allocator::free(uint32_t id) {
  Node* prev = nullptr;
  Node** link = &head_;  // the link the new or grown node hangs from
  Node* next = head_;
  while (next && next->first <= id) {
    if (id <= next->last) {
      log << "allocator: free already free id" << endl;
      assertFailed("0", "void nv::Allocator::free(unsigned int)", "base/alloc.cpp", 147);
    }
    prev = next;
    link = &next->next;
    next = next->next;
  }

  if (prev && id == prev->last + 1) {
    prev->last = id;
    if (next) merge(prev, next);
  } else if (next && id == next->first - 1) {
    if (*current_ == next) {
      // Keep the current range's first id: hang a new node in front of it.
      Node* node = new Node{next, id, id};
      *link = node;
      current_ = &node->next;
      if (prev) merge(prev, node);
    } else {
      next->first = id;
      if (prev) merge(prev, next);
    }
  } else {
    Node* node = new Node{next, id, id};
    bool wasEmpty = freeCount_ == 0;
    *link = node;
    if (wasEmpty) {
      current_ = &head_;
    } else if (current_ == link) {
      current_ = &node->next;  // the current range stays the same
    }
  }
  freeCount_++;
}

void Allocator::merge(Node* a, Node* b) {
  if (b->first != a->last + 1) return;
  if (*current_ == b) return;  // the current range never grows downwards
  a->last = b->last;
  a->next = b->next;
  if (current_ == &b->next) current_ = &a->next;
  delete b;
}

bool Allocator::isAllocated(uint32_t id) const {
  for (Node* n = head_; n && id >= n->first; n = n->next) {
    if (id <= n->last) return false;
  }
  return true;
}

std::vector<std::pair<uint32_t, uint32_t>> Allocator::freeRanges() const {
  std::vector<std::pair<uint32_t, uint32_t>> out;
  for (Node* n = head_; n; n = n->next) out.emplace_back(n->first, n->last);
  return out;
}

int Allocator::currentIndex() const {
  int i = 0;
  for (Node* const* link = &head_; *link; link = &(*link)->next, ++i) {
    if (link == current_) return i;
  }
  return -1;
}

}  // namespace nv
