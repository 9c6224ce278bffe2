cmake_minimum_required(VERSION 3.25)
# The Windows installer under 32-bit Wine, as an administrator uses it:
#   cmake -DWINE=... -DWIXL=... -DMSIBUILD=... -DSTRIP=... -DOBJDUMP=... -DSOURCE_DIR=...
#         -DGUIDE=guide.md -DPROGRAM=SkarvelConfig.exe -DCOMPANION=SkarvelConfig.com -DLIBRARY=LumtorPort.dll
#         -DVERSION=... -DWORK=dir
#         -P check_installer.cmake
# With the administrator's guide's command and nothing else: as a Windows
# after Vista, install, run the installed program, upgrade to the next
# version with the configuration edited, refuse a downgrade and a second
# registration, uninstall; then as Windows XP, install and uninstall.
# What Wine cannot show: its schtasks registers a task definition but keeps
# only its settings (not the start-up trigger, the account or the program),
# and knows no XP-style /SC command. So the definition the installer wrote is
# checked, and on XP the commands the installer ran (traced by Wine).

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()
# Runs a Windows program; `trace` is Wine's trace of every schtasks command.
function(wine)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=trace+schtasks ${WINE} ${ARGN}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  string(REGEX MATCHALL "trace:schtasks:wmain [^\n]*" trace "${errors}")
  set(status ${result} PARENT_SCOPE)
  set(out "${output}" PARENT_SCOPE)
  set(trace "${trace}" PARENT_SCOPE)
endfunction()
function(make_installer version output)
  execute_process(COMMAND ${CMAKE_COMMAND} -DWIXL=${WIXL} -DMSIBUILD=${MSIBUILD} -DSTRIP=${STRIP}
                          -DSOURCE_DIR=${SOURCE_DIR} -DGUIDE=${GUIDE} -DPROGRAM=${PROGRAM} -DCOMPANION=${COMPANION}
                          -DVERSION=${version} -DOUTPUT=${output}
                          -DWORK=${WORK}/staging -P ${SOURCE_DIR}/cmake/make_msi.cmake COMMAND_ERROR_IS_FATAL ANY)
