cmake_minimum_required(VERSION 3.25)
# Makes the Windows installer:
#   cmake -DWIXL=... -DMSIBUILD=... -DSTRIP=... -DSOURCE_DIR=... -DGUIDE=guide.md -DPROGRAM=SkarvelConfig.exe
#         -DCOMPANION=SkarvelConfig.com -DACTIONS=SkarvelConfigInstallerActions.dll
#         -DVERSION=... -DOUTPUT=file.msi -DWORK=dir [-DSKARVEL_SIGN_...=...] -P make_msi.cmake
# The stripped program and its console companion, the administrator's guide as README.md, the example
# configuration and a configuration that sets nothing until edited, into
# Program Files; a scheduled task as SYSTEM that runs the program through its
# companion at every start-up, before anyone logs on; the event log's source;
# the installer's own steps for a configuration and a port library given as
# CONFIGFILE and PORTLIBRARY. Given a signing certificate (sign_windows.cmake),
# the programs and the installer's steps are signed before they go in, and
# the installer once it is complete.

# Made in the work folder and put in place only when complete (and signed):
# a failure leaves no installer, not an unsigned one.
file(REMOVE_RECURSE ${WORK} ${OUTPUT})
set(made ${WORK}/installer.msi)
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${STRIP} -o ${WORK}/SkarvelConfig.exe ${PROGRAM} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${STRIP} -o ${WORK}/SkarvelConfig.com ${COMPANION} COMMAND_ERROR_IS_FATAL ANY)
set(actions SkarvelConfigInstallerActions.dll)
execute_process(COMMAND ${STRIP} -o ${WORK}/${actions} ${ACTIONS} COMMAND_ERROR_IS_FATAL ANY)
include(${CMAKE_CURRENT_LIST_DIR}/sign_windows.cmake)
sign_windows_files(${WORK} ${WORK}/SkarvelConfig.exe ${WORK}/SkarvelConfig.com ${WORK}/${actions})
file(COPY_FILE ${GUIDE} ${WORK}/README.md)
file(COPY_FILE ${SOURCE_DIR}/examples/SkarvelConfig.cfg ${WORK}/SkarvelConfig.example.cfg)
file(COPY_FILE ${SOURCE_DIR}/packaging/windows/SkarvelConfig.cfg ${WORK}/SkarvelConfig.cfg)
file(COPY_FILE ${SOURCE_DIR}/packaging/windows/SkarvelConfig.task.head ${WORK}/SkarvelConfig.task.head)

# The same GUIDs for the same version, others for the next.
string(UUID program_guid NAMESPACE 6E1F0C52-8C2B-4D1A-9E55-2F4C7A0B9D31 NAME "SkarvelConfig program ${VERSION}"
       TYPE SHA1 UPPER)
string(UUID product_code NAMESPACE 6E1F0C52-8C2B-4D1A-9E55-2F4C7A0B9D31 NAME "SkarvelConfig product ${VERSION}"
       TYPE SHA1 UPPER)
execute_process(COMMAND ${WIXL} -a x86 -D Version=${VERSION} -D ProgramGuid=${program_guid}
                        -D ProductCode=${product_code} -o ${made} ${SOURCE_DIR}/packaging/windows/SkarvelConfig.wxs
                WORKING_DIRECTORY ${WORK} COMMAND_ERROR_IS_FATAL ANY)

# The start-up task, as SYSTEM at every start, before anyone logs on. It
# runs the console companion, which runs the program and ends with the run's
# outcome (0 clean, 1 problems, 2 not done): the task's last result says it.
# Vista and later: registered from a task definition (SkarvelConfig.task.head
# says what it sets). The program's path is known only at installation, so
# cmd.exe, started in the program's folder, writes it after the head into
# SkarvelConfig.task.xml (< and > escaped; the path, in quotes, needs nothing).
# Each action's command stays within the 255 characters the table allows.
set(schtasks "\"[SystemFolder]schtasks.exe\"")
set(definition "SkarvelConfig.task.xml")
set(write_definition "\"[SystemFolder]cmd.exe\" /d /s /c \">${definition} type SkarvelConfig.task.head&& >>${definition} echo ^<Command^>\"%CD%\\SkarvelConfig.com\"^</Command^>^</Exec^>^</Actions^>^</Task^>\"")
set(task "${schtasks} /Create /TN SkarvelConfig /XML \"[INSTALLDIR]${definition}\" /F")
# Windows XP: its schtasks knows no task definitions and no /F; an old task
# of the same name is deleted first.
set(task_xp "${schtasks} /Create /TN SkarvelConfig /SC ONSTART /RU SYSTEM /TR \"\\\"[INSTALLDIR]SkarvelConfig.com\\\"\"")
set(untask "${schtasks} /Delete /TN SkarvelConfig /F")

