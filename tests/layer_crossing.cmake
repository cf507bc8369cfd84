# Proves that scripts/check-layers can fail: a tree whose spectral header reaches a host header by a
# relative path, whose live tool includes the render tool, and whose host kit includes the plug-in's
# base classes must be refused, with each include named. Run by ctest with -DCHECK=<script> -DWORK=<folder>.
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/host/effect_record.h "#pragma once\n")
file(WRITE ${WORK}/spectral/window.h "#pragma once\n#include \"../host/effect_record.h\"\n")
file(WRITE ${WORK}/tools/live/client.h "#pragma once\n#include \"kit/effect_instance.h\"\n#include \"render/renderer.h\"\n")
file(WRITE ${WORK}/tools/kit/instance.h "#pragma once\n#include \"host/effect_record.h\"\n#include \"host/effect_base.h\"\n")
execute_process(COMMAND ${CHECK} ${WORK} RESULT_VARIABLE status ERROR_VARIABLE report OUTPUT_QUIET)
file(REMOVE_RECURSE ${WORK})
foreach(expected
    "spectral/window.h:2: #include \"../host/effect_record.h\" leaves its folder"
    "tools/live/client.h:3: #include \"render/renderer.h\": the tools/live layer"
    "tools/kit/instance.h:3: #include \"host/effect_base.h\": the tools/kit layer")
  if(status EQUAL 0 OR NOT report MATCHES "${expected}")
    message(FATAL_ERROR "check-layers accepted an include that leaves its layer (exit ${status}): ${report}")
  endif()
endforeach()
string(REGEX MATCHALL "\n" lines "${report}")
list(LENGTH lines count)
if(NOT count EQUAL 4)  # the three findings and the summary: the allowed includes pass
  message(FATAL_ERROR "check-layers refused an include that stays in its layer: ${report}")
endif()
