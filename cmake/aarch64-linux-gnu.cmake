# Cross-building for 64-bit ARM (arm64) on amd64 with Debian's multiarch
# tool chain (crossbuild-essential-arm64) and the :arm64 development
# packages; used by scripts/package --arch arm64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The arm64 libraries live beside the host's in /usr; the host's programs
# (moc, uic, rcc, lrelease) run as they are.
set(CMAKE_FIND_ROOT_PATH /usr/lib/aarch64-linux-gnu /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# pkg-config reads the arm64 .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# Programs built here run under qemu-user, with the arm64 libraries that
# multiarch installed (its ld.so finds them as on an arm64 machine).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
