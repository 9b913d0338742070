# Mac OS X x86-64 (Kurvo2.dylib), built on a Mac with Apple's compiler; also
# selects x86-64 on an arm64 Mac. Untested on the Linux build machines.
#   cmake -S . -B build-mac -G Ninja --toolchain cmake/toolchains/macos-x86_64.cmake
# The build then requires host interface 10500 (KURVO_MIN_HOST_VERSION).
# libtiff, Assimp, libpng, FreeType, nlohmann-json, CLI11 and GoogleTest come
# from the package manager of the Mac (e.g. Homebrew); without them configure
# with -DKURVO_WITH_MEDIA=OFF -DKURVO_USE_LIBTIFF=OFF, as the Windows builds do.
set(CMAKE_OSX_ARCHITECTURES x86_64 CACHE STRING "Mac OS X architecture")
set(CMAKE_OSX_DEPLOYMENT_TARGET 10.15 CACHE STRING "Oldest Mac OS X release to run on")
