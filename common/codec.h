#pragma once
// Value codecs: how a kind of value moves between its bytes in a message and
// its form in memory. A codec describes the in-memory value by its size, so
// composed codecs can fill the members of a structure:
//
//   struct Span { uint32_t from; std::vector<std::string> names; };
//   Ref<ValueCodec> c = pairCodec(fixedSizeCodec(4), offsetof(Span, from),
//                                 stringListCodec(), offsetof(Span, names));
//   c->decode(*msg.find("span"), &span);
//
// The codecs of fixed kinds are process-lifetime singletons whose counting
// does nothing; a composed codec lives until its last reference goes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/ibase.h"

class ValueCodec : public IBase {
public:
  virtual size_t size() const = 0;   // bytes of the in-memory value
  // Leaves parts of the value that the bytes do not carry as they were.
  virtual void decode(std::string_view bytes, void* value) const = 0;
  virtual std::string encode(const void* value) const = 0;
};

struct U32Pair {
  uint32_t first;
  uint32_t second;
};

ValueCodec* stringListCodec();   // std::vector<std::string>
ValueCodec* u32ListCodec();      // std::vector<uint32_t>
ValueCodec* stringCodec();       // std::string
ValueCodec* u32PairCodec();      // U32Pair: the pair form, 10 bytes
ValueCodec* u32PairListCodec();  // std::vector<U32Pair>: 8 bytes per item
ValueCodec* fixedSizeCodec(size_t size);   // plain bytes, read only when exactly size long

// A structure of two members (three: the second part is again a pair), in the
// pair form: 2-byte little-endian length of the first part, the first part,
// then the second part up to the end.
Ref<ValueCodec> pairCodec(ValueCodec* first, size_t firstOffset, ValueCodec* second, size_t secondOffset);
Ref<ValueCodec> pairCodec(ValueCodec* first, size_t firstOffset, ValueCodec* second, size_t secondOffset,
                          ValueCodec* third, size_t thirdOffset);

// The pair form on its own, for codecs and tests.
std::string pairValue(std::string_view first, std::string_view second);
void splitPair(std::string_view bytes, std::string_view& first, std::string_view& second);
