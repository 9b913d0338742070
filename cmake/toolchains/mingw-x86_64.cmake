# Windows x64 (Kurvo2.cdl64) with Debian's x86_64-w64-mingw32 cross compiler.
#   cmake -S . -B build-win64 -G Ninja --toolchain cmake/toolchains/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KURVO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests and tools run under Wine, in a prefix of the build's own.
find_program(KURVO_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KURVO_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${KURVO_WINE64})
endif()
