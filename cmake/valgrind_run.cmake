cmake_minimum_required(VERSION 3.25)
# Runs a typical job of the program under valgrind memcheck and fails on any
# invalid access or leak:
#   cmake -DVALGRIND=... -DPROGRAM=... -DLIBRARY=... -DCONFIG=... -DWORK=dir -DVERSION=... -P valgrind_run.cmake

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${PROGRAM} ${LIBRARY} DESTINATION ${WORK})
configure_file(${CONFIG} ${WORK}/SkarvelConfig.cfg COPYONLY)
get_filename_component(program_name ${PROGRAM} NAME)

execute_process(
  COMMAND ${VALGRIND} --tool=memcheck --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite,indirect --track-origins=yes ${WORK}/${program_name}
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE status
  ERROR_VARIABLE report)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "memcheck found errors (exit status ${status}):\n${report}")
endif()
# Read as hex: CR bytes do not survive a text read.
file(READ ${WORK}/SkarvelConfig.log log LIMIT 20 HEX)
string(HEX "SkarvelConfig ${VERSION}" banner)
if(NOT log STREQUAL "${banner}0d0a")
  message(FATAL_ERROR "the run under memcheck wrote no proper log:\n${log}")
endif()
message(STATUS "memcheck: no errors, no leaks")
