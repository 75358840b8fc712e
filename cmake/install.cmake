# Installation and the Debian package. The programs go to bin and the library to lib beside it:
# "../lib" beside the executable is where quillory's library search looks second, and where
# unlha's RUNPATH points. Plain "lib", never GNUInstallDirs' multiarch folder, for that reason.
install(TARGETS quillory unlha RUNTIME DESTINATION bin)
install(TARGETS unlha32 LIBRARY DESTINATION lib)

# Manual pages, compressed as Debian installs them (-n: no time stamp, the same bytes each build).
set(man_pages quillory.1 unlha.1)
set(compressed_pages)
foreach(page IN LISTS man_pages)
  set(copy ${PROJECT_BINARY_DIR}/man/${page})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/man/${page} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}
    VERBATIM)
  list(APPEND compressed_pages ${copy}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${compressed_pages})
install(FILES ${compressed_pages} DESTINATION share/man/man1)

# The README and the example job with its sample tree; the job's paths are relative to the
# folder that holds examples/, so it runs from a copy of this folder (see quillory(1)).
install(FILES README.md DESTINATION share/doc/quillory)
install(FILES examples/backup-sample.ini DESTINATION share/doc/quillory/examples)
install(DIRECTORY examples/sample DESTINATION share/doc/quillory/examples)

set(QUILLORY_PACKAGE_MAINTAINER "Quillory maintainers <maintainers@quillory.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillory)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUILLORY_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "backup jobs into LZH archives or copies")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "backup jobs into LZH archives or copies
 quillory runs one backup job described by an INI job file: it copies the
 named files or folders into an output folder, or packs them into one
 standard LZH archive there, optionally in a sub-folder named after the date.
 .
 The package includes the LZH archiver library the program loads,
 libunlha32.so, and unlha, a command-line front end to it that restores,
 lists, tests and makes LZH archives.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from what the binaries link (libc, libstdc++, libgcc), by dpkg-shlibdeps. The library
# is the package's own: found there, it adds nothing.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