# What wixl cannot say. The configuration is permanent (0x10) and never
# overwritten (0x80): an administrator's edits survive upgrade and uninstall.
# The task's actions run deferred (1024), as the system (no impersonation,
# 2048): 3106 fails the installation when the task cannot be registered, and
# it is rolled back (rollback: 256); 3170 goes on whatever the result
# (continue: 64): deleting a task that may not be there, and on XP, where
# the result cannot be checked here (see docs/windows-deployment.md).
# The given files' steps are in the DLL (1): the check immediate, before
# anything changes, while the old version is still installed; the copy
# deferred as the system (3073) once the task is registered; the rollback
# (3329) removes the checked copies if the installation fails after the check.
set(install "NOT REMOVE")
set(vista "VersionNT >= 600")
set(xp "VersionNT < 600")
set(given "${install} AND (CONFIGFILE OR PORTLIBRARY)")
foreach(query
    "UPDATE Component SET Attributes = 144 WHERE Component = 'Configuration'"
    # The event source's message file, as Windows wants it: an expandable
    # string (wixl writes a plain one), under the key without a trailing "\\".
    "UPDATE Registry SET Value = '#%[#SkarvelConfigExe]' WHERE Name = 'EventMessageFile'"
    "UPDATE Registry SET `Key` = 'SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\SkarvelConfig' WHERE Component_ = 'Program'"
    # The task definition goes with the program (2: when it is removed).
    "INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode) VALUES ('TaskDefinition', 'Program', 'SkarvelConfig.task.xml', 'INSTALLDIR', 2)"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('WriteStartupTask', 3106, 'INSTALLDIR', '${write_definition}')"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RegisterStartupTask', 3106, 'SystemFolder', '${task}')"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('ClearStartupTaskXP', 3170, 'SystemFolder', '${untask}')"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RegisterStartupTaskXP', 3170, 'SystemFolder', '${task_xp}')"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('UnregisterStartupTaskOnRollback', 3426, 'SystemFolder', '${untask}')"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RemoveStartupTask', 3170, 'SystemFolder', '${untask}')"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RemoveStartupTask', 'REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE', 3499)"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('UnregisterStartupTaskOnRollback', '${install} AND NOT OLDERVERSIONFOUND', 6400)"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('WriteStartupTask', '${install} AND ${vista}', 6401)"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RegisterStartupTask', '${install} AND ${vista}', 6402)"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('ClearStartupTaskXP', '${install} AND ${xp}', 6403)"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RegisterStartupTaskXP', '${install} AND ${xp}', 6404)"
    # Passed from the command line to the installation's server, also where
    # it is managed (group policy, Configuration Manager).
    "UPDATE Property SET Value = 'OLDERVERSIONFOUND;NEWERVERSIONFOUND;CONFIGFILE;PORTLIBRARY' WHERE Property = 'SecureCustomProperties'"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('CheckGivenFiles', 1, 'InstallerActions', 'CheckGivenFiles')"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('ForgetGivenFiles', 3329, 'InstallerActions', 'ForgetGivenFiles')"
    "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('CopyGivenFiles', 3073, 'InstallerActions', 'CopyGivenFiles')"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('CheckGivenFiles', '${given}', 1001)"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('ForgetGivenFiles', '${given}', 1501)"
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('CopyGivenFiles', '${given}', 6405)")
  execute_process(COMMAND ${MSIBUILD} ${made} -q "${query}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
sign_windows_files(${WORK} ${made})
file(COPY_FILE ${made} ${OUTPUT})
if(signing)
  message(STATUS "${OUTPUT}: made and signed")
else()
  message(STATUS "${OUTPUT}: made")
endif()
