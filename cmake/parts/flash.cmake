# The base stream is embedded in vosk_core; build/win/generated/base_stream.bin
# holds the same bytes, which tools/base_stream.bin must equal (tested).
include(${CMAKE_SOURCE_DIR}/cmake/base_stream.cmake)
vosk_base_stream(base_stream_header)
target_sources(vosk_core PRIVATE ${base_stream_header})
