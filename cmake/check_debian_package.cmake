cmake_minimum_required(VERSION 3.25)
# Builds the Debian package and checks it as a Debian developer would:
#   cmake -DCPACK=... -DCONFIG=CPackConfig.cmake -DWORK=dir -DARCHITECTURE=amd64
#         -DVERSION=...
#         -DOBJDUMP=... [-DRUN=ON] -P check_debian_package.cmake
# Its label and dependencies match its binaries, it holds what it should,
# lintian (where installed) finds no error or warning, the units' exposure
# (where systemd-analyze is installed) is 2.0 or less, and, with RUN, the
# unpacked program runs and answers --version, and a run of the shipped
# configuration through SkarvelConfigRun is clean.

include(${CMAKE_CURRENT_LIST_DIR}/checks.cmake)

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
set(lib ${root}/usr/lib/skarvelconfig)

foreach(file usr/lib/skarvelconfig/SkarvelConfig usr/lib/skarvelconfig/libLumtorPort.so
             usr/lib/skarvelconfig/SkarvelConfigPorts usr/lib/skarvelconfig/SkarvelConfigRun
             usr/lib/skarvelconfig/port-added usr/sbin/skarvelconfig
             usr/lib/systemd/system/skarvelconfig.service usr/lib/systemd/system/skarvelconfig-port@.service
             usr/lib/udev/rules.d/60-skarvelconfig.rules usr/share/skarvelconfig/SkarvelConfig.cfg
             usr/share/doc/skarvelconfig/copyright usr/share/doc/skarvelconfig/changelog.gz
             usr/share/man/man8/skarvelconfig.8.gz)
  if(NOT EXISTS ${root}/${file})
    fail("no ${file}")
  endif()
endforeach()

# The real library, not the stand-in: the stand-in reads environment variables.
file(STRINGS ${lib}/libLumtorPort.so standin_marks REGEX "LUMTOR_STANDIN")
if(standin_marks)
  fail("the packaged libLumtorPort.so is the stand-in")
endif()

# Labelled with the binaries' architecture, depending on the C library
# version their newest symbol needs.
execute_process(COMMAND dpkg-deb -f ${package} Architecture OUTPUT_VARIABLE label OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT label STREQUAL ARCHITECTURE)
  fail("labelled ${label}, holds ${ARCHITECTURE} binaries")
endif()
set(newest 0)
foreach(binary SkarvelConfig libLumtorPort.so SkarvelConfigPorts SkarvelConfigRun)
  execute_process(COMMAND ${OBJDUMP} -T ${lib}/${binary} OUTPUT_VARIABLE symbols)
  string(REGEX MATCHALL "GLIBC_[0-9.]+" versions "${symbols}")
  foreach(version IN LISTS versions)
    string(REPLACE "GLIBC_" "" version "${version}")
    if(version VERSION_GREATER newest)
      set(newest ${version})
    endif()
  endforeach()
  execute_process(COMMAND ${OBJDUMP} -h ${lib}/${binary} OUTPUT_VARIABLE sections)
  if(sections MATCHES "\\.debug_info")
    fail("${binary} is not stripped")
  endif()
endforeach()
execute_process(COMMAND dpkg-deb -f ${package} Depends OUTPUT_VARIABLE depends OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT depends STREQUAL "libc6 (>= ${newest})")
  fail("Depends: ${depends}, while the binaries need GLIBC ${newest}")
endif()

# No conffile: the configuration is made once by the package, so an upgrade
# whose shipped default changed never stops to ask.
execute_process(COMMAND dpkg-deb -I ${package} OUTPUT_VARIABLE control)
if(control MATCHES "conffiles")
  fail("the package lists conffiles: an upgrade could stop to ask")
endif()

find_program(LINTIAN lintian)
if(LINTIAN)
  execute_process(COMMAND ${LINTIAN} --fail-on error,warning ${package}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    fail("lintian:\n${out}")
  endif()
else()
  message(STATUS "lintian is not installed: not checked")
endif()

find_program(SYSTEMD_ANALYZE systemd-analyze)
if(SYSTEMD_ANALYZE)
  foreach(unit skarvelconfig.service skarvelconfig-port@.service)
    execute_process(COMMAND ${SYSTEMD_ANALYZE} security --offline=true --threshold=20 --no-pager
                            ${root}/usr/lib/systemd/system/${unit}
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REGEX MATCH "Overall exposure level[^\n]*" level "${out}")
    if(NOT status EQUAL 0)
      fail("${unit}: ${level} (at most 2.0 wanted)${err}")
    endif()
  endforeach()
else()
  message(STATUS "systemd-analyze is not installed: the units' exposure is not checked")
endif()

if(RUN)
  execute_process(COMMAND ${lib}/SkarvelConfig --version OUTPUT_VARIABLE version RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT version STREQUAL "SkarvelConfig ${VERSION}\n")
    fail("the unpacked program does not answer --version (${status}: ${version})")
  endif()
  # The shipped configuration sets nothing, so the log holds only the header,
  # or lines about this machine's own configurable ports.
  execute_process(COMMAND ${lib}/SkarvelConfig ${root}/usr/share/skarvelconfig/SkarvelConfig.cfg /LOG=${WORK}/run.log
                  RESULT_VARIABLE status)
  file(READ ${WORK}/run.log log LIMIT 20 HEX)
  string(HEX "SkarvelConfig ${VERSION}" banner)
  if(NOT status EQUAL 0 OR NOT log STREQUAL "${banner}0d0a")
    fail("the unpacked program did not run (${status})")
  endif()
  # As the command runs it: the shipped configuration is a clean run.
  execute_process(COMMAND ${lib}/SkarvelConfigRun ${root}/usr/share/skarvelconfig/SkarvelConfig.cfg /LOG=${WORK}/watched.log
                  RESULT_VARIABLE status OUTPUT_VARIABLE shown ERROR_VARIABLE shown)
  if(NOT status EQUAL 0 OR NOT shown MATCHES "^SkarvelConfig ${VERSION}\n[0-9:]+\n")
    fail("the unpacked SkarvelConfigRun did not show a clean run (${status}):\n${shown}")
  endif()
endif()

checks_done("${package}: ${label}, Depends ${depends}, contents, lintian and units as they should be")
