# 64-bit ARM Linux (aarch64: Raspberry Pi 4 and 5, ARM laptops) with Debian's cross compilers
# (g++-aarch64-linux-gnu). Test programs run under qemu's user-mode emulator with the cross
# sysroot as their root for the dynamic loader and the C and C++ libraries.
# Usage: cmake -S . -B build-arm64 --toolchain cmake/toolchains/linux-arm64.cmake -DTINVOICER_TOOLS=OFF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TINVOICER_QEMU_AARCH64 qemu-aarch64 NO_CMAKE_FIND_ROOT_PATH)
if(TINVOICER_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TINVOICER_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
endif()
# Tests are listed when ctest starts, not at build time: a build never runs an emulated program.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
