# Windows test programs run under wine through wine-run.sh, the emulator that the toolchain file
# names, in a wine prefix of the build tree's own. Each ctest run starts a wine session first and
# ends it afterwards (wine-session.sh): one persistent wineserver serves all the tests, where one
# started by each test would cost about three seconds a test.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine-run\\.sh")
  return()
endif()
list(GET CMAKE_CROSSCOMPILING_EMULATOR 1 QUILLORY_WINE_PREFIX)
set(session "${CMAKE_CURRENT_LIST_DIR}/wine-session.sh")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/CTestCustom.cmake CONTENT
"set(CTEST_CUSTOM_PRE_TEST [[\"${session}\" start \"${QUILLORY_WINE_PREFIX}\"]])
set(CTEST_CUSTOM_POST_TEST [[\"${session}\" stop \"${QUILLORY_WINE_PREFIX}\"]])
")

# wine shows the Linux file system as drive Z:. A test that opens a file of the source tree or of
# the shared corpus by its Linux path needs that drive in front: a path that begins with "/" is
# taken on the current drive, which for the tests is T:, the build tree.
set(QUILLORY_HOST_PATH_PREFIX "Z:")
