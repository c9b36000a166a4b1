#include "base/log.h"

#include <gtest/gtest.h>

#include <string>

#include "support/captured_log.h"

namespace {

class LogTest : public ::testing::Test {
protected:
  std::string text() { return out_.text(); }
  test::CapturedLog out_;
};

TEST_F(LogTest, NumbersDecimalUntilSwitchedToHex) {
  nv::log << "a " << -5 << " " << 4294967295u << nv::hex << " " << 255u << nv::dec << " " << 10 << nv::endl;
  EXPECT_EQ(text(), "a -5 4294967295 ff 10\n");
}

TEST_F(LogTest, LongTextIsWrittenOutWholeThroughTheSmallBuffer) {
  std::string line(1000, 'x');
  nv::log << line << nv::endl;
  EXPECT_EQ(text(), line + "\n");
}

TEST_F(LogTest, DebugLinesBeforeTheBufferIsGivenAreLost) {
  nv::DebugLog debug;
  debug << "too early" << nv::endl;
  EXPECT_EQ(debug.history(), "");
  EXPECT_EQ(text(), "");
}

TEST_F(LogTest, HistoryKeepsExactlyTheLast200Bytes) {
  nv::DebugLog debug;
  debug.enable();
  std::string a(150, 'a'), b(150, 'b'), c(150, 'c');
  debug << a << nv::endl << b << nv::endl << c << nv::endl;
  // The front is cut inside the second line.
  EXPECT_EQ(debug.history(), std::string(48, 'b') + "\n" + c + "\n");
  EXPECT_EQ(text(), "DEBUG: " + a + "\nDEBUG: " + b + "\nDEBUG: " + c + "\n");
}

TEST_F(LogTest, LongDebugLineBecomesLinesOf256AndTheRest) {
  nv::DebugLog debug;
  debug.enable();
  debug << std::string(300, 'z') << nv::endl;
  EXPECT_EQ(text(), "DEBUG: " + std::string(256, 'z') + "\nDEBUG: " + std::string(44, 'z') + "\n");
}

TEST(Assertion, LineNamesVersionExpressionFunctionFileAndLine) {
  EXPECT_EQ(nv::assertionLine("newHandles.size() < MAXIMUM_WAIT_OBJECTS", "void HandleManager::add(void*, EventListener*)",
                              "gui/handle.cpp", 11),
            "BUG in vosk version 0.1: ASSERT newHandles.size() < MAXIMUM_WAIT_OBJECTS failed in "
            "void HandleManager::add(void*, EventListener*) at gui/handle.cpp:11");
}

TEST(AssertionDeathTest, FailedAssertionEndsTheProcess) {
  EXPECT_EXIT(NV_ASSERT(1 + 1 == 3), ::testing::ExitedWithCode(3), "");
}

}  // namespace
