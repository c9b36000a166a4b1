// The record form of a message: what the view-state file is made of.
#include "base/log.h"
#include "common/message.h"
#include "common/record_stream.h"

size_t Message::readRecords(FILE* stream) {
  FileSource source(stream);
  return readRecords(source);
}

size_t Message::writeRecords(FILE* stream) const {
  FileSink sink(stream);
  return writeRecords(sink);
}

size_t Message::readRecords(RecordSource& in) {
  Entries& e = mutableEntries();
  size_t count = 0;
  while (true) {
    if (in.atEnd()) return count;
    uint8_t len[2];
    if (!in.read(len, 2)) {
      if (!in.atEnd()) nv::log << "len read failed" << nv::endl;
      return count;
    }
    size_t recordLen = size_t(len[0]) | size_t(len[1]) << 8;
    if (recordLen == 0) return count + 2;
    uint8_t keyLen;
    if (!in.read(&keyLen, 1)) {
      nv::log << "keyLen read failed" << nv::endl;
      return count;
    }
    if (keyLen > recordLen - 1) {
      nv::log << "bad record - skipping" << nv::endl;
      in.skip(recordLen - 1);
      continue;
    }
    std::string key(keyLen, '\0');
    if (keyLen && !in.read(key.data(), keyLen)) {
      nv::log << "key read failed" << nv::endl;
      return count;
    }
    std::string value(recordLen - keyLen - 1, '\0');
    if (!value.empty() && !in.read(value.data(), value.size())) {
      nv::log << "value read failed" << nv::endl;
      return count;
    }
    // Within one message the first record of a key wins. Files are written
    // in key order, so the end is the usual place and the hint makes it cheap.
    e.try_emplace(e.end(), std::move(key), std::move(value));
    count += recordLen + 2;
  }
}

namespace {

bool writeLe16(RecordSink& out, size_t v) {
  uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  return out.write(b, 2);
}

}  // namespace

size_t Message::writeRecords(RecordSink& out) const {
  size_t total = 0;
  for (const auto& [key, value] : entries()) {
    size_t recordLen = key.size() + value.size() + 1;
    if (key.size() > kMaxKey || recordLen > kMaxRecord) {
      // Its length fields would wrap and make every later record unreadable.
      nv::log << "ERROR: record too large, not written: " << std::string_view(key).substr(0, 40) << ", key "
              << key.size() << " bytes, value " << value.size() << " bytes" << nv::endl;
      continue;
    }
    uint8_t keyLen = uint8_t(key.size());
    if (!writeLe16(out, recordLen) || !out.write(&keyLen, 1)) return 0;
    if (!key.empty() && !out.write(key.data(), key.size())) return 0;
    if (!value.empty() && !out.write(value.data(), value.size())) return 0;
    total += recordLen + 2;
  }
  if (!writeLe16(out, 0)) return 0;
  return total + 2;
}
