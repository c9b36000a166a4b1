# Message records, their byte forms and the view-state records: pure code,
# fuzzed and damaged here under the sanitizers as well as under Wine.
list(APPEND NATIVE_SOURCES
  ${CMAKE_SOURCE_DIR}/common/message.cpp
  ${CMAKE_SOURCE_DIR}/common/message_records.cpp
  ${CMAKE_SOURCE_DIR}/common/record_stream.cpp
  ${CMAKE_SOURCE_DIR}/common/codec.cpp
  ${CMAKE_SOURCE_DIR}/gui/viewstate.cpp)
list(APPEND NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/common/message_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/common/codec_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/gui/viewstate_test.cpp)
