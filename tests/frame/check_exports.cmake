# Fails unless the module's dynamic symbol table defines exactly plugin_main.
# Usage: cmake -DMODULE=path/to/Kurvo2.so -P check_exports.cmake
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  list(APPEND names "${name}")
endforeach()
if(NOT names STREQUAL "plugin_main")
  message(FATAL_ERROR "Kurvo2 must export only plugin_main; it exports: ${names}")
endif()
message(STATUS "exports: ${names}")
