# 64-bit ARM Linux (aarch64: Raspberry Pi 4 and 5, ARM laptops) with Debian's cross compilers
# (g++-aarch64-linux-gnu). Test programs run under qemu's user-mode emulator with the cross
# sysroot as their root for the dynamic loader and the C and C++ libraries.
# Usage: cmake -S . -B build-arm64 --toolchain cmake/toolchains/linux-arm64.cmake -DTINVOICER_TOOLS=OFF
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(TINVOICER_LINUX_TRIPLE aarch64-linux-gnu)
set(TINVOICER_QEMU qemu-aarch64)
set(TINVOICER_QEMU_ARGUMENTS -L /usr/aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
