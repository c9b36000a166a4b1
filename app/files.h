#pragma once
// File-system helpers over the wide-character Win32 API. Paths are UTF-8 in
// and out; failures are a result plus a log line with the Win32 error code.

#include <cstdint>
#include <string>

#include "base/ibase.h"

std::string tempPath();                                   // ends in a backslash
std::string tempFileName(const std::string& directory);   // "" when it cannot be made
int32_t fileSize(const std::string& path);                // -1 when it cannot be opened
bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
bool createDirectory(const std::string& path);
bool deleteFile(const std::string& path);
bool copyFile(const std::string& source, const std::string& target);
bool moveFile(const std::string& source, const std::string& target);
bool copyTree(const std::string& source, const std::string& target);
bool removeTree(const std::string& path);
bool removeDirectory(const std::string& path);
bool clearDirectory(const std::string& path);
std::string parentDirectory(const std::string& path);    // pure: no file-system access

// Walks the names of one directory ("." and ".." skipped).
//   Ref<DirectoryListing> dir = makeRef<DirectoryListing>(path);
//   for (std::string name = dir->next(); !name.empty(); name = dir->next()) ...
class DirectoryListing : public RefCounted<> {
public:
  explicit DirectoryListing(const std::string& directory);
  ~DirectoryListing() override;
  virtual std::string next();

private:
  void* search_;            // owned search handle; INVALID_HANDLE_VALUE when the walk is over
  struct Record;
  Record* record_;          // owned: the entry to be returned next
};
