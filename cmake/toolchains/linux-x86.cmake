# 32-bit x86 Linux with Debian's cross compilers (g++-i686-linux-gnu; Debian's -m32 multilib
# compilers cannot be installed beside its other cross compilers). Test programs run under qemu's
# user-mode emulator, so they run whether or not the kernel can start 32-bit programs, on the C and
# C++ libraries of Debian's i386 architecture (libc6:i386, libstdc++6:i386), as on a 32-bit system:
# with the cross compiler's own copies as their root, pthread_create never returns under qemu 7.2.
# Usage: cmake -S . -B build-x86 --toolchain cmake/toolchains/linux-x86.cmake -DTINVOICER_TOOLS=OFF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# SSE2 arithmetic, as on x86-64: the x87 unit's wider intermediates would change float results.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

find_program(TINVOICER_QEMU_I386 qemu-i386 NO_CMAKE_FIND_ROOT_PATH)
if(TINVOICER_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TINVOICER_QEMU_I386})
endif()
# Tests are listed when ctest starts, not at build time: a build never runs an emulated program.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
