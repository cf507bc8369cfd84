# 64-bit Windows with mingw-w64 (Debian: mingw-w64), POSIX thread model; tests run under wine64.
# Usage: cmake -S . -B build-win64 --toolchain cmake/toolchains/windows-x64.cmake -DTINVOICER_TOOLS=OFF
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TINVOICER_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Test programs run under wine, started by ctest once a wineserver is up.
find_program(TINVOICER_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TINVOICER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TINVOICER_WINE})
endif()
