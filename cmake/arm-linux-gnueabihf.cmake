# Cross build for the unit: 32-bit ARM, hard float, Debian's cross compiler and
# the armhf multiarch libraries. Test binaries run under qemu-arm.
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# GCC's notes that parameter passing of some std types changed in GCC 7.1 concern
# only mixing objects built before and after it; the unit's build has none.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
# The unit's lean build: static C++ runtime and pugixml, unused sections dropped.
set(NIVO_STATIC_RUNTIME ON CACHE BOOL "Link the C++ runtime and pugixml statically")
# -Os unless told otherwise: smaller and fewer resident pages for a page cost that
# no one sees (docs/performance.md).
set(CMAKE_BUILD_TYPE MinSizeRel CACHE STRING "Build type; the unit's default is MinSizeRel")

# The cross compiler's own sysroot plus the multiarch folders under / (where
# Debian puts libpugixml-dev:armhf and friends); programs come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# binfmt is not mounted on the build machines: run target binaries explicitly,
# which also lets gtest_discover_tests list the tests. The prefix is / and not
# the cross sysroot: the sysroot's loader is an older glibc build than the
# armhf libc.so.6 that pugixml's package pulls in, and that mix crashes every
# forked child. With / the loader and the libraries come from one build.
set(CMAKE_CROSSCOMPILING_EMULATOR "qemu-arm;-L;/")
