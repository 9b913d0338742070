# Shared part of the Windows cross toolchains (Debian's mingw-w64 packages).
# Expects KURVO_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR from the including file.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix thread model: the host uses std::mutex, which gcc 12's win32
# model does not provide.
set(CMAKE_C_COMPILER ${KURVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KURVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KURVO_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${KURVO_MINGW_TRIPLET}-objdump)

# Look for libraries and packages only in the cross sysroot; never in
# /usr/include or /usr/lib, whose glibc headers would poison the build.
set(CMAKE_FIND_ROOT_PATH /usr/${KURVO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ run-time, libgcc and winpthread linked in statically: the module
# and the programs then need only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
