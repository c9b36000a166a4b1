#include "common/codec.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "base/log.h"
#include "common/message.h"

namespace {

// The counting of a codec that lives as long as the process.
template <class Codec>
class Immortal : public Codec {
public:
  using Codec::Codec;
  void addRef() override {}
  void release() override {}
  int getRefCount() override { return 1; }
  void* getInterface(int) override { return nullptr; }
};

class StringListCodec : public ValueCodec {
public:
  size_t size() const override { return sizeof(std::vector<std::string>); }
  void decode(std::string_view bytes, void* value) const override {
    *static_cast<std::vector<std::string>*>(value) = decodeStringList(bytes);
  }
  std::string encode(const void* value) const override {
    return stringListValue(*static_cast<const std::vector<std::string>*>(value));
  }
};

class U32ListCodec : public ValueCodec {
public:
  size_t size() const override { return sizeof(std::vector<uint32_t>); }
  void decode(std::string_view bytes, void* value) const override {
    *static_cast<std::vector<uint32_t>*>(value) = decodeU32List(bytes);
  }
  std::string encode(const void* value) const override {
    return u32ListValue(*static_cast<const std::vector<uint32_t>*>(value));
  }
};

class StringCodec : public ValueCodec {
public:
  size_t size() const override { return sizeof(std::string); }
  void decode(std::string_view bytes, void* value) const override {
    static_cast<std::string*>(value)->assign(bytes);
  }
  std::string encode(const void* value) const override { return *static_cast<const std::string*>(value); }
};

class FixedCodec : public ValueCodec {
public:
  explicit FixedCodec(size_t size = 0) : size_(size) {}
  void resize(size_t size) { size_ = size; }
  size_t size() const override { return size_; }
  void decode(std::string_view bytes, void* value) const override {
    if (bytes.size() == size_ && size_) std::memcpy(value, bytes.data(), size_);
  }
  std::string encode(const void* value) const override {
    return std::string(static_cast<const char*>(value), size_);
  }

private:
  size_t size_;
};

class U32PairListCodec : public ValueCodec {
public:
  size_t size() const override { return sizeof(std::vector<U32Pair>); }
  void decode(std::string_view bytes, void* value) const override {
    std::vector<uint32_t> numbers = decodeU32List(bytes.substr(0, bytes.size() / 8 * 8));
    auto& items = *static_cast<std::vector<U32Pair>*>(value);
    items.clear();
    for (size_t i = 0; i + 1 < numbers.size(); i += 2) items.push_back({numbers[i], numbers[i + 1]});
  }
  std::string encode(const void* value) const override {
    std::vector<uint32_t> numbers;
    for (const U32Pair& item : *static_cast<const std::vector<U32Pair>*>(value)) {
      numbers.push_back(item.first);
      numbers.push_back(item.second);
    }
    return u32ListValue(numbers);
  }
};

// Members are described by codec and offset; the codecs are held for the
// life of this one.
class PairCodec : public RefCounted<ValueCodec> {
public:
  PairCodec(Ref<ValueCodec> first, size_t firstOffset, Ref<ValueCodec> second, size_t secondOffset)
      : first_(std::move(first)), second_(std::move(second)), firstOffset_(firstOffset), secondOffset_(secondOffset) {}
  size_t size() const override {
    return std::max(firstOffset_ + first_->size(), secondOffset_ + second_->size());
  }
  void decode(std::string_view bytes, void* value) const override {
    std::string_view a, b;
    splitPair(bytes, a, b);
    first_->decode(a, static_cast<char*>(value) + firstOffset_);
    second_->decode(b, static_cast<char*>(value) + secondOffset_);
  }
  std::string encode(const void* value) const override {
    std::string a = first_->encode(static_cast<const char*>(value) + firstOffset_);
    if (a.size() > 0xFFFF) {
      // The length field cannot say so; an empty value reads back as defaults.
      nv::log << "pair value too large: " << a.size() << nv::endl;
      return std::string();
    }
    return pairValue(a, second_->encode(static_cast<const char*>(value) + secondOffset_));
  }

private:
  Ref<ValueCodec> first_;
  Ref<ValueCodec> second_;
  size_t firstOffset_;
  size_t secondOffset_;
};

}  // namespace

std::string pairValue(std::string_view first, std::string_view second) {
  std::string out;
  out.reserve(2 + first.size() + second.size());
  out += char(first.size());
  out += char(first.size() >> 8);
  out += first;
  out += second;
  return out;
}

void splitPair(std::string_view bytes, std::string_view& first, std::string_view& second) {
  size_t len = bytes.size() > 2 ? size_t(uint8_t(bytes[0])) | size_t(uint8_t(bytes[1])) << 8 : 0;
  if (bytes.size() <= 2 || len > bytes.size() - 2) {
    first = bytes;
    second = std::string_view();
    return;
  }
  first = bytes.substr(2, len);
  second = bytes.substr(2 + len);
}

ValueCodec* stringListCodec() {
  static Immortal<StringListCodec> codec;
  return &codec;
}

ValueCodec* u32ListCodec() {
  static Immortal<U32ListCodec> codec;
  return &codec;
}

ValueCodec* stringCodec() {
  static Immortal<StringCodec> codec;
  return &codec;
}

ValueCodec* u32PairCodec() {
  static Ref<ValueCodec> codec =
      pairCodec(fixedSizeCodec(4), offsetof(U32Pair, first), fixedSizeCodec(4), offsetof(U32Pair, second));
  return codec.get();
}

ValueCodec* u32PairListCodec() {
  static Immortal<U32PairListCodec> codec;
  return &codec;
}

ValueCodec* fixedSizeCodec(size_t size) {
  struct SmallCodecs {
    Immortal<FixedCodec> table[32];
    SmallCodecs() {
      for (size_t i = 0; i < 32; ++i) table[i].resize(i);
    }
  };
  static SmallCodecs small;
  if (size < 32) return &small.table[size];
  // Larger sizes are rare; each is made once and kept until exit.
  static std::map<size_t, std::unique_ptr<Immortal<FixedCodec>>> large;
  auto& codec = large[size];
  if (!codec) codec = std::make_unique<Immortal<FixedCodec>>(size);
  return codec.get();
}

Ref<ValueCodec> pairCodec(ValueCodec* first, size_t firstOffset, ValueCodec* second, size_t secondOffset) {
  return Ref<ValueCodec>(new PairCodec(first, firstOffset, second, secondOffset));
}

Ref<ValueCodec> pairCodec(ValueCodec* first, size_t firstOffset, ValueCodec* second, size_t secondOffset,
                          ValueCodec* third, size_t thirdOffset) {
  // The inner pair's members keep their offsets within the whole structure.
  Ref<ValueCodec> rest = pairCodec(second, secondOffset, third, thirdOffset);
  return pairCodec(first, firstOffset, rest.get(), 0);
}
