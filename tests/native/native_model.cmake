# The listener list, the clock and the value convertors: pure code.
list(APPEND NATIVE_SOURCES
  ${CMAKE_SOURCE_DIR}/base/listeners.cpp
  ${CMAKE_SOURCE_DIR}/base/clock.cpp
  ${CMAKE_SOURCE_DIR}/common/convertor.cpp)
list(APPEND NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/base/listeners_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/common/convertor_test.cpp)
