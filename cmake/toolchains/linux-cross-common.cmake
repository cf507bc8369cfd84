# What both Linux cross toolchains share: Debian's cross compilers for the triple that the including
# file sets in TINVOICER_LINUX_TRIPLE, a search confined to that target's files (/usr/<triple>), and
# test programs run under the qemu user-mode emulator TINVOICER_QEMU with TINVOICER_QEMU_ARGUMENTS.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TINVOICER_LINUX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TINVOICER_LINUX_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${TINVOICER_LINUX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TINVOICER_QEMU_PROGRAM ${TINVOICER_QEMU} NO_CMAKE_FIND_ROOT_PATH)
if(TINVOICER_QEMU_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TINVOICER_QEMU_PROGRAM} ${TINVOICER_QEMU_ARGUMENTS})
endif()
# Tests are listed when ctest starts, not at build time: a build never runs an emulated program.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
