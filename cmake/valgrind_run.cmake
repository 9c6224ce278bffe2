cmake_minimum_required(VERSION 3.25)
# Runs a typical job of the program under valgrind memcheck and fails on any
# invalid access or leak:
#   cmake -DVALGRIND=... -DPROGRAM=... -DLIBRARY=... -DCONFIG=... -DWORK=dir -DVERSION=... -P valgrind_run.cmake

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${PROGRAM} ${LIBRARY} DESTINATION ${WORK})
configure_file(${CONFIG} ${WORK}/SkarvelConfig.cfg COPYONLY)
get_filename_component(program_name ${PROGRAM} NAME)

include(${CMAKE_CURRENT_LIST_DIR}/checks.cmake)
execute_process(
  COMMAND ${VALGRIND} --tool=memcheck --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite,indirect --track-origins=yes ${WORK}/${program_name}
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE status
  ERROR_VARIABLE report)
check("memcheck finds no invalid access and no leak" "status EQUAL 0" "exit status ${status}:\n${report}")
# Read as hex: CR bytes do not survive a text read.
file(READ ${WORK}/SkarvelConfig.log log LIMIT 20 HEX)
string(HEX "SkarvelConfig ${VERSION}" banner)
check("the run under memcheck wrote its log" "log STREQUAL \"${banner}0d0a\"" "${log}")
checks_done("memcheck: no errors, no leaks")
