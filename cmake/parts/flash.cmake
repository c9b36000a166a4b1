# The built-in base stream, embedded in vosk_core. The same bytes are written to
# build/win/generated/base_stream.bin, and tools/base_stream.bin (the devices'
# copy, used by the device simulator and tools/flashcheck.py) must equal them.
# A change of res/base_script.txt or of the encoder makes a new base stream and
# tests/e2e/test_flash_exact.py fails until tools/base_stream.bin and its pinned
# SHA-256 are renewed on purpose: a new base is a new contract with the devices.
include(${CMAKE_SOURCE_DIR}/cmake/base_stream.cmake)
vosk_base_stream(base_stream_header)
target_sources(vosk_core PRIVATE ${base_stream_header})
