cmake_minimum_required(VERSION 3.25)
# Builds the Debian package, unpacks it into a scratch root with dpkg -x and
# checks that it holds the program with the real port library beside it, the
# systemd unit and the configuration, and that the unpacked program runs:
#   cmake -DCPACK=... -DCONFIG=CPackConfig.cmake -DWORK=dir -P check_debian_package.cmake

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/root)
execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${WORK} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB package ${WORK}/*.deb)
if(NOT status EQUAL 0 OR NOT package)
  message(FATAL_ERROR "cpack made no package:\n${out}")
endif()
execute_process(COMMAND dpkg -x ${package} ${WORK}/root RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg -x ${package} failed")
endif()

set(root ${WORK}/root)
foreach(file usr/lib/skarvelconfig/SkarvelConfig usr/lib/skarvelconfig/libLumtorPort.so
             lib/systemd/system/skarvelconfig.service etc/skarvelconfig/SkarvelConfig.cfg)
  if(NOT EXISTS ${root}/${file})
    fail("no ${file}")
  endif()
endforeach()

# The real library, not the stand-in: the stand-in reads environment variables.
file(STRINGS ${root}/usr/lib/skarvelconfig/libLumtorPort.so standin_marks REGEX "LUMTOR_STANDIN")
if(standin_marks)
  fail("the packaged libLumtorPort.so is the stand-in")
endif()

file(READ ${root}/lib/systemd/system/skarvelconfig.service unit)
foreach(wanted "Type=oneshot"
    "ExecStart=/usr/lib/skarvelconfig/SkarvelConfig /etc/skarvelconfig/SkarvelConfig.cfg /LOG=/var/log/skarvelconfig/SkarvelConfig.log"
    "WantedBy=")
  string(FIND "${unit}" "${wanted}" at)
  if(at EQUAL -1)
    fail("the unit lacks \"${wanted}\"")
  endif()
endforeach()

# The unpacked program runs with the packaged configuration and library. The
# shipped configuration sets nothing, so the log holds only the header, or
# lines about this machine's own configurable ports.
execute_process(COMMAND ${root}/usr/lib/skarvelconfig/SkarvelConfig ${root}/etc/skarvelconfig/SkarvelConfig.cfg
                        /LOG=${WORK}/run.log
                RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT EXISTS ${WORK}/run.log)
  fail("the unpacked program did not run (${status})")
else()
  file(READ ${WORK}/run.log log LIMIT 20 HEX)
  string(HEX "SkarvelConfig 1.01" banner)
  if(NOT log STREQUAL "${banner}0d0a")
    fail("the unpacked program wrote no proper log")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "${package}:\n${failures}")
endif()
message(STATUS "${package}: program, real port library, unit and configuration in place")
