#pragma once
// The two text channels every module reports through, and the assertion.
//
//   nv::log << "UDP: bind: " << err << nv::endl;
//   nv::debugLog << "om fe1" << nv::endl;       // also kept as crash history
//   NV_ASSERT(count < limit);                   // never returns when false
//
// The log has no levels: severity is a prefix of the text ("ERROR: ", "BUG: ").

#include <cstdint>
#include <string>
#include <string_view>

namespace nv {

enum class LogManip { endl, hex, dec };
inline constexpr LogManip endl = LogManip::endl;
inline constexpr LogManip hex = LogManip::hex;
inline constexpr LogManip dec = LogManip::dec;

// Base of both streams: a small buffer, number formatting, and a flush hook.
class LogStream {
public:
  LogStream& operator<<(std::string_view text);
  LogStream& operator<<(const char* text) { return *this << std::string_view(text ? text : "(null)"); }
  LogStream& operator<<(const std::string& text) { return *this << std::string_view(text); }
  LogStream& operator<<(char c) { put(c); return *this; }
  LogStream& operator<<(long long n);
  LogStream& operator<<(unsigned long long n);
  LogStream& operator<<(int n) { return *this << (long long)n; }
  LogStream& operator<<(long n) { return *this << (long long)n; }
  LogStream& operator<<(unsigned n) { return *this << (unsigned long long)n; }
  LogStream& operator<<(unsigned long n) { return *this << (unsigned long long)n; }
  LogStream& operator<<(const void* p) { return *this << (unsigned long long)reinterpret_cast<uintptr_t>(p); }
  LogStream& operator<<(LogManip m);

protected:
  static constexpr size_t kBufferSize = 255;
  virtual void put(char c) = 0;
  virtual void lineEnd() = 0;
  bool hex_ = false;
};

// The process-wide log: standard output, written out per line or per full buffer.
class MainLog : public LogStream {
public:
  // Where finished text goes; standard output unless a test captures it.
  using Sink = void (*)(std::string_view text, void* context);
  void setSink(Sink sink, void* context);
  void flush();

protected:
  void put(char c) override;
  void lineEnd() override;

private:
  char buffer_[kBufferSize];
  size_t used_ = 0;
  Sink sink_ = nullptr;
  void* sinkContext_ = nullptr;
};

// Lines prefixed "DEBUG: " in the main log; the last 200 bytes are kept for
// the crash report. Discards everything until enable() gives it its buffer.
class DebugLog : public LogStream {
public:
  static constexpr size_t kHistorySize = 200;
  void enable() { enabled_ = true; }
  const std::string& history() const { return history_; }

protected:
  void put(char c) override;
  void lineEnd() override;

private:
  void flushLine();
  bool enabled_ = false;
  char buffer_[kBufferSize + 1];
  size_t used_ = 0;
  std::string history_;
};

extern MainLog log;
extern DebugLog debugLog;

inline constexpr const char* kVersion = "0.1";

// "BUG in vosk version 0.1: ASSERT <expr> failed in <function> at <file>:<line>"
std::string assertionLine(const char* expression, const char* function, const char* file, int line);

// Writes the assertion line and ends the process through the crash handler.
[[noreturn]] void assertFailed(const char* expression, const char* function, const char* file, int line);

// The crash handler plugs in here; until it does, a failed assertion ends the
// process with exit code 3 once its line is written.
using AssertionHandler = void (*)();
void setAssertionHandler(AssertionHandler handler);

}  // namespace nv

#define NV_ASSERT(cond) \
  ((cond) ? (void)0 : ::nv::assertFailed(#cond, __PRETTY_FUNCTION__, __FILE__, __LINE__))
