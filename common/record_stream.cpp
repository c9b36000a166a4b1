#include "common/record_stream.h"

#include <cstring>

bool MemorySource::read(void* to, size_t size) {
  size_t left = pos_ < size_ ? size_ - pos_ : 0;
  if (size > left) {
    // Like fread: what there was is consumed, and the stream is at its end.
    pos_ = size_;
    eof_ = true;
    return false;
  }
  if (size) std::memcpy(to, data_ + pos_, size);
  pos_ += size;
  return true;
}

void MemorySource::skip(size_t size) {
  pos_ = size > size_ - pos_ ? size_ : pos_ + size;
  eof_ = false;
}
