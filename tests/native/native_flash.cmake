# The stream container, its LZMA method and compressScript under the sanitizers,
# with the base stream generated for this tree.
include(${CMAKE_SOURCE_DIR}/cmake/base_stream.cmake)
vosk_base_stream(base_stream_header)
include_directories(${CMAKE_BINARY_DIR}/generated)
list(APPEND NATIVE_SOURCES
  ${CMAKE_SOURCE_DIR}/service/stream.cpp
  ${CMAKE_SOURCE_DIR}/service/lzma_method.cpp
  ${CMAKE_SOURCE_DIR}/service/base_stream.cpp
  ${CMAKE_SOURCE_DIR}/service/flash.cpp
  ${base_stream_header})
list(APPEND NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/service/stream_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/service/stream_damage_test.cpp)
