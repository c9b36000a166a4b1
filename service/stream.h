#pragma once
// The compressed-stream container: a 6-byte header and a payload, either
// self-contained (a method's data) or a delta against a built-in base stream.
//
//   StreamHeader h;
//   ByteReader in(stream);
//   if (readStreamHeader(h, in) && decodeStream(text, in, h)) ...
//
// Pure code: no Windows header, built natively under the sanitizers as well.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

// Reads bytes it does not own and never past their end.
class ByteReader {
public:
  ByteReader() = default;
  explicit ByteReader(ByteSpan bytes) : data_(bytes.data()), end_(bytes.size()) {}
  ByteReader(const uint8_t* data, size_t size) : data_(data), end_(size) {}

  size_t remaining() const { return end_ - pos_; }
  ByteSpan rest() const { return {data_ + pos_, remaining()}; }
  // False, and nothing consumed, when fewer than count bytes remain.
  bool skip(size_t count);

private:
  const uint8_t* data_ = nullptr;
  size_t pos_ = 0;
  size_t end_ = 0;
};

inline constexpr size_t kStreamHeaderSize = 6;
inline constexpr uint32_t kMaxStreamLength = 524288;       // also the decoder's dictionary
inline constexpr uint32_t kMaxStreamLengthField = 0xFFFFFF;  // what 24 bits can state
inline constexpr uint32_t kMaxCut = 63;
inline constexpr uint16_t kMaxMethodOrIndex = 0x7FFF;

enum StreamMethod : uint16_t { kMethodStored = 0, kMethodLzma = 1 };

struct StreamHeader {
  bool isDelta = false;
  uint32_t length = 0;     // bytes the stream decodes to
  uint16_t method = 0;     // self-contained streams
  uint8_t cut = 0;         // delta streams: base stream bytes to drop; 6 bits once read
  uint16_t baseIndex = 0;  // delta streams
};

// Appends the six header bytes. Fails, appending nothing, for a length that
// 24 bits cannot hold or a method or base index over 15 bits.
bool writeStreamHeader(Bytes& output, StreamHeader& header);
// Fails, consuming nothing, on fewer than six bytes or a length over kMaxStreamLength.
bool readStreamHeader(StreamHeader& header, ByteReader& input);

// Appends the header and the encoding of all of the input's remaining bytes.
// A delta header gets its cut from the encoding; its length is the input's.
bool encodeStream(Bytes& output, ByteReader& input, const StreamHeader& header);
// Appends exactly header.length decoded bytes and consumes the payload; on
// failure the output is left as it was.
bool decodeStream(Bytes& output, ByteReader& input, const StreamHeader& header);

// The decoded text of base stream index, decoded once per process and kept
// (delta encoding needs it on every call); null when it does not decode.
const Bytes* baseText(unsigned index);
