# Windows x86 (Kurvo2.cdl) with Debian's i686-w64-mingw32 cross compiler.
#   cmake -S . -B build-win32 -G Ninja --toolchain cmake/toolchains/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KURVO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Float arithmetic in SSE2 registers: the x87 unit's excess precision would
# change results (the random generator's bits among them) against the other
# targets.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
