#include "service/flash.h"

#include <algorithm>
#include <cstring>

int32_t compressScript(uint8_t* destination, size_t destinationSize, const uint8_t* data, size_t size) {
  // The re-read header or the decoder's dictionary would refuse these after
  // the encoding; refusing first spares seconds of it on the GUI thread.
  const Bytes* base = baseText(1);
  if (!base || size > kMaxStreamLength - base->size()) return -1;
  StreamHeader header;
  header.isDelta = true;
  header.baseIndex = 1;
  header.length = uint32_t(size);
  Bytes stream;
  ByteReader input(data, size);
  if (!encodeStream(stream, input, header)) return -1;

  ByteReader check(stream);
  StreamHeader read;
  Bytes decoded;
  if (!readStreamHeader(read, check) || !decodeStream(decoded, check, read)) return -1;
  if (decoded.size() != size || stream.size() > destinationSize || stream.size() > INT32_MAX) return -1;
  if (size && std::memcmp(decoded.data(), data, size) != 0) return -1;
  std::copy(stream.begin(), stream.end(), destination);
  return int32_t(stream.size());
}

Bytes flashDataFromStream(const Bytes& stream) {
  if (stream.empty()) return {};
  Bytes flash(kFlashPrefix, kFlashPrefix + sizeof kFlashPrefix - 1);
  flash.insert(flash.end(), stream.begin(), stream.end());
  return flash;
}
