#pragma once
// What every Windows test executable shares: the process-wide runtime (Winsock,
// the hidden message window, the timer service) set up once in main, a way to
// capture log lines, and a bounded pump of the real main loop.

#include <functional>
#include <string>

#include "base/log.h"

namespace test {

// Collects everything written to nv::log while it lives.
class LogCapture {
public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  const std::string& text();
  bool contains(const std::string& needle) { return text().find(needle) != std::string::npos; }

private:
  std::string text_;
};

// Turns the real main loop until done() holds or timeoutMs passes; true when done.
// Keeps a wake-up timer pending so a quiet loop still checks the deadline.
bool pumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 5000);

}  // namespace test
