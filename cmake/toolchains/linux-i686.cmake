# Linux x86 (32 bits) with Debian's g++-multilib, on a 64-bit Debian machine.
#   cmake -S . -B build-x86 -G Ninja --toolchain cmake/toolchains/linux-i686.cmake
# The same code generation as the Windows x86 module: 32-bit pointers and the
# 32-bit struct layout rules, float arithmetic in SSE2 registers. Tests and
# tools run under user-mode emulation (qemu-i386), which starts 32-bit Linux
# programs on a kernel that cannot start them itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# Float arithmetic in SSE2 registers: the x87 unit's excess precision would
# change results (the random generator's bits among them) against the other
# targets. The flags also go to every link.
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")

# Debian has no 32-bit builds of the media libraries installed beside the
# 64-bit ones without the i386 architecture: the host goes without its media
# and panel layers and reads TIFF with its own baseline reader, as on Windows.
set(KURVO_WITH_MEDIA OFF CACHE BOOL "Build the media layer, the panel and the scene commands")
set(KURVO_USE_LIBTIFF OFF CACHE BOOL "Read TIFF bitmaps with libtiff")

# 32-bit programs run through qemu-i386, which takes its ELF interpreter and
# libraries from the machine's own root (Debian's multilib puts them there).
find_program(KURVO_QEMU_I386 NAMES qemu-i386 qemu-i386-static)
if(KURVO_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KURVO_QEMU_I386} -L /)
endif()
