# 32-bit Windows with mingw-w64 (Debian: mingw-w64), POSIX thread model; tests run under 32-bit
# wine (Debian: wine32, of the i386 architecture).
# Usage: cmake -S . -B build-win32 --toolchain cmake/toolchains/windows-x86.cmake -DTINVOICER_TOOLS=OFF
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TINVOICER_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Test programs run under wine, started by ctest once a wineserver is up; Debian's wine starts a
# 32-bit program with the wine32 loader.
find_program(TINVOICER_WINE NAMES wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TINVOICER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TINVOICER_WINE})
endif()

# SSE2 arithmetic, as on x86-64: the x87 unit's wider intermediates would change float results.
# Windows hosts may call in with the stack aligned to 4 bytes only: realign where SSE data needs 16.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
