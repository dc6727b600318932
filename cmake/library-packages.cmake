# The Debian packages of the library (cmake/library.cmake), beside those of the programs
# (cmake/install.cmake includes this file before CPack): liborvel0 (the shared library, its
# dependencies read from it by dpkg-shlibdeps), liborvel-dev (header, pkg-config file, CMake package,
# the API's documentation) and python3-orvel (the Python module, pure Python over liborvel0).
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME liborvel${ORVEL_LIBRARY_SOVERSION})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# A shlibs file for the packages that hold a shared library (only this one).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The loader's cache is renewed by a trigger (cmake/debian/liborvel: its maintainer scripts do
# nothing else, and replace the ones CPack would write, which call ldconfig themselves).
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/liborvel/triggers
    ${CMAKE_CURRENT_LIST_DIR}/debian/liborvel/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/liborvel/postrm)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
    "ORVEL ray tracer as a shared library\n"
    "liborvel renders ORVEL scenes (files or text in memory) into pictures in\n"
    "memory, the same pixels the orvel program writes, with progress and cancel,\n"
    "and writes them as TGA, BMP, PPM, PNG or JPEG.")
list(JOIN CPACK_DEBIAN_LIBRARY_DESCRIPTION "" CPACK_DEBIAN_LIBRARY_DESCRIPTION)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liborvel-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "liborvel${ORVEL_LIBRARY_SOVERSION} (= ${ORVEL_DEB_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "ORVEL ray tracer as a shared library, development files\n"
    "The C header orvel.h, the pkg-config file orvel.pc, the CMake package\n"
    "(find_package(orvel)) and the documentation of the API with a complete\n"
    "example program.")
list(JOIN CPACK_DEBIAN_DEV_DESCRIPTION "" CPACK_DEBIAN_DEV_DESCRIPTION)

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-orvel)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "liborvel${ORVEL_LIBRARY_SOVERSION} (= ${ORVEL_DEB_VERSION}), python3, python3-numpy")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "ORVEL ray tracer for Python 3\n"
    "orvel.render(scene) renders an ORVEL scene (text or a file) into a picture\n"
    "whose pixels are a NumPy array, which it saves as TGA, BMP, PPM, PNG or JPEG\n"
    "and shows in a notebook.")
list(JOIN CPACK_DEBIAN_PYTHON_DESCRIPTION "" CPACK_DEBIAN_PYTHON_DESCRIPTION)
