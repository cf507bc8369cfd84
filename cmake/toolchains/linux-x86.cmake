# 32-bit x86 Linux with Debian's cross compilers (g++-i686-linux-gnu; Debian's -m32 multilib
# compilers cannot be installed beside its other cross compilers). Test programs run under qemu's
# user-mode emulator, so they run whether or not the kernel can start 32-bit programs, on the C and
# C++ libraries of Debian's i386 architecture (libc6:i386, libstdc++6:i386), as on a 32-bit system:
# with the cross compiler's own copies as their root, pthread_create never returns under qemu 7.2.
# Usage: cmake -S . -B build-x86 --toolchain cmake/toolchains/linux-x86.cmake -DTINVOICER_TOOLS=OFF
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(TINVOICER_LINUX_TRIPLE i686-linux-gnu)
set(TINVOICER_QEMU qemu-i386)
set(TINVOICER_QEMU_ARGUMENTS "")
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)

# SSE2 arithmetic, as on x86-64: the x87 unit's wider intermediates would change float results.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
