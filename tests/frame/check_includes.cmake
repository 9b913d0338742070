# Keeps the module and the host apart:
#  - the module's logic (frame, deformer, shader, titlebar) includes nothing of
#    source/host;
#  - the host includes nothing of source/hostapi but abi/ and math/, and none of
#    the module's logic. (The host's include path holds only source/host,
#    abi/ and math/, so a bare header name there cannot reach a wrapper.)
# Usage: cmake -DSOURCE_DIR=path/to/source -P check_includes.cmake
set(violations "")

function(scan dir pattern why)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${dir}/*.h" "${SOURCE_DIR}/${dir}/*.hpp" "${SOURCE_DIR}/${dir}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
      if(line MATCHES "${pattern}")
        file(RELATIVE_PATH rel "${SOURCE_DIR}" "${file}")
        list(APPEND violations "${rel}: ${line} (${why})")
      endif()
    endforeach()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
endfunction()

foreach(area frame deformer shader titlebar)
  scan(${area} "[\"<](\\.\\./)*host/" "module logic must not include the host")
endforeach()
scan(host "[\"<](\\.\\./)*hostapi/([^am]|a[^b]|ab[^i]|m[^a]|ma[^t])" "the host may include only hostapi/abi and hostapi/math")
scan(host "[\"<](\\.\\./)*(frame|deformer|shader|titlebar)/" "the host must not include module logic")

if(violations)
  list(JOIN violations "\n" text)
  message(FATAL_ERROR "include boundary violations:\n${text}")
endif()
message(STATUS "include boundaries hold")
