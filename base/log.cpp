#include "base/log.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace nv {

MainLog log;
DebugLog debugLog;

namespace {

void writeStdout(std::string_view text, void*) {
#ifdef _WIN32
  DWORD written = 0;
  // Failed writes are ignored: with no console the text simply goes nowhere.
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()), &written, nullptr);
#else
  ssize_t ignored = ::write(1, text.data(), text.size());
  (void)ignored;
#endif
}

AssertionHandler gAssertionHandler = nullptr;

}  // namespace

LogStream& LogStream::operator<<(std::string_view text) {
  for (char c : text) put(c);
  return *this;
}

LogStream& LogStream::operator<<(long long n) {
  using U = unsigned long long;
  if (hex_) return *this << U(n);
  if (n < 0) {
    put('-');
    return *this << (U(0) - U(n));
  }
  return *this << U(n);
}

LogStream& LogStream::operator<<(unsigned long long n) {
  char digits[24];
  int len = std::snprintf(digits, sizeof digits, hex_ ? "%llx" : "%llu", n);
  return *this << std::string_view(digits, size_t(len));
}

LogStream& LogStream::operator<<(LogManip m) {
  switch (m) {
    case LogManip::endl: lineEnd(); break;
    case LogManip::hex: hex_ = true; break;
    case LogManip::dec: hex_ = false; break;
  }
  return *this;
}

void MainLog::setSink(Sink sink, void* context) {
  flush();
  sink_ = sink;
  sinkContext_ = context;
}

void MainLog::put(char c) {
  if (used_ == kBufferSize) flush();
  buffer_[used_++] = c;
}

void MainLog::lineEnd() {
  put('\n');
  flush();
}

void MainLog::flush() {
  if (used_ == 0) return;
  (sink_ ? sink_ : writeStdout)(std::string_view(buffer_, used_), sinkContext_);
  used_ = 0;
}

void DebugLog::put(char c) {
  if (!enabled_) return;
  buffer_[used_++] = c;
  if (used_ > kBufferSize) flushLine();
}

void DebugLog::lineEnd() {
  put('\n');
  if (used_ > 0) flushLine();
}

void DebugLog::flushLine() {
  std::string_view line(buffer_, used_);
  used_ = 0;
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  history_.append(line);
  history_.push_back('\n');
  if (history_.size() > kHistorySize) history_.erase(0, history_.size() - kHistorySize);
  log << "DEBUG: " << line << endl;
}

void setAssertionHandler(AssertionHandler handler) { gAssertionHandler = handler; }

std::string assertionLine(const char* expression, const char* function, const char* file, int line) {
  return std::string("BUG in vosk version ") + kVersion + ": ASSERT " + expression + " failed in " + function +
         " at " + file + ":" + std::to_string(line);
}

void assertFailed(const char* expression, const char* function, const char* file, int line) {
  log << assertionLine(expression, function, file, line) << endl;
  if (gAssertionHandler) gAssertionHandler();
#ifdef _WIN32
  ExitProcess(3);
#else
  std::_Exit(3);
#endif
}

}  // namespace nv
