# cmake -DLIBRARY=<libunlha32.so> -DEXPORTS=<unlha32.exports> -P check_exports.cmake
# Fails unless the library's defined dynamic symbols are exactly the names of the exports file.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE nm_output
                RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "nm -D failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" nm_lines "${nm_output}")
set(exported "")
foreach(line IN LISTS nm_lines)
  # "<address> <type> <name>[@@version]"
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^@ ]+)")
    list(APPEND exported ${CMAKE_MATCH_1})
  endif()
endforeach()
file(STRINGS ${EXPORTS} wanted)
list(SORT exported)
list(REMOVE_DUPLICATES exported)
list(SORT wanted)
if(NOT exported STREQUAL wanted)
  message(FATAL_ERROR "exported: ${exported}\nlisted:   ${wanted}")
endif()
list(LENGTH wanted count)
message(STATUS "${count} names exported, as listed")
