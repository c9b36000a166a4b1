#include "base/text.h"

#include <windows.h>

#include "base/log.h"

std::wstring toWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  if (n <= 0) {
    nv::log << "MultiByteToWideChar1: " << unsigned(GetLastError()) << nv::endl;
    return {};
  }
  std::wstring out(size_t(n), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n) != n) {
    nv::log << "MultiByteToWideChar2: " << unsigned(GetLastError()) << nv::endl;
    return {};
  }
  return out;
}

std::string toUtf8(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) {
    nv::log << "WideCharToMultiByte1: " << unsigned(GetLastError()) << nv::endl;
    return {};
  }
  std::string out(size_t(n), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), out.data(), n, nullptr, nullptr) != n) {
    nv::log << "WideCharToMultiByte2: " << unsigned(GetLastError()) << nv::endl;
    return {};
  }
  return out;
}
