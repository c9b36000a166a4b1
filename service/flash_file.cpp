#include <cstdio>
#include <memory>

#include "app/files.h"
#include "base/text.h"
#include "service/flash.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

// The whole file, which must still hold exactly size bytes.
bool readWhole(const std::string& path, Bytes& data, size_t size) {
  std::unique_ptr<FILE, FileCloser> file(_wfopen(toWide(path).c_str(), L"rb"));
  if (!file) return false;
  data.resize(size);
  if (std::fread(data.data(), 1, size, file.get()) != size) return false;
  // A file that grew since its size was taken would be sent cut short.
  return std::fgetc(file.get()) == EOF;
}

}  // namespace

Bytes scriptStream(const std::string& path) {
  int32_t size = fileSize(path);
  if (size < 0 || size > kMaxScriptFileSize) return {};
  Bytes data;
  if (!readWhole(path, data, size_t(size))) return {};
  Bytes stream(data.size() + kStreamSlack);
  int32_t length = compressScript(stream.data(), stream.size(), data.data(), data.size());
  if (length <= 0) return {};
  stream.resize(size_t(length));
  return stream;
}

Bytes flashData(const std::string& path) { return flashDataFromStream(scriptStream(path)); }
