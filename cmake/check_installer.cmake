cmake_minimum_required(VERSION 3.25)
# The Windows installer under 32-bit Wine, as an administrator uses it:
#   cmake -DWINE=... -DWIXL=... -DMSIBUILD=... -DMSIINFO=... -DSTRIP=... -DOBJDUMP=... -DSOURCE_DIR=...
#         -DPROGRAM=SkarvelConfig.exe -DLIBRARY=LumtorPort.dll -DVERSION=1.01.0 -DWORK=dir -P check_installer.cmake
# Installs it, finds the files in Program Files, runs the installed program,
# upgrades to a later version with the configuration edited, and uninstalls.
# Wine's schtasks cannot create a start-up task, so the task's actions are
# checked in the installer's tables and left out of the runs (NOSTARTUPTASK).

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()
function(wine)
  execute_process(COMMAND ${WINE} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  set(status ${result} PARENT_SCOPE)
  set(out "${output}" PARENT_SCOPE)
endfunction()
function(make_installer version output)
  execute_process(COMMAND ${CMAKE_COMMAND} -DWIXL=${WIXL} -DMSIBUILD=${MSIBUILD} -DSTRIP=${STRIP}
                          -DSOURCE_DIR=${SOURCE_DIR} -DPROGRAM=${PROGRAM} -DVERSION=${version} -DOUTPUT=${output}
                          -DWORK=${WORK}/staging -P ${SOURCE_DIR}/cmake/make_msi.cmake COMMAND_ERROR_IS_FATAL ANY)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
make_installer(${VERSION} ${WORK}/first.msi)
make_installer(${VERSION}.1 ${WORK}/next.msi)

# The start-up task: created at installation as SYSTEM at every start,
# before anyone logs on; deleted at uninstallation, not at an upgrade.
execute_process(COMMAND ${MSIINFO} export ${WORK}/first.msi CustomAction OUTPUT_VARIABLE actions)
execute_process(COMMAND ${MSIINFO} export ${WORK}/first.msi InstallExecuteSequence OUTPUT_VARIABLE sequence)
if(NOT actions MATCHES "RegisterStartupTask\t3170\tSystemFolder\t\"\\[SystemFolder\\]schtasks\\.exe\" /Create /F /TN SkarvelConfig /SC ONSTART /RU SYSTEM /TR \"\\\\\"\\[INSTALLDIR\\]SkarvelConfig\\.exe\\\\\"\"")
  fail("no start-up task as SYSTEM among the custom actions:\n${actions}")
endif()
if(NOT sequence MATCHES "RegisterStartupTask\tNOT REMOVE AND NOT NOSTARTUPTASK\t"
   OR NOT sequence MATCHES "RemoveStartupTask\tREMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE AND NOT NOSTARTUPTASK\t")
  fail("the task's actions are not sequenced as they should be:\n${sequence}")
endif()

# Where the 32-bit installer puts the program, as Wine sees it and as this machine does.
wine(cmd /c "echo %ProgramFiles%")
string(STRIP "${out}" program_files)
execute_process(COMMAND ${WINE} winepath.exe -u "${program_files}\\SkarvelConfig" OUTPUT_VARIABLE folder
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE "${folder}")

wine(msiexec /i "Z:${WORK}/first.msi" /qn NOSTARTUPTASK=1)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "installation failed (${status})")
endif()
foreach(file SkarvelConfig.exe SkarvelConfig.cfg SkarvelConfig.example.cfg README.md)
  if(NOT EXISTS "${folder}/${file}")
    fail("not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND ${OBJDUMP} -h "${folder}/SkarvelConfig.exe" OUTPUT_VARIABLE sections)
if(sections MATCHES "\\.debug_info")
  fail("the installed program is not stripped")
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
  if(NOT banner MATCHES "^SkarvelConfig 1.01" OR NOT log MATCHES "Port 1 found with no mode assigned.")
    fail("the installed program's log: ${log}")
  endif()
endif()

# An upgrade keeps the administrator's configuration.
file(WRITE ${WORK}/edited.cfg "Port1=RS485\r\n")
file(COPY_FILE ${WORK}/edited.cfg "${folder}/SkarvelConfig.cfg")
wine(msiexec /i "Z:${WORK}/next.msi" /qn NOSTARTUPTASK=1)
file(SHA256 ${WORK}/edited.cfg edited)
file(SHA256 "${folder}/SkarvelConfig.cfg" kept)
if(NOT status EQUAL 0 OR NOT kept STREQUAL edited)
  fail("upgrade (${status}): the edited configuration was not kept")
endif()
if(NOT EXISTS "${folder}/SkarvelConfig.exe")
  fail("the upgrade left no program")
endif()

# Uninstalling removes the program and keeps the configuration.
wine(msiexec /x "Z:${WORK}/next.msi" /qn NOSTARTUPTASK=1)
if(NOT status EQUAL 0 OR EXISTS "${folder}/SkarvelConfig.exe" OR EXISTS "${folder}/README.md")
  fail("uninstallation (${status}) left the program")
endif()
if(NOT EXISTS "${folder}/SkarvelConfig.cfg")
  fail("uninstallation removed the administrator's configuration")
endif()
file(REMOVE_RECURSE "${folder}")

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "installed, ran, upgraded keeping the configuration, uninstalled")
