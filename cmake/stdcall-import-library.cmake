# cmake -DNM=<nm> -DDLLTOOL=<dlltool> -DOBJECTS=<objects> -DEXPORTS=<names file> -DDLL=<name.dll>
#       -DIMPLIB=<import library> -P stdcall-import-library.cmake
# Rewrites the import library of a 32-bit DLL that exports __stdcall functions under plain names.
# Callers compiled against the header reference the decorated Name@N, which the import library
# that ld writes from plain names lacks; dlltool -k makes one that maps Name@N to the plain export.
# The decorated names come from the DLL's own objects, so the list of names stays the only list.
execute_process(COMMAND ${NM} --defined-only --extern-only ${OBJECTS} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${OBJECTS}")
endif()
file(STRINGS ${EXPORTS} names)
set(def "EXPORTS\n")
foreach(name IN LISTS names)
  if(NOT symbols MATCHES " T _(${name}@[0-9]+)\n")
    message(FATAL_ERROR "${name}: no __stdcall definition in ${OBJECTS}")
  endif()
  string(APPEND def "  ${CMAKE_MATCH_1}\n")
endforeach()
file(WRITE ${IMPLIB}.def "${def}")
execute_process(COMMAND ${DLLTOOL} -k -d ${IMPLIB}.def -D ${DLL} -l ${IMPLIB}
                RESULT_VARIABLE dlltool_result)
if(NOT dlltool_result EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed making ${IMPLIB}")
endif()