endfunction()
# How many SkarvelConfig products Windows lists (Add or Remove Programs).
# These checks are functions, so that their runs leave the caller's status,
# output and trace alone; each hands its failures up.
function(count_registrations expected when)
  wine(reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s)
  string(REGEX MATCHALL "DisplayName[ \t]+REG_SZ[ \t]+SkarvelConfig\r?\n" names "${out}")
  list(LENGTH names count)
  if(NOT count EQUAL expected)
    fail("${when}: ${count} registrations instead of ${expected}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()
# The event log's source: registered for the installed program, or not at all.
function(check_event_source registered when)
  wine(reg query "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\SkarvelConfig")
  string(REPLACE "\\" "/" values "${out}")
  if(registered AND NOT (status EQUAL 0 AND values MATCHES "EventMessageFile[ \t]+REG_EXPAND_SZ[ \t]+[^\n]*/SkarvelConfig/SkarvelConfig\\.exe"
                         AND values MATCHES "TypesSupported[ \t]+REG_DWORD[ \t]+0x7"))
    fail("${when}: the event source is not registered for the program: ${values}")
  elseif(NOT registered AND status EQUAL 0)
    fail("${when}: the event source is still registered")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()
function(install_msi msi)
  wine(msiexec /i "Z:${msi}" /qn)
  set(status ${status} PARENT_SCOPE)
  set(trace "${trace}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
make_installer(${VERSION} ${WORK}/first.msi)
# The program names itself by the first two fields; the next version as
# Windows Installer counts versions: the first three fields.
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" program_version "${VERSION}")
math(EXPR next_minor "${CMAKE_MATCH_2} + 1")
make_installer(${CMAKE_MATCH_1}.${next_minor}.0 ${WORK}/next.msi)

# Where the 32-bit installer puts the program, as Wine sees it and as this machine does.
wine(cmd /c "echo %ProgramFiles%")
string(STRIP "${out}" program_files)
execute_process(COMMAND ${WINE} winepath.exe -u "${program_files}\\SkarvelConfig" OUTPUT_VARIABLE folder
                OUTPUT_STRIP_TRAILING_WHITESPACE)
# The task scheduler's own store, in the system's (not the 32-bit) folder.
execute_process(COMMAND ${WINE} winepath.exe -u "C:\\windows" OUTPUT_VARIABLE windows OUTPUT_STRIP_TRAILING_WHITESPACE)
set(task "${windows}/system32/tasks/SkarvelConfig")
file(REMOVE_RECURSE "${folder}")
file(REMOVE "${task}")

install_msi(${WORK}/first.msi)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "installation failed (${status})")
endif()
foreach(file SkarvelConfig.exe SkarvelConfig.com SkarvelConfig.cfg SkarvelConfig.example.cfg README.md)
  if(NOT EXISTS "${folder}/${file}")
    fail("not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND ${OBJDUMP} -h "${folder}/SkarvelConfig.exe" OUTPUT_VARIABLE sections)
if(sections MATCHES "\\.debug_info")
  fail("the installed program is not stripped")
endif()
count_registrations(1 "installed")
check_event_source(TRUE "installed")

# The start-up task: the definition the installer wrote and registered.
string(REPLACE "\\" "\\\\" command "\"${program_files}\\SkarvelConfig\\SkarvelConfig.exe\"")
string(REPLACE "(" "\\(" command "${command}")
string(REPLACE ")" "\\)" command "${command}")
file(READ "${folder}/SkarvelConfig.task.xml" definition)
foreach(wanted "<BootTrigger><Enabled>true</Enabled></BootTrigger>" "<UserId>S-1-5-18</UserId>"
        "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
        "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>" "<StartWhenAvailable>true</StartWhenAvailable>"
        "<ExecutionTimeLimit>PT5M</ExecutionTimeLimit>" "<Command>${command}</Command></Exec></Actions></Task>")
  if(NOT definition MATCHES "${wanted}")
    fail("the task definition lacks ${wanted}:\n${definition}")
  endif()
endforeach()
if(NOT trace MATCHES "L\"/Create\" L\"/TN\" L\"SkarvelConfig\" L\"/XML\"")
  fail("the task was not registered from its definition: ${trace}")
endif()
if(EXISTS "${task}")
  file(READ "${task}" registered HEX)
  string(REGEX REPLACE "(..)00" "\\1" registered "${registered}") # UTF-16, ASCII text
  string(HEX "<ExecutionTimeLimit>PT5M</ExecutionTimeLimit>" limit)
  string(FIND "${registered}" "${limit}" at)
  if(at EQUAL -1)
    fail("the registered task does not have the definition's settings")
  endif()
else()
  fail("no task registered")
endif()

# The installed program runs from its folder, beside the port library (the
# stand-in here), with the installed configuration, which sets nothing.
file(COPY_FILE ${LIBRARY} "${folder}/LumtorPort.dll")
wine("${program_files}\\SkarvelConfig\\SkarvelConfig.exe")
if(NOT status EQUAL 0 OR NOT EXISTS "${folder}/SkarvelConfig.log")
  fail("the installed program did not run (${status})")
else()
  file(STRINGS "${folder}/SkarvelConfig.log" log)
  list(GET log 0 banner)
  if(NOT banner MATCHES "^SkarvelConfig ${program_version}" OR NOT log MATCHES "Port 1 found with no mode assigned.")
    fail("the installed program's log: ${log}")
  endif()
endif()

# The next version replaces this one in place and keeps the administrator's
# configuration and the task.
file(WRITE ${WORK}/edited.cfg "Port1=RS485\r\n")
file(COPY_FILE ${WORK}/edited.cfg "${folder}/SkarvelConfig.cfg")
install_msi(${WORK}/next.msi)
file(SHA256 ${WORK}/edited.cfg edited)
file(SHA256 "${folder}/SkarvelConfig.cfg" kept)
if(NOT status EQUAL 0 OR NOT kept STREQUAL edited)
  fail("upgrade (${status}): the edited configuration was not kept")
endif()
if(NOT EXISTS "${folder}/SkarvelConfig.exe" OR NOT EXISTS "${task}" OR NOT EXISTS "${folder}/SkarvelConfig.task.xml")
  fail("the upgrade left no program or no task")
endif()
count_registrations(1 "upgraded")
check_event_source(TRUE "upgraded")

# An older version over a newer one stops and changes nothing; the same
# version again is never registered twice.
file(SHA256 "${folder}/SkarvelConfig.exe" upgraded)
install_msi(${WORK}/first.msi)
file(SHA256 "${folder}/SkarvelConfig.exe" after)
if(status EQUAL 0 OR NOT after STREQUAL upgraded OR NOT EXISTS "${task}")
  fail("a downgrade (${status}) was not refused, or it changed the installation")
endif()
count_registrations(1 "after a downgrade")
install_msi(${WORK}/next.msi)
count_registrations(1 "after the same version again")

# Uninstalling removes the program and the task, and keeps the configuration.
wine(msiexec /x "Z:${WORK}/next.msi" /qn)
if(NOT status EQUAL 0 OR EXISTS "${folder}/SkarvelConfig.exe" OR EXISTS "${folder}/README.md"
   OR EXISTS "${folder}/SkarvelConfig.task.xml")
  fail("uninstallation (${status}) left the program")
endif()
if(EXISTS "${task}")
  fail("uninstallation left the task")
endif()
if(NOT EXISTS "${folder}/SkarvelConfig.cfg")
  fail("uninstallation removed the administrator's configuration")
endif()
count_registrations(0 "uninstalled")
check_event_source(FALSE "uninstalled")
file(REMOVE_RECURSE "${folder}")

# Windows XP: the legacy command, without /F, after deleting any old task.
wine(reg add "HKCU\\Software\\Wine" /v Version /d winxp /f)
wine(cmd /c ver)
if(NOT out MATCHES "5\\.1\\.")
  fail("Wine does not report Windows XP: ${out}")
endif()
install_msi(${WORK}/first.msi)
set(xp_create "L\"/Create\" L\"/TN\" L\"SkarvelConfig\" L\"/SC\" L\"ONSTART\" L\"/RU\" L\"SYSTEM\" L\"/TR\" L\"\\\\\"C:")
if(NOT status EQUAL 0 OR NOT trace MATCHES "L\"/Delete\" L\"/TN\" L\"SkarvelConfig\" L\"/F\";[^;]*${xp_create}[^;]*SkarvelConfig\\.exe\\\\\"\"$")
  fail("as Windows XP (${status}): not deleted and created with the legacy command: ${trace}")
endif()
if(EXISTS "${folder}/SkarvelConfig.task.xml" OR NOT EXISTS "${folder}/SkarvelConfig.exe")
  fail("as Windows XP: a task definition was written, or the program is missing")
endif()
count_registrations(1 "installed as Windows XP")
wine(msiexec /x "Z:${WORK}/first.msi" /qn)
if(NOT status EQUAL 0 OR NOT trace MATCHES "L\"/Delete\" L\"/TN\" L\"SkarvelConfig\" L\"/F\"")
  fail("as Windows XP: uninstallation (${status}) did not delete the task: ${trace}")
endif()
count_registrations(0 "uninstalled as Windows XP")
wine(reg delete "HKCU\\Software\\Wine" /v Version /f)
file(REMOVE_RECURSE "${folder}")

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "installed, ran, upgraded, refused a downgrade, uninstalled; as XP too")
