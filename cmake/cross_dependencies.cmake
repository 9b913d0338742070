# Dependencies of a cross build (Windows, Linux x86), taken from the Debian
# packages of the build machine without putting /usr/include on the cross
# compiler's path (for mingw, its glibc headers would be picked up instead of
# the mingw ones) and without the 64-bit package files of the machine:
#  - nlohmann-json and CLI11 are header-only: a build-time include folder
#    holds links to just their header folders, and small package files in the
#    build tree answer find_package with imported targets;
#  - GoogleTest is built from Debian's sources with the cross compiler.

set(_kurvo_cross_include ${CMAKE_BINARY_DIR}/cross-include)
file(MAKE_DIRECTORY ${_kurvo_cross_include})

# Writes <build>/cross-packages/<package>/<package>Config.cmake defining
# <target> with the header folder /usr/include/<folder> linked in.
function(kurvo_header_only_package package target folder)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install the Debian package of ${package}")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${_kurvo_cross_include}/${folder} SYMBOLIC)
  set(dir ${CMAKE_BINARY_DIR}/cross-packages/${package})
  file(WRITE ${dir}/${package}Config.cmake
"if(NOT TARGET ${target})
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${_kurvo_cross_include}\")
endif()
")
  set(${package}_DIR ${dir} CACHE PATH "Generated for the cross build" FORCE)
endfunction()

kurvo_header_only_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann)
kurvo_header_only_package(CLI11 CLI11::CLI11 CLI)

if(KURVO_BUILD_TESTS)
  set(_kurvo_gtest_source /usr/src/googletest/googletest)
  if(NOT EXISTS ${_kurvo_gtest_source}/CMakeLists.txt)
    message(FATAL_ERROR "${_kurvo_gtest_source} is missing: install the Debian package googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${_kurvo_gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)  # newer googletest names them itself
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
