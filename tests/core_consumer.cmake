# A project that adds the audio core as a subdirectory, as an edition of someone else's would: its
# own source must compile with -ffp-contract=off (the core's bits need it in every caller of its
# inline code) and with none of this project's warning options, which are ours to keep. The
# consumer is configured only; its compile line is read from compile_commands.json.
# Run by ctest with -DSOURCE=<this project's root> -DWORK=<folder> -DCOMPILER=<C++ compiler>.
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/consumer.cpp "#include \"core/zero_phase_core.h\"\nint main() { tinvoicer::ZeroPhaseCore core; }\n")
file(WRITE ${WORK}/CMakeLists.txt "cmake_minimum_required(VERSION 3.21)
project(Consumer CXX)
add_subdirectory(${SOURCE} tinvoicer)
add_executable(consumer consumer.cpp)
target_link_libraries(consumer PRIVATE tinvoicer_core)
")
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${WORK} -B ${WORK}/build -DCMAKE_CXX_COMPILER=${COMPILER}
          -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DTINVOICER_VST2=OFF -DTINVOICER_LV2=OFF
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "a project could not add the core as a subdirectory: ${errors}")
endif()
file(READ ${WORK}/build/compile_commands.json commands)
string(REGEX MATCH "\"command\": \"[^\"]*consumer\\.cpp[^\"]*\"" line "${commands}")
file(REMOVE_RECURSE ${WORK})
if(line STREQUAL "")
  message(FATAL_ERROR "no compile line for the consumer's source")
endif()
if(NOT line MATCHES "-ffp-contract=off")
  message(FATAL_ERROR "the consumer compiles without -ffp-contract=off: ${line}")
endif()
foreach(warning -Wall -Wextra -Wpedantic -Werror)
  if(line MATCHES "${warning}")
    message(FATAL_ERROR "the consumer gets this project's ${warning}: ${line}")
  endif()
endforeach()
