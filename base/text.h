#pragma once
// UTF-8 inside the system, UTF-16 at every Win32 call. A failed conversion
// gives an empty string and a log line naming the call and the error code.

#include <string>
#include <string_view>

std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view utf16);
