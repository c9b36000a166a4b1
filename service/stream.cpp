#include "service/stream.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "service/base_stream.h"
#include "service/lzma_method.h"

bool ByteReader::skip(size_t count) {
  if (count > remaining()) return false;
  pos_ += count;
  return true;
}

bool writeStreamHeader(Bytes& output, StreamHeader& header) {
  uint16_t value = header.isDelta ? header.baseIndex : header.method;
  if (value > kMaxMethodOrIndex || header.length > kMaxStreamLengthField) return false;
  uint16_t flags = header.isDelta ? uint16_t(~value) : value;
  output.push_back(uint8_t(flags >> 8));
  output.push_back(uint8_t(flags));
  output.push_back(header.cut);
  header.cut &= kMaxCut;
  output.push_back(uint8_t(header.length >> 16));
  output.push_back(uint8_t(header.length >> 8));
  output.push_back(uint8_t(header.length));
  return true;
}

bool readStreamHeader(StreamHeader& header, ByteReader& input) {
  ByteSpan b = input.rest();
  if (b.size() < kStreamHeaderSize) return false;
  uint16_t flags = uint16_t(b[0] << 8 | b[1]);
  uint32_t length = uint32_t(b[3]) << 16 | uint32_t(b[4]) << 8 | b[5];
  if (length > kMaxStreamLength) return false;
  header = StreamHeader{};
  header.isDelta = (flags & 0x8000) != 0;
  if (header.isDelta)
    header.baseIndex = uint16_t(~flags) & kMaxMethodOrIndex;
  else
    header.method = flags & kMaxMethodOrIndex;
  header.cut = b[2] & kMaxCut;
  header.length = length;
  input.skip(kStreamHeaderSize);
  return true;
}

namespace {

// The payload is the data itself. A stated length that disagrees with it is
// a damaged stream: refusing it keeps the output at the stated length.
bool storedMethod(Bytes& output, ByteReader& input, bool compress, uint32_t length) {
  ByteSpan rest = input.rest();
  if (!compress && rest.size() != length) return false;
  output.insert(output.end(), rest.begin(), rest.end());
  input.skip(rest.size());
  return true;
}

using MethodFunction = bool (*)(Bytes& output, ByteReader& input, bool compress, uint32_t length);

struct MethodEntry {
  uint16_t id;
  MethodFunction function;
};

constexpr MethodEntry kMethods[] = {
    {kMethodStored, storedMethod},
    {kMethodLzma, lzmaMethod},
};

MethodFunction findMethod(uint16_t id) {
  for (const MethodEntry& m : kMethods)
    if (m.id == id) return m.function;
  return nullptr;
}

// How many leading bytes a and b share.
size_t commonPrefix(ByteSpan a, ByteSpan b) {
  size_t n = std::min(a.size(), b.size());
  return size_t(std::mismatch(a.begin(), a.begin() + std::ptrdiff_t(n), b.begin()).first - a.begin());
}

bool encodeDelta(Bytes& output, ByteReader& input, const StreamHeader& header) {
  ByteSpan script = input.rest();
  ByteSpan base = loadBaseStream(header.baseIndex);
  const Bytes* text = baseText(header.baseIndex);
  ByteReader baseInput(base);
  StreamHeader baseHeader;
  if (script.size() > kMaxStreamLengthField || !text || !readStreamHeader(baseHeader, baseInput)) return false;

  // The encoder writes the same bytes for the same leading text, so base text
  // plus script reproduces the base stream up to its final few bytes.
  Bytes joined(*text);
  joined.insert(joined.end(), script.begin(), script.end());
  Bytes work;
  ByteReader joinedInput(joined);
  if (!encodeStream(work, joinedInput, baseHeader)) return false;
  size_t common = commonPrefix(work, base);
  size_t cut = base.size() - std::min(common, base.size());
  // Readers see only six bits of the cut; a longer one would decode to garbage.
  if (cut > kMaxCut) return false;

  StreamHeader delta = header;
  delta.cut = uint8_t(cut);
  delta.length = uint32_t(script.size());
  if (!writeStreamHeader(output, delta)) return false;
  output.insert(output.end(), work.begin() + std::ptrdiff_t(common), work.end());
  input.skip(script.size());
  return true;
}

bool decodeDelta(Bytes& output, ByteReader& input, const StreamHeader& header) {
  ByteReader baseInput(loadBaseStream(header.baseIndex));
  StreamHeader baseHeader;
  if (!readStreamHeader(baseHeader, baseInput)) return false;
  ByteSpan basePayload = baseInput.rest();
  if (header.cut > basePayload.size()) return false;
  // The decoder's dictionary holds base and script together; refusing here
  // keeps every write inside it.
  if (uint64_t(baseHeader.length) + header.length > kMaxStreamLength) return false;

  Bytes joined(basePayload.begin(), basePayload.end() - header.cut);
  ByteSpan tail = input.rest();
  joined.insert(joined.end(), tail.begin(), tail.end());
  StreamHeader whole = baseHeader;
  whole.length = baseHeader.length + header.length;
  Bytes decoded;
  ByteReader joinedInput(joined);
  if (!decodeStream(decoded, joinedInput, whole)) return false;
  output.insert(output.end(), decoded.end() - std::ptrdiff_t(header.length), decoded.end());
  input.skip(tail.size());
  return true;
}

}  // namespace

bool encodeStream(Bytes& output, ByteReader& input, const StreamHeader& header) {
  if (header.isDelta) return encodeDelta(output, input, header);
  MethodFunction method = findMethod(header.method);
  if (!method) return false;
  size_t start = output.size();
  StreamHeader written = header;
  if (!writeStreamHeader(output, written)) return false;
  if (method(output, input, true, header.length)) return true;
  output.resize(start);
  return false;
}

bool decodeStream(Bytes& output, ByteReader& input, const StreamHeader& header) {
  if (header.length > kMaxStreamLength) return false;
  if (header.isDelta) return decodeDelta(output, input, header);
  MethodFunction method = findMethod(header.method);
  if (!method) return false;
  size_t start = output.size();
  if (method(output, input, false, header.length) && output.size() - start == header.length) return true;
  output.resize(start);
  return false;
}

const Bytes* baseText(unsigned index) {
  // Compression runs on the GUI thread; the lock only keeps a stray caller safe.
  static std::mutex lock;
  static std::map<unsigned, Bytes> texts;
  std::lock_guard<std::mutex> guard(lock);
  auto found = texts.find(index);
  if (found != texts.end()) return &found->second;
  ByteReader input(loadBaseStream(index));
  StreamHeader header;
  Bytes text;
  if (!readStreamHeader(header, input) || !decodeStream(text, input, header)) return nullptr;
  return &texts.emplace(index, std::move(text)).first->second;
}
