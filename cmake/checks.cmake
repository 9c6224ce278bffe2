# What every CMake check script shares: each verdict printed as it is made,
# as the Python tests print theirs (tests/support/checks.py), and a summary
# that fails the script when any check failed.
#   check(WHAT CONDITION [DETAIL])  CONDITION as if() reads it
#   fail(WHAT)                      a check that failed
#   checks_done(MESSAGE)            the counts, fatal when any check failed
#   expected_log_line(OUT NAME [PLACEHOLDER VALUE]...)
#                                   a line of tests/support/log_lines.txt, filled
set(SKARVEL_CHECKS_DIR ${CMAKE_CURRENT_LIST_DIR})

function(check what condition)
  cmake_language(EVAL CODE "if(${condition})\nset(met TRUE)\nendif()")
  if(met)
    set_property(GLOBAL APPEND PROPERTY skarvel_checks_passed "${what}")
    message(NOTICE "ok      ${what}")
  elseif(ARGC GREATER 2)
    fail("${what}: ${ARGV2}")
  else()
    fail("${what}")
  endif()
endfunction()

function(fail what)
  # One entry, whatever lists the detail holds.
  string(REPLACE ";" "," entry "${what}")
  set_property(GLOBAL APPEND PROPERTY skarvel_checks_failed "${entry}")
  message(NOTICE "FAILED  ${what}")
endfunction()

function(checks_done success)
  get_property(passed GLOBAL PROPERTY skarvel_checks_passed)
  get_property(failed GLOBAL PROPERTY skarvel_checks_failed)
  list(LENGTH passed passed)
  list(LENGTH failed failed)
  # A script that only says what failed counts nothing that passed.
  if(passed GREATER 0 OR failed GREATER 0)
    message(NOTICE "${passed} passed, ${failed} failed")
  endif()
  if(failed GREATER 0)
    message(FATAL_ERROR "${failed} check(s) failed")
  endif()
  message(STATUS "${success}")
endfunction()

function(expected_log_line out name)
  file(STRINGS ${SKARVEL_CHECKS_DIR}/../tests/support/log_lines.txt lines REGEX "^${name}: ")
  string(REGEX REPLACE "^${name}: " "" text "${lines}")
  string(REPLACE "\\t" "\t" text "${text}")
  set(values ${ARGN})
  while(values)
    list(POP_FRONT values placeholder value)
    string(REPLACE "{${placeholder}}" "${value}" text "${text}")
  endwhile()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
