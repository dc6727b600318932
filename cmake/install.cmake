# Installation and the Debian package. `make install` (PREFIX, DESTDIR) and `make package` use
# these rules: the programs, their manual pages, the example scenes and the language reference.
include(GNUInstallDirs)

set(ORVEL_PROGRAMS orvel orvel-mt)
set(ORVEL_MAN_PAGES man/orvel.1 man/orvel-mt.1)  # orvel-mt.1 is a link to orvel.1
if(TARGET orvel-mpi)
  list(APPEND ORVEL_PROGRAMS orvel-mpi)
  list(APPEND ORVEL_MAN_PAGES man/orvel-mpi.1)
endif()

install(TARGETS ${ORVEL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ORVEL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY scenes/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvel/scenes FILES_MATCHING PATTERN "*.orv")
install(FILES docs/language.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# A .deb whose dependencies on the runtime libraries (libc, libstdc++, libpng, libjpeg, ...) are
# read from the programs by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvel)
set(CPACK_PACKAGE_VERSION 0.1~beta14)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line ray tracer")
set(CPACK_PACKAGE_DESCRIPTION
    "ORVEL renders scenes written in its own keyword language (camera, settings, surfaces, lights, "
    "spheres, planes, cones, cylinders, rings, discs, triangles, polygons and smooth triangles) "
    "into TGA, BMP, PPM, PNG or JPEG pictures, in one thread (orvel), in bands (orvel-mt) or, where "
    "it is built, across the ranks of an MPI job (orvel-mpi).")
list(JOIN CPACK_PACKAGE_DESCRIPTION "" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_CONTACT "ORVEL developers <orvel-bugs@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
