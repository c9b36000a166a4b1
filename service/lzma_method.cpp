#include "service/lzma_method.h"

#include <cstdlib>

#include <LzmaEnc.h>
extern "C" {
#include <LzmaDec.h>
}

namespace {

constexpr uint32_t kDictionarySize = kMaxStreamLength;
constexpr size_t kEncoderSlack = 32;

void* allocate(void*, size_t size) { return std::malloc(size); }
void release(void*, void* address) { std::free(address); }
ISzAlloc gAllocator = {allocate, release};

// Every property is fixed: the devices' decoder and the delta's common prefix
// both depend on the encoder writing exactly these bytes.
CLzmaEncProps encoderProperties() {
  CLzmaEncProps p;
  LzmaEncProps_Init(&p);
  p.level = 9;
  p.dictSize = kDictionarySize;
  p.lc = 4;
  p.lp = 0;
  p.pb = 0;
  p.algo = 1;  // normal, not fast
  p.fb = 273;
  p.btMode = 1;
  p.numHashBytes = 3;
  p.mc = 524288;
  p.writeEndMark = 0;
  p.numThreads = 1;
  return p;
}

// The five-byte properties the decoder wants: (pb * 5 + lp) * 9 + lc, then the
// dictionary size little-endian.
constexpr Byte kDecoderProperties[LZMA_PROPS_SIZE] = {
    (0 * 5 + 0) * 9 + 4, Byte(kDictionarySize), Byte(kDictionarySize >> 8), Byte(kDictionarySize >> 16),
    Byte(kDictionarySize >> 24)};

bool compress(Bytes& output, ByteReader& input) {
  ByteSpan source = input.rest();
  CLzmaEncProps props = encoderProperties();
  size_t start = output.size();
  SizeT produced = source.size() + kEncoderSlack;
  output.resize(start + produced);
  Byte header[LZMA_PROPS_SIZE];
  SizeT headerSize = sizeof header;
  SRes result = LzmaEncode(output.data() + start, &produced, source.data(), source.size(), &props, header,
                           &headerSize, 0, nullptr, &gAllocator, &gAllocator);
  if (result != SZ_OK) {
    output.resize(start);
    return false;
  }
  output.resize(start + produced);
  input.skip(source.size());
  return true;
}

bool decompress(Bytes& output, ByteReader& input, uint32_t length) {
  if (length > kDictionarySize) return false;
  ByteSpan source = input.rest();
  size_t start = output.size();
  output.resize(start + length);
  SizeT produced = length;
  SizeT consumed = source.size();
  ELzmaStatus status;
  SRes result = LzmaDecode(output.data() + start, &produced, source.data(), &consumed, kDecoderProperties,
                           LZMA_PROPS_SIZE, LZMA_FINISH_END, &status, &gAllocator);
  // Bytes after the end are damage, not a second stream.
  if (result != SZ_OK || status != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK || produced != length ||
      consumed != source.size()) {
    output.resize(start);
    return false;
  }
  input.skip(consumed);
  return true;
}

}  // namespace

bool lzmaMethod(Bytes& output, ByteReader& input, bool compressing, uint32_t length) {
  return compressing ? compress(output, input) : decompress(output, input, length);
}
