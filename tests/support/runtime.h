#pragma once
// What every Windows test executable shares: the process-wide runtime (Winsock,
// the hidden message window, the timer service) set up once in main, a way to
// capture log lines, and a bounded pump of the real main loop.

#include <functional>
#include <string>

#include "support/captured_log.h"

namespace test {

using LogCapture = CapturedLog;

// Turns the real main loop until done() holds or timeoutMs passes; true when done.
// Keeps a wake-up timer pending so a quiet loop still checks the deadline.
bool pumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 5000);

}  // namespace test
