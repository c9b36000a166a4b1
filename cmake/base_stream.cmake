# The built-in base stream is made at build time from res/base_script.txt by
# tools/make_base_stream, compiled for the build machine (not the target) from
# the same container and LZMA sources as the program. Used by the Windows build
# (cmake/parts/flash.cmake) and the native test build.
#
#   vosk_base_stream(header)   # header: the generated base_stream_data.h

function(vosk_base_stream out_header)
  find_program(VOSK_HOST_CC NAMES gcc cc REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  find_program(VOSK_HOST_CXX NAMES g++ c++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(host ${CMAKE_BINARY_DIR}/host)
  set(generated ${CMAKE_BINARY_DIR}/generated)
  set(src ${CMAKE_SOURCE_DIR})

  set(objects "")
  foreach(name LzFind LzmaEnc LzmaDec)
    add_custom_command(
      OUTPUT ${host}/${name}.o
      COMMAND ${CMAKE_COMMAND} -E make_directory ${host}
      COMMAND ${VOSK_HOST_CC} -O2 -w -D_7ZIP_ST -I${LZMA_SDK_DIR} -c ${LZMA_SDK_DIR}/${name}.c -o ${host}/${name}.o
      DEPENDS ${LZMA_SDK_DIR}/${name}.c
      COMMENT "Compiling ${name}.c for the build machine"
      VERBATIM)
    list(APPEND objects ${host}/${name}.o)
  endforeach()

  set(sources ${src}/tools/make_base_stream.cpp ${src}/service/stream.cpp ${src}/service/lzma_method.cpp)
  set(headers ${src}/service/stream.h ${src}/service/lzma_method.h ${src}/service/base_stream.h)
  add_custom_command(
    OUTPUT ${host}/make_base_stream
    COMMAND ${VOSK_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -D_7ZIP_ST -I${src} -isystem ${LZMA_SDK_DIR}
            ${sources} ${objects} -o ${host}/make_base_stream
    DEPENDS ${sources} ${headers} ${objects}
    COMMENT "Building make_base_stream for the build machine"
    VERBATIM)

  add_custom_command(
    OUTPUT ${generated}/base_stream_data.h ${generated}/base_stream.bin
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
    COMMAND ${host}/make_base_stream ${src}/res/base_script.txt ${generated}/base_stream_data.h
            ${generated}/base_stream.bin
    DEPENDS ${host}/make_base_stream ${src}/res/base_script.txt
    COMMENT "Encoding the base stream"
    VERBATIM)
  set(${out_header} ${generated}/base_stream_data.h PARENT_SCOPE)
endfunction()
