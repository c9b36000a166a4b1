#include "app/files.h"

#include <windows.h>

#include "base/log.h"
#include "base/text.h"

namespace {

std::wstring wide(const std::string& path) { return toWide(path); }

std::string withBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

}  // namespace

std::string tempPath() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) {
    nv::log << "GetTempPath: " << unsigned(GetLastError()) << nv::endl;
    return std::string();
  }
  return withBackslash(toUtf8(std::wstring_view(buffer, n)));
}

std::string tempFileName(const std::string& directory) {
  std::string dir = directory.empty() ? tempPath() : directory;
  wchar_t buffer[MAX_PATH + 1];
  if (dir.empty() || !GetTempFileNameW(wide(dir).c_str(), L"vos", 0, buffer)) {
    nv::log << "temp file name in " << dir << ": " << unsigned(GetLastError()) << nv::endl;
    return std::string();
  }
  return toUtf8(buffer);
}

int32_t fileSize(const std::string& path) {
  HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  DWORD size = GetFileSize(file, nullptr);
  CloseHandle(file);
  return int32_t(size);
}

bool fileExists(const std::string& path) {
  return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesW(wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool createDirectory(const std::string& path) {
  if (CreateDirectoryW(wide(path).c_str(), nullptr)) return true;
  DWORD error = GetLastError();
  if (isDirectory(path)) return true;
  nv::log << "create directory " << path << ": " << unsigned(error) << nv::endl;
  return false;
}

bool deleteFile(const std::string& path) {
  if (!fileExists(path)) return true;
  if (DeleteFileW(wide(path).c_str())) return true;
  nv::log << "delete file " << path << ": " << unsigned(GetLastError()) << nv::endl;
  return false;
}

bool copyFile(const std::string& source, const std::string& target) {
  if (CopyFileW(wide(source).c_str(), wide(target).c_str(), FALSE)) return true;
  nv::log << "copy file: " << unsigned(GetLastError()) << nv::endl;
  return false;
}

bool moveFile(const std::string& source, const std::string& target) {
  DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(wide(source).c_str(), wide(target).c_str(), flags)) return true;
  nv::log << "move file: " << unsigned(GetLastError()) << nv::endl;
  if (!copyTree(source, target)) return false;
  return removeTree(source);
}

bool copyTree(const std::string& source, const std::string& target) {
  if (!isDirectory(source)) return copyFile(source, target);
  if (!createDirectory(target)) return false;
  std::string from = withBackslash(source), to = withBackslash(target);
  bool ok = true;
  Ref<DirectoryListing> listing = makeRef<DirectoryListing>(source);
  for (std::string name = listing->next(); !name.empty(); name = listing->next()) {
    if (!copyTree(from + name, to + name)) ok = false;
  }
  return ok;
}

bool removeTree(const std::string& path) {
  if (!fileExists(path)) return true;
  return isDirectory(path) ? removeDirectory(path) : deleteFile(path);
}

bool removeDirectory(const std::string& path) {
  if (!fileExists(path)) return true;
  clearDirectory(path);
  if (RemoveDirectoryW(wide(path).c_str())) return true;
  nv::log << "remove directory " << path << ": " << unsigned(GetLastError()) << nv::endl;
  return false;
}

bool clearDirectory(const std::string& path) {
  if (path.empty()) return false;
  std::string dir = withBackslash(path);
  bool ok = true;
  Ref<DirectoryListing> listing = makeRef<DirectoryListing>(dir);
  for (std::string name = listing->next(); !name.empty(); name = listing->next()) {
    std::string entry = dir + name;
    if (!(isDirectory(entry) ? removeDirectory(entry) : deleteFile(entry))) ok = false;
  }
  return ok;
}

std::string parentDirectory(const std::string& path) {
  std::string_view p(path);
  if (!p.empty() && p.back() == '\\') p.remove_suffix(1);
  size_t slash = p.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(p.substr(0, slash + 1));
}

struct DirectoryListing::Record {
  WIN32_FIND_DATAW data;
};

DirectoryListing::DirectoryListing(const std::string& directory) : record_(new Record) {
  std::string pattern = withBackslash(directory) + "*";
  search_ = FindFirstFileW(wide(pattern).c_str(), &record_->data);
}

DirectoryListing::~DirectoryListing() {
  if (search_ != INVALID_HANDLE_VALUE) FindClose(search_);
  delete record_;
}

std::string DirectoryListing::next() {
  while (search_ != INVALID_HANDLE_VALUE) {
    std::wstring name = record_->data.cFileName;
    if (!FindNextFileW(search_, &record_->data)) {
      FindClose(search_);
      search_ = INVALID_HANDLE_VALUE;
    }
    if (name != L"." && name != L"..") return toUtf8(name);
  }
  return std::string();
}
