#include "app/files.h"

#include <windows.h>

#include "base/log.h"
#include "base/text.h"

int32_t fileSize(const std::string& path) {
  HANDLE file = CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  DWORD size = GetFileSize(file, nullptr);
  CloseHandle(file);
  return int32_t(size);
}
