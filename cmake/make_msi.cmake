cmake_minimum_required(VERSION 3.25)
# Makes the Windows installer:
#   cmake -DWIXL=... -DMSIBUILD=... -DSTRIP=... -DSOURCE_DIR=... -DPROGRAM=SkarvelConfig.exe
#         -DVERSION=1.01.0 -DOUTPUT=file.msi -DWORK=dir -P make_msi.cmake
# The stripped program, the README, the example configuration and a
# configuration that sets nothing until edited, into Program Files; a
# scheduled task as SYSTEM that runs the program at every start-up, before
# anyone logs on (left out with the property NOSTARTUPTASK=1).

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${STRIP} -o ${WORK}/SkarvelConfig.exe ${PROGRAM} COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE ${SOURCE_DIR}/README.md ${WORK}/README.md)
file(COPY_FILE ${SOURCE_DIR}/examples/SkarvelConfig.cfg ${WORK}/SkarvelConfig.example.cfg)
file(COPY_FILE ${SOURCE_DIR}/packaging/windows/SkarvelConfig.cfg ${WORK}/SkarvelConfig.cfg)

# The same GUID for the same version, another for the next.
string(UUID program_guid NAMESPACE 6E1F0C52-8C2B-4D1A-9E55-2F4C7A0B9D31 NAME "SkarvelConfig program ${VERSION}"
       TYPE SHA1 UPPER)
execute_process(COMMAND ${WIXL} -a x86 -D Version=${VERSION} -D ProgramGuid=${program_guid} -o ${OUTPUT}
                        ${SOURCE_DIR}/packaging/windows/SkarvelConfig.wxs
                WORKING_DIRECTORY ${WORK} COMMAND_ERROR_IS_FATAL ANY)

# What wixl cannot say. The configuration is permanent (0x10) and never
# overwritten (0x80): an administrator's edits survive upgrade and uninstall.
# The task's actions run deferred, as the system (no impersonation), and a
# failure does not stop the installation (3170 = 34 + 64 + 1024 + 2048).
set(task "\"[SystemFolder]schtasks.exe\" /Create /F /TN SkarvelConfig /SC ONSTART /RU SYSTEM /TR \"\\\"[INSTALLDIR]SkarvelConfig.exe\\\"\"")
set(untask "\"[SystemFolder]schtasks.exe\" /Delete /F /TN SkarvelConfig")
foreach(query
    "UPDATE Component SET Attributes = 144 WHERE Component = 'Configuration'"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RegisterStartupTask', 3170, 'SystemFolder', '${task}')"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RemoveStartupTask', 3170, 'SystemFolder', '${untask}')"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RemoveStartupTask', 'REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE AND NOT NOSTARTUPTASK', 3499)"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RegisterStartupTask', 'NOT REMOVE AND NOT NOSTARTUPTASK', 6401)")
  execute_process(COMMAND ${MSIBUILD} ${OUTPUT} -q "${query}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
message(STATUS "${OUTPUT}: made")
