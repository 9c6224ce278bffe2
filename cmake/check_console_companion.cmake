cmake_minimum_required(VERSION 3.25)
# The console companion and each run's event, under Wine, as an
# administrator meets them in cmd:
#   cmake "-DWINE=wine-run;loader" -DPROGRAM=SkarvelConfig.exe -DCOMPANION=SkarvelConfig.com
#         -DLIBRARY=LumtorPort.dll -DVERSION=... -DWORK=dir -P check_console_companion.cmake
# Wine traces what ReportEvent was given on its eventlog channel: an
# Information event as "trace", a Warning as "warn", an Error as "err", a
# line each; on its advapi channel each call's type and event ID (ids: one
# TYPE:ID each, as 1:c0000003 for an Error of ID 3) and the source an event
# is registered under. The folder
# holds a blank, as "Program Files" does.

include(${CMAKE_CURRENT_LIST_DIR}/checks.cmake)
# Runs a Windows command in the folder: status, out (CR LF as LF), events.
function(run)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all,+eventlog,fixme+advapi,err+seh LUMTOR_STANDIN_TRACE=trace.txt
                          LUMTOR_STANDIN_PORTS=${ports} LUMTOR_STANDIN_PROCESS=process.txt ${WINE} ${ARGN}
                  WORKING_DIRECTORY ${WORK} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  string(REPLACE "\r\n" "\n" output "${output}")
  string(REGEX MATCHALL "(trace|warn|err):eventlog:ReportEventW [^\n]*" found "${errors}")
  string(REGEX MATCHALL "RegisterEventSourceA [^\n]*" registered "${errors}")
  string(REGEX MATCHALL "ReportEventA \\([^,]*,0x[0-9a-f]+,0x[0-9a-f]+,0x[0-9a-f]+" calls "${errors}")
  list(TRANSFORM calls REPLACE "^ReportEventA \\([^,]*,0x0*([0-9a-f]+),0x[0-9a-f]+,0x([0-9a-f]+)$" "\\1:\\2")
  set(ids "${calls}" PARENT_SCOPE)
  set(sources "${registered}" PARENT_SCOPE)
  set(status ${result} PARENT_SCOPE)
  set(out "${output}" PARENT_SCOPE)
  set(events "${found}" PARENT_SCOPE)
  # QEMU's i386 emulation (32-bit Wine where the kernel runs no 32-bit
  # program) hands Wine a fault with no trap number: Wine says so on its seh
  # channel and makes it an illegal instruction.
  if(errors MATCHES "err:seh:segv_handler Got unexpected trap -1\n")
    set(untrapped TRUE PARENT_SCOPE)
  else()
    set(untrapped FALSE PARENT_SCOPE)
  endif()
endfunction()
function(expect what condition)
  check("${what}" "${condition}" "status ${status}, output:\n${out}events: ${events}")
endfunction()

# The log's lines this check expects, some as patterns.
expected_log_line(unusable leftHand name bad line 2)
set(unusable "${unusable}\n")
expected_log_line(missing loadFailed path missing.cfg)
expected_log_line(loadFailed loadFailed path "[^\n]*")
expected_log_line(aborting aborting)
expected_log_line(notSet1 notSet number 1)
expected_log_line(withoutMode4 withoutMode number 4)
expected_log_line(notFound9 notFound number 9)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${PROGRAM} ${COMPANION} ${LIBRARY} DESTINATION ${WORK})
file(WRITE ${WORK}/SkarvelConfig.cfg "Port1=RS232\r\nPort2=RS422\r\nPort3=RS485\r\nPort4=RS485-4W\r\n")
file(WRITE ${WORK}/bad.cfg "Port1=RS485\r\nbad\r\nPort9=RS232\r\n")
file(WRITE ${WORK}/refused.txt "name=COM1 number=1 set=refuse\n")
set(ports "")

# "SkarvelConfig" in cmd is the companion.
run(cmd /c SkarvelConfig --version)
expect("--version" "status EQUAL 0 AND out STREQUAL \"SkarvelConfig ${VERSION}\n\"")
run(cmd /c SkarvelConfig --check)
expect("--check of a clean file" "status EQUAL 0 AND out STREQUAL \"\"")
run(cmd /c SkarvelConfig --check bad.cfg)
expect("--check of a file with an unusable line" "status EQUAL 1 AND out STREQUAL unusable")
run(cmd /c SkarvelConfig --check missing.cfg)
expect("--check of a missing file, with no run and no event" "status EQUAL 2 AND out MATCHES \"^${missing}\"
       AND NOT EXISTS \"${WORK}/SkarvelConfig.log\" AND events STREQUAL \"\"")

