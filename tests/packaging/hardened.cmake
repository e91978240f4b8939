# Fails unless the program AGENT carries what Debian's hardening checks look for: a
# position-independent executable, read-only relocations bound at start, stack canaries and
# checked buffer functions.
execute_process(COMMAND readelf -W --file-header --program-headers --dynamic --dyn-syms ${AGENT}
                OUTPUT_VARIABLE elf RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf could not read ${AGENT}")
endif()
foreach(mark "Type: +DYN" "GNU_RELRO" "\\(FLAGS\\) +BIND_NOW" "__stack_chk_fail@" "__[a-z]+_chk@")
  if(NOT elf MATCHES "${mark}")
    message(FATAL_ERROR "${AGENT} is not hardened: no ${mark}")
  endif()
endforeach()
