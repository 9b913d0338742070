# glTF validation in the tests: the Khronos validator (npm package
# gltf-validator, pinned in tests/gltf/package-lock.json and installed there by
# scripts/install-deps.sh).
#
#   kurvo_add_gltf_validation(NAME test FILES file... [DEPENDS test...] [ALLOW code@pointer-regex...])
#
# adds a test that validates the files (written by earlier tests, named in
# DEPENDS); any error, warning or info fails it, except the codes ALLOW names
# at the JSON pointers its regular expression matches (validate.js --allow). Without Node.js or the installed
# validator the tests are left out with a note at configure time.
set(KURVO_GLTF_VALIDATOR_DIR ${CMAKE_SOURCE_DIR}/tests/gltf)
find_program(KURVO_NODE node nodejs)
if(KURVO_NODE AND EXISTS ${KURVO_GLTF_VALIDATOR_DIR}/node_modules/gltf-validator)
  set(KURVO_HAVE_GLTF_VALIDATOR ON)
else()
  set(KURVO_HAVE_GLTF_VALIDATOR OFF)
  message(STATUS "glTF validation tests left out: run scripts/install-deps.sh (needs node and "
                 "'npm ci --prefix tests/gltf')")
endif()

function(kurvo_add_gltf_validation)
  cmake_parse_arguments(ARG "" "NAME" "FILES;DEPENDS;ALLOW" ${ARGN})
  if(NOT KURVO_HAVE_GLTF_VALIDATOR)
    return()
  endif()
  set(allow)
  foreach(a ${ARG_ALLOW})
    list(APPEND allow --allow ${a})
  endforeach()
  add_test(NAME ${ARG_NAME} COMMAND ${KURVO_NODE} ${KURVO_GLTF_VALIDATOR_DIR}/validate.js ${allow} ${ARG_FILES})
  if(ARG_DEPENDS)
    set_tests_properties(${ARG_NAME} PROPERTIES DEPENDS "${ARG_DEPENDS}")
  endif()
endfunction()
