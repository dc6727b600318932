# liborvel: the renderer as a shared library with a C interface (src/api/orvel.h, the api layer),
# and what `make install` puts beside it: the header, a pkg-config file, a CMake package
# (find_package(orvel), target orvel::orvel) and the Python module orvel (python/orvel), which
# loads the library through ctypes. cmake/library-packages.cmake makes the Debian packages of them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORVEL_LIBRARY_VERSION 0.1.14)
set(ORVEL_LIBRARY_SOVERSION 0)

# The whole api layer, and from the layers below what it uses. Only the orvel_* functions are
# exported (src/api/liborvel.map).
add_library(liborvel SHARED src/api/orvel.h)
set_target_properties(liborvel PROPERTIES
  OUTPUT_NAME orvel
  LINKER_LANGUAGE CXX
  VERSION ${ORVEL_LIBRARY_VERSION}
  SOVERSION ${ORVEL_LIBRARY_SOVERSION}
  PUBLIC_HEADER src/api/orvel.h
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/src/api/liborvel.map)
target_link_libraries(liborvel PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,orvel_api>")
target_link_options(liborvel PRIVATE "LINKER:--version-script=${PROJECT_SOURCE_DIR}/src/api/liborvel.map")
if(NOT ORVEL_SANITIZE AND NOT ORVEL_FUZZ)
  # Every symbol resolved at link time (a sanitized library leaves the sanitizer's to the program).
  target_link_options(liborvel PRIVATE "LINKER:--no-undefined")
endif()
target_include_directories(liborvel INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src/api>)

install(TARGETS liborvel
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT dev
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# The prefix is found from where the file lies, so it holds under any prefix (make install, the
# Debian package's /usr, a staging directory).
file(RELATIVE_PATH ORVEL_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ORVEL_PC_TO_PREFIX "${ORVEL_PC_TO_PREFIX}")
configure_file(cmake/orvel.pc.in orvel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/orvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

configure_package_config_file(cmake/orvelConfig.cmake.in orvelConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvel
  PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(orvelConfigVersion.cmake VERSION ${ORVEL_LIBRARY_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/orvelConfig.cmake ${PROJECT_BINARY_DIR}/orvelConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvel COMPONENT dev)
install(FILES docs/api.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/liborvel-dev COMPONENT dev)
install(FILES examples/spheres.py DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/python3-orvel/examples COMPONENT python)

# The Python module goes where the system's Python 3 looks for it: under /usr, the directory
# Debian's packages use (lib/python3/dist-packages), under any other prefix the one of the
# installed Python's version (lib/python3.X/dist-packages, e.g. in /usr/local). Outside /usr it
# also records where the library was installed, since the loader does not look there by itself.
find_program(ORVEL_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
set(ORVEL_PYTHON_VERSION 3)
if(ORVEL_SYSTEM_PYTHON)
  execute_process(COMMAND ${ORVEL_SYSTEM_PYTHON} -c "import sys; print('%d.%d' % sys.version_info[:2])"
    OUTPUT_VARIABLE ORVEL_PYTHON_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
install(CODE "
  if(CMAKE_INSTALL_PREFIX MATCHES \"/usr$\")
    set(orvel_python_dir \"\${CMAKE_INSTALL_PREFIX}/lib/python3/dist-packages/orvel\")
    set(orvel_library \"\")
  else()
    set(orvel_python_dir \"\${CMAKE_INSTALL_PREFIX}/lib/python${ORVEL_PYTHON_VERSION}/dist-packages/orvel\")
    set(orvel_library \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/liborvel.so.${ORVEL_LIBRARY_SOVERSION}\")
  endif()
  file(INSTALL \"${PROJECT_SOURCE_DIR}/python/orvel/__init__.py\" DESTINATION \"\${orvel_python_dir}\")
  file(WRITE \"\$ENV{DESTDIR}\${orvel_python_dir}/_installed.py\"
    \"# Written by make install: where the shared library was installed (empty: the loader finds it).\\n\"
    \"LIBRARY = '\${orvel_library}'\\n\")
" COMPONENT python)
