#pragma once
// Test files on the real file system under Wine: a scratch directory with a
// non-ASCII name under the temporary directory, removed when the test ends,
// and whole-file reads and writes by UTF-8 path.

#include <windows.h>

#include <string>

#include "app/files.h"
#include "base/text.h"

namespace test {

inline bool writeBytes(const std::string& path, const std::string& data) {
  HANDLE file = CreateFileW(toWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr) && written == data.size();
  return CloseHandle(file) && ok;
}

// "<missing>" when the file cannot be read.
inline std::string readBytes(const std::string& path) {
  HANDLE file = CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string data(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  if (!data.empty() && (!ReadFile(file, data.data(), DWORD(data.size()), &read, nullptr) || read != data.size()))
    data = "<unreadable>";
  CloseHandle(file);
  return data;
}

class TempDir {
public:
  explicit TempDir(const std::string& name) : path_(tempPath() + name + "-\xc3\xbc\xd1\x8f\xe6\xb5\x8b\\") {
    removeTree(path_);
    CreateDirectoryW(toWide(path_).c_str(), nullptr);
  }
  ~TempDir() { removeTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }   // ends in a backslash
  std::string operator/(const std::string& name) const { return path_ + name; }

private:
  std::string path_;
};

}  // namespace test