# --list: the stand-in's ports and the entries a run would take; no mode set.
run(cmd /c SkarvelConfig --list bad.cfg)
file(READ ${WORK}/trace.txt trace)
expect("--list" "status EQUAL 0 AND out MATCHES \"COM1 +1 +yes +line 1: RS485\n\" AND out MATCHES \"COM5 +5 +no +-\n\"
       AND out MATCHES \"Port 9 \\\\(line 3: RS232\\\\): no port takes it\n$\" AND NOT trace MATCHES txvr")
# A name beyond ASCII, in the system's code page when redirected: the
# stand-in takes each byte of this file's UTF-8 as a character; code page
# 1252 gives the same bytes back, one without them "?" for each (Wine in
# the C locale), and never the UTF-16 units themselves.
file(WRITE ${WORK}/named.txt "name=Café number=1\n")
set(ports named.txt)
run(cmd /c SkarvelConfig --list bad.cfg)
set(ports "")
expect("--list shows a name beyond ASCII as text" "status EQUAL 0 AND out MATCHES \"\nCaf(é|[?][?]) +1 +yes +line 1: RS485\n\"")

# A plain run: the program's log, the run's outcome as the status, and one
# event. Waiting for the run lock would take 30 s: the companion holds it
# for the program it starts.
file(REMOVE "${WORK}/process.txt")
string(TIMESTAMP started "%s")
run(cmd /c SkarvelConfig)
string(TIMESTAMP ended "%s")
math(EXPR took "${ended} - ${started}")
expect("the companion does not wait for the lock it holds for the program" "took LESS 30")
expect("a run through the companion, all set: an Information event" "status EQUAL 0 AND EXISTS \"${WORK}/SkarvelConfig.log\"
       AND out MATCHES \"^SkarvelConfig ${VERSION}\n[0-9:]+\n$\" AND events MATCHES \"^trace:eventlog:ReportEventW L.SkarvelConfig \"
       AND ids STREQUAL 4:40000001")
file(READ "${WORK}/process.txt" process)
expect("the program is started by its quoted path, with the companion's parameters, and fails critical errors itself"
       "process MATCHES \"^command line: \\\"[A-Z]:[^\\\"\n]+ check.SkarvelConfig.exe\\\"\nerror mode: 32769\n$\"")
expect("the event's source is SkarvelConfig" "sources MATCHES \"^RegisterEventSourceA \\\\(\\\\(null\\\\),.SkarvelConfig.\\\\)\"")
set(ports refused.txt)
run(SkarvelConfig.exe)
expect("a failed port is a Warning event"
       "events MATCHES \"^warn:eventlog:ReportEventW L.SkarvelConfig [^\n]*${notSet1}\" AND ids STREQUAL 2:80000002")
set(ports "")
file(WRITE ${WORK}/SkarvelConfig.cfg "; sets nothing until edited\r\n")
run(cmd /c SkarvelConfig)
expect("the shipped configuration: ports left alone, status 0 and an Information event"
       "status EQUAL 0 AND out MATCHES \"\n${withoutMode4}\n$\"
       AND events MATCHES \"^trace:eventlog:ReportEventW L.SkarvelConfig \"")
file(REMOVE "${WORK}/process.txt")
run(cmd /c SkarvelConfig bad.cfg)
expect("a run with problems: status 1 and a Warning event"
       "status EQUAL 1 AND out MATCHES \"\n${notFound9}\n$\" AND events MATCHES \"^warn:eventlog:ReportEventW L.SkarvelConfig \"")
file(READ "${WORK}/process.txt" process)
expect("the companion's parameters follow the program's path as typed"
       "process MATCHES \"^command line: \\\"[^\\\"\n]+.SkarvelConfig.exe\\\" bad.cfg\n\"")
file(REMOVE ${WORK}/SkarvelConfig.cfg)
run(SkarvelConfig.exe)
expect("an unreadable configuration is an Error event"
       "events MATCHES \"^err:eventlog:ReportEventW L[^\n]*${loadFailed}\" AND ids STREQUAL 1:c0000003")
run(cmd /c SkarvelConfig)
expect("an unreadable configuration through the companion: status 2, with Windows' reason"
       "status EQUAL 2 AND out MATCHES \"\n${aborting}\nSkarvelConfig could not read its configuration [^\n]*SkarvelConfig.cfg: .+\n$\"")
file(WRITE ${WORK}/SkarvelConfig.cfg "")
run(cmd /c SkarvelConfig "/LOG=C:\\no\\such\\folder\\x.log")
expect("an unwritable log is a run not done: status 2" "status EQUAL 2")
expect("an unwritable log: the companion says why, and it is an Error event with the path"
       "out MATCHES \"^SkarvelConfig could not write its log C:.no.such.folder.x.log: .+\n$\"
       AND events MATCHES \"^err:eventlog:ReportEventW L[^\n]*The log could not be written to C:[^\n]*x.log: \"")

# No library beside it: --list says why, and the list is not done; a run
# never starts the program, and says so where fleets look, in an Error event.
# (A library that lacks a function stops Windows' loader the same way; Wine's
# loader starts the program with a stub in the function's place.)
file(RENAME "${WORK}/LumtorPort.dll" "${WORK}/away.dll")
run(cmd /c SkarvelConfig --list)
expect("--list without the library: its reason, status 2"
       "status EQUAL 2 AND out MATCHES \"^SkarvelConfig: [^\n]*LumtorPort.dll cannot be loaded: [^\n]+\n$\"")
run(cmd /c SkarvelConfig)
expect("a run without the library: status 2, the reason in words, and an Error event that says it never ran"
       "status EQUAL 2 AND out MATCHES \"^SkarvelConfig: [^\n]*SkarvelConfig.exe cannot be started: a library it imports was not found[^\n]*LumtorPort.dll[^\n]*\n$\"
       AND events MATCHES \"^err:eventlog:ReportEventW L.SkarvelConfig: [^\n]*cannot be started: a library it imports was not found\"
       AND ids STREQUAL 1:c0000004")
file(RENAME "${WORK}/away.dll" "${WORK}/LumtorPort.dll")

# A fault inside the library: the program's failure report is an Error
# event with its text; the companion adds none.
file(WRITE ${WORK}/faulting.txt "name=COM1 number=1 fault=enum\n")
set(ports faulting.txt)
run(cmd /c SkarvelConfig)
set(ports "")
set(report "^err:eventlog:ReportEventW [^\n]*SkarvelConfig.exe ended through its failure report, writing no log:")
expect("a fault in the library: status 2, and one Error event, the failure report's"
       "status EQUAL 2 AND out MATCHES \"^SkarvelConfig ended with status 1 before writing its log.\n$\"
       AND (events MATCHES \"\${report}[^\n]*Exception EAccessViolation in module LumtorPort.dll at \"
            OR (untrapped AND events MATCHES \"\${report}[^\n]*Exception EExternalException in module LumtorPort.dll at [^\n]*External exception C000001D\"))
       AND ids STREQUAL 1:c0000003")

# The last boot's log, written by the start-up task, in a folder this run
# may not change (an administrator's prompt that is not elevated): the old
# log is not shown as this run's. Wine run by root honours no permissions:
# there the log is made immutable, which stops root too.
file(WRITE ${WORK}/SkarvelConfig.log "SkarvelConfig 1.00\r\n2026:01:01::0:00:00\r\nthe last boot's\r\n")
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(uid STREQUAL "0")
  execute_process(COMMAND chattr +i ${WORK}/SkarvelConfig.log RESULT_VARIABLE locked)
else()
  file(CHMOD ${WORK} PERMISSIONS OWNER_READ OWNER_EXECUTE)
  set(locked 0)
endif()
if(locked EQUAL 0)
  run(cmd /c SkarvelConfig)
  execute_process(COMMAND chattr -i ${WORK}/SkarvelConfig.log OUTPUT_QUIET ERROR_QUIET)
  file(CHMOD ${WORK} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  expect("an old log the run could not replace is not shown: status 2, the reason and the hint"
         "status EQUAL 2 AND out MATCHES \"^SkarvelConfig could not write its log [^\n]*SkarvelConfig.log: [^\n]+ can write it.\n$\"")
else()
  message(STATUS "chattr +i refused here: the old log's case is not checked")
endif()

checks_done("the companion checked, listed and ran; each run recorded its event")
