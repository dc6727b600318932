# Installation and the Debian package. `make install` (PREFIX, DESTDIR) and `make package` use
# these rules: the programs, their manual pages (compressed, as Debian has them), the example
# scenes (and the model one of them reads), the language reference, and each package's copyright
# file and changelog.
include(GNUInstallDirs)

set(ORVEL_DEB_VERSION 0.1~beta14)

# The manual page compressed with gzip -9n (no name, no time: the same bytes on every build), and
# the pages of orvel-mt and orvel-mpi as links to it; the changelog of each package, compressed.
set(ORVEL_DOC_BUILD_DIR ${PROJECT_BINARY_DIR}/installed-docs)
set(ORVEL_MAN_PAGE ${ORVEL_DOC_BUILD_DIR}/orvel.1.gz)
add_custom_command(OUTPUT ${ORVEL_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVEL_DOC_BUILD_DIR}
  COMMAND sh -c "gzip -9n < '${PROJECT_SOURCE_DIR}/man/orvel.1' > '${ORVEL_MAN_PAGE}'"
  COMMAND ${CMAKE_COMMAND} -E create_symlink orvel.1.gz ${ORVEL_DOC_BUILD_DIR}/orvel-mt.1.gz
  COMMAND ${CMAKE_COMMAND} -E create_symlink orvel.1.gz ${ORVEL_DOC_BUILD_DIR}/orvel-mpi.1.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/man/orvel.1 VERBATIM)
# Each Debian package's copyright file and compressed changelog, in /usr/share/doc/PACKAGE.
set(ORVEL_CHANGELOGS)
function(orvel_package_docs package component)
  set(ORVEL_PACKAGE ${package})  # for the changelog's first line
  configure_file(cmake/debian/changelog.in ${ORVEL_DOC_BUILD_DIR}/${package}/changelog @ONLY)
  set(changelog ${ORVEL_DOC_BUILD_DIR}/${package}/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND sh -c "gzip -9n < '${ORVEL_DOC_BUILD_DIR}/${package}/changelog' > '${changelog}'"
    DEPENDS ${ORVEL_DOC_BUILD_DIR}/${package}/changelog VERBATIM)
  set(ORVEL_CHANGELOGS ${ORVEL_CHANGELOGS} ${changelog} PARENT_SCOPE)
  install(FILES cmake/debian/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
          COMPONENT ${component})
endfunction()
orvel_package_docs(orvel orvel)
if(TARGET orvel-mpi)
  orvel_package_docs(orvel-mpi mpi)
endif()
orvel_package_docs(liborvel${ORVEL_LIBRARY_SOVERSION} library)
orvel_package_docs(liborvel-dev dev)
orvel_package_docs(python3-orvel python)
add_custom_target(orvel_installed_docs ALL DEPENDS ${ORVEL_MAN_PAGE} ${ORVEL_CHANGELOGS})

install(TARGETS orvel orvel-mt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT orvel)
install(FILES ${ORVEL_MAN_PAGE} ${ORVEL_DOC_BUILD_DIR}/orvel-mt.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT orvel)
install(DIRECTORY scenes/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvel/scenes COMPONENT orvel FILES_MATCHING PATTERN "*.orv" PATTERN "*.ply")
install(FILES docs/language.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT orvel)
if(TARGET orvel-mpi)
  install(TARGETS orvel-mpi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT mpi)
  install(FILES ${ORVEL_DOC_BUILD_DIR}/orvel-mpi.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT mpi)
endif()

# Debian packages whose dependencies on the runtime libraries (libc, libstdc++, libpng, libjpeg,
# Open MPI) are read from the programs by dpkg-shlibdeps: `orvel` (orvel, orvel-mt, the manual
# page, the scenes and the language reference) and, where it is built, `orvel-mpi`, so that a
# machine without MPI installs ORVEL without it. Each description starts with its one-line summary.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvel)
set(CPACK_PACKAGE_VERSION ${ORVEL_DEB_VERSION})
set(CPACK_PACKAGE_CONTACT "ORVEL developers <orvel-bugs@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_ORVEL_PACKAGE_NAME orvel)
set(CPACK_DEBIAN_ORVEL_DESCRIPTION
    "command-line ray tracer\n"
    "ORVEL renders scenes written in its own keyword language (camera, settings,\n"
    "surfaces, lights, spheres, planes, cones, cylinders, rings, discs, triangles,\n"
    "polygons and smooth triangles) into TGA, BMP, PPM, PNG or JPEG pictures, in\n"
    "one thread (orvel) or in bands (orvel-mt).")
list(JOIN CPACK_DEBIAN_ORVEL_DESCRIPTION "" CPACK_DEBIAN_ORVEL_DESCRIPTION)

set(CPACK_DEBIAN_MPI_PACKAGE_NAME orvel-mpi)
# mpirun (and, for a single rank, Open MPI's own start-up helper) comes with openmpi-bin.
set(CPACK_DEBIAN_MPI_PACKAGE_DEPENDS "orvel (= ${ORVEL_DEB_VERSION}), openmpi-bin")
set(CPACK_DEBIAN_MPI_DESCRIPTION
    "command-line ray tracer, one render spread over an MPI job\n"
    "orvel-mpi renders one ORVEL scene across the ranks of an Open MPI job (mpirun\n"
    "or srun), with the same command line, scene language and pictures as orvel.")
list(JOIN CPACK_DEBIAN_MPI_DESCRIPTION "" CPACK_DEBIAN_MPI_DESCRIPTION)

include(${CMAKE_CURRENT_LIST_DIR}/library-packages.cmake)
include(CPack)
