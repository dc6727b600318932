# Installation and the Debian package. `make install` (PREFIX, DESTDIR) and `make package` use
# these rules: the programs, their manual pages, the example scenes (and the model one of them
# reads) and the language reference.
include(GNUInstallDirs)

install(TARGETS orvel orvel-mt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT orvel)
install(FILES man/orvel.1 man/orvel-mt.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT orvel)  # orvel-mt.1 links to orvel.1
install(DIRECTORY scenes/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvel/scenes COMPONENT orvel FILES_MATCHING PATTERN "*.orv" PATTERN "*.ply")
install(FILES docs/language.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT orvel)
if(TARGET orvel-mpi)
  install(TARGETS orvel-mpi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT mpi)
  install(FILES man/orvel-mpi.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT mpi)
endif()

# Debian packages whose dependencies on the runtime libraries (libc, libstdc++, libpng, libjpeg,
# Open MPI) are read from the programs by dpkg-shlibdeps: `orvel` (orvel, orvel-mt, the manual
# page, the scenes and the language reference) and, where it is built, `orvel-mpi`, so that a
# machine without MPI installs ORVEL without it. Each description starts with its one-line summary.
set(ORVEL_DEB_VERSION 0.1~beta14)
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
    "ORVEL renders scenes written in its own keyword language (camera, settings, surfaces, lights, "
    "spheres, planes, cones, cylinders, rings, discs, triangles, polygons and smooth triangles) "
    "into TGA, BMP, PPM, PNG or JPEG pictures, in one thread (orvel) or in bands (orvel-mt).")
list(JOIN CPACK_DEBIAN_ORVEL_DESCRIPTION "" CPACK_DEBIAN_ORVEL_DESCRIPTION)

set(CPACK_DEBIAN_MPI_PACKAGE_NAME orvel-mpi)
# mpirun (and, for a single rank, Open MPI's own start-up helper) comes with openmpi-bin.
set(CPACK_DEBIAN_MPI_PACKAGE_DEPENDS "orvel (= ${ORVEL_DEB_VERSION}), openmpi-bin")
set(CPACK_DEBIAN_MPI_DESCRIPTION
    "command-line ray tracer, one render spread over an MPI job\n"
    "orvel-mpi renders one ORVEL scene across the ranks of an Open MPI job (mpirun or srun), with "
    "the same command line, scene language and pictures as orvel.")
list(JOIN CPACK_DEBIAN_MPI_DESCRIPTION "" CPACK_DEBIAN_MPI_DESCRIPTION)

include(CPack)
