# 64-bit Windows with mingw-w64 (Debian: mingw-w64), POSIX thread model; tests run under wine64.
# Usage: cmake -S . -B build-win64 --toolchain cmake/toolchains/windows-x64.cmake -DTINVOICER_TOOLS=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TINVOICER_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TINVOICER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TINVOICER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TINVOICER_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TINVOICER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program carries its C and C++ runtimes, so it needs no DLL beside it under wine or on a user's machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under wine; their tests are listed when ctest starts, not at build time,
# so that only ctest's run (with a wineserver already up) starts wine.
find_program(TINVOICER_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TINVOICER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TINVOICER_WINE})
endif()
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
