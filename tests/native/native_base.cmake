list(APPEND NATIVE_TESTS ${CMAKE_SOURCE_DIR}/tests/base/alloc_test.cpp ${CMAKE_SOURCE_DIR}/tests/base/log_test.cpp)
