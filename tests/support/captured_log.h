#pragma once
// Collects nv::log while it lives, with no Windows dependency, so that tests
// of pure code can check log lines in the native build as well.

#include <string>
#include <string_view>

#include "base/log.h"

namespace test {

class CapturedLog {
public:
  CapturedLog() { nv::log.setSink(&append, &text_); }
  ~CapturedLog() { nv::log.setSink(nullptr, nullptr); }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  const std::string& text() {
    nv::log.flush();
    return text_;
  }
  bool contains(std::string_view needle) { return text().find(needle) != std::string::npos; }
  void clear() {
    nv::log.flush();
    text_.clear();
  }

private:
  static void append(std::string_view text, void* context) { static_cast<std::string*>(context)->append(text); }
  std::string text_;
};

}  // namespace test
