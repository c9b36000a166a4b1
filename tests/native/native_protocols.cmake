# BOOTP and TFTP wire forms: crafted-packet tables and the random-mutation loop.
list(APPEND NATIVE_SOURCES
  ${CMAKE_SOURCE_DIR}/service/bootp_packet.cpp
  ${CMAKE_SOURCE_DIR}/service/tftp_packet.cpp)
list(APPEND NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/service/bootp_packet_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/service/tftp_packet_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/service/protocol_mutation_test.cpp)
