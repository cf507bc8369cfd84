# 32-bit x86 Linux on an x86-64 Linux machine with the multilib compilers (Debian: gcc-multilib, g++-multilib).
# The programs it builds run directly on the build machine, so tests need no emulator.
# Usage: cmake -S . -B build-x86 --toolchain cmake/toolchains/linux-x86.cmake -DTINVOICER_TOOLS=OFF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# SSE2 arithmetic, as on x86-64: the x87 unit's wider intermediates would change float results.
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
