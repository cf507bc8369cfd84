# What both Windows toolchains share: mingw-w64's POSIX-thread compilers for the triple that the
# including file sets in TINVOICER_MINGW_TRIPLE, and a search confined to that target's files.
set(CMAKE_SYSTEM_NAME Windows)
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

# Tests are listed when ctest starts, not at build time: a build never needs to run a Windows program.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
