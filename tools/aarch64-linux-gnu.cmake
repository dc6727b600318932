# Cross-compiling for 64-bit ARM with Debian's cross compiler and the arm64 libraries of the
# multiarch tree (the `cross` group of tools/debian-packages):
#
#   cmake -S . -B build-aarch64 --toolchain tools/aarch64-linux-gnu.cmake
#
# The programs built run under qemu-user: ctest starts the tests through it, and the tests start
# orvel and orvel-mt through it too. The arm64 C library sits in the usual places
# (/lib/ld-linux-aarch64.so.1, /usr/lib/aarch64-linux-gnu), so the emulator needs no prefix.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# find_package and find_library look in the aarch64-linux-gnu directories of the multiarch tree
# (/usr/lib/aarch64-linux-gnu, and its cmake/ for GTest), which hold only arm64 files. The modules
# that ask pkg-config first (FindOpenSSL) must hear of the arm64 libraries too.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
find_program(ORVEL_QEMU_AARCH64 qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVEL_QEMU_AARCH64})
