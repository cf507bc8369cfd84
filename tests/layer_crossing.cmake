# Proves that scripts/check-layers can fail: a tree whose spectral header reaches a host header by a
# relative path must be refused, with the include named. Run by ctest with -DCHECK=<script> -DWORK=<folder>.
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/host/effect_record.h "#pragma once\n")
file(WRITE ${WORK}/spectral/window.h "#pragma once\n#include \"../host/effect_record.h\"\n")
execute_process(COMMAND ${CHECK} ${WORK} RESULT_VARIABLE status ERROR_VARIABLE report OUTPUT_QUIET)
file(REMOVE_RECURSE ${WORK})
if(status EQUAL 0 OR NOT report MATCHES "spectral/window.h:2: #include \"../host/effect_record.h\" leaves its folder")
  message(FATAL_ERROR "check-layers accepted a relative include into another layer (exit ${status}): ${report}")
endif()
