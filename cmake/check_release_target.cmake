# Checks the 32-bit Windows release target without running it:
#   cmake -DOBJDUMP=... -DPROGRAM=SkarvelConfig.exe -DLIBRARY=LumtorPort.dll -DVERSION=...
#         [-DCONSOLE=ON] -P check_release_target.cmake
# It must be a PE32 program for i386 of the Windows GUI subsystem that Windows
# XP starts (header versions at most 5.01, nothing imported from later), import only
# system DLLs and LumtorPort.dll (exactly its three undecorated names), and carry
# its version resource and a manifest that asks for no elevation. With
# CONSOLE, the console companion: the same, but of the console subsystem and
# importing nothing from LumtorPort.dll, which it loads only to list ports.

cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/checks.cmake)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()

if(NOT headers MATCHES "file format pei-i386")
  fail("not a PE file for i386")
endif()
if(NOT headers MATCHES "Magic[ \t]+010b[ \t]+\\(PE32\\)")
  fail("not PE32")
endif()
set(subsystem "00000002[ \t]+\\(Windows GUI\\)")
if(CONSOLE)
  set(subsystem "00000003[ \t]+\\(Windows CUI\\)")
endif()
if(NOT headers MATCHES "Subsystem[ \t]+${subsystem}")
  fail("not of the subsystem ${subsystem}")
endif()

# Windows XP (5.01) refuses to start a program whose header asks for a later
# system or subsystem version.
foreach(field OSystem Subsystem)
  if(NOT headers MATCHES "Major${field}Version[ \t]+([0-9]+)\nMinor${field}Version[ \t]+([0-9]+)")
    fail("no ${field} version in the header")
  elseif(CMAKE_MATCH_1 GREATER 5 OR (CMAKE_MATCH_1 EQUAL 5 AND CMAKE_MATCH_2 GREATER 1))
    fail("the header asks for ${field} version ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}, later than Windows XP's 5.01")
  endif()
endforeach()

# Every imported DLL, and the names imported from LumtorPort.dll.
set(system_dlls kernel32.dll user32.dll msvcrt.dll advapi32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" dll_lines "${headers}")
set(seen_lumtor FALSE)
foreach(line IN LISTS dll_lines)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll_lower)
  if(dll_lower STREQUAL "lumtorport.dll")
    set(seen_lumtor TRUE)
  elseif(NOT dll_lower IN_LIST system_dlls)
    fail("imports ${dll}, which is neither a system DLL nor LumtorPort.dll")
  endif()
endforeach()
if(CONSOLE AND seen_lumtor)
  fail("imports LumtorPort.dll, which it may only load to list the ports")
elseif(NOT CONSOLE AND NOT seen_lumtor)
  fail("does not import LumtorPort.dll")
endif()

# One imported name: binutils 2.40 prints "<rva> <hint> <name>" (hint in
# decimal), 2.44 "<rva> <ordinal or <none>> <hint> <name>" (hint in hex).
set(import_line "\t[0-9a-f]+[ \t]+((<none>|[0-9]+)[ \t]+)?[0-9a-f]+[ \t]+[A-Za-z_][A-Za-z_0-9@]*")
string(REGEX MATCH "DLL Name: LumtorPort\\.dll\n[^\n]*\n((${import_line}\n)+)" block "${headers}")
string(REGEX MATCHALL "[ \t][A-Za-z_@0-9]+\n" names "${CMAKE_MATCH_1}")
list(TRANSFORM names STRIP)
list(SORT names)
if(NOT CONSOLE AND NOT names STREQUAL "LumtorPortEnum;LumtorPortGetLocation;LumtorPortTXVR")
  fail("imports from LumtorPort.dll: '${names}' instead of the three undecorated names")
endif()

# Nothing that came with Windows Vista or later: Windows XP's loader refuses
# a program that imports a function it lacks. These are the ones run-times
# are known to pull in (thread, locale, file and timing helpers).
set(after_xp
  GetTickCount64 GetSystemTimePreciseAsFileTime GetCurrentProcessorNumber GetErrorMode
  InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW WakeConditionVariable
  WakeAllConditionVariable InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared
  ReleaseSRWLockExclusive ReleaseSRWLockShared TryAcquireSRWLockExclusive TryAcquireSRWLockShared
  InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete InitializeCriticalSectionEx
  FlsAlloc FlsFree FlsGetValue FlsSetValue SetThreadStackGuarantee
  CreateEventExA CreateEventExW CreateMutexExA CreateMutexExW CreateSemaphoreExA CreateSemaphoreExW
  GetFileInformationByHandleEx SetFileInformationByHandle GetFinalPathNameByHandleA GetFinalPathNameByHandleW
  CreateSymbolicLinkA CreateSymbolicLinkW CancelIoEx GetQueuedCompletionStatusEx
  CompareStringEx LCMapStringEx GetLocaleInfoEx GetUserDefaultLocaleName GetDateFormatEx GetTimeFormatEx
  QueryFullProcessImageNameA QueryFullProcessImageNameW RegGetValueA RegGetValueW WerRegisterRuntimeExceptionModule)
string(REGEX MATCHALL "\n${import_line}" import_lines "${headers}")
foreach(line IN LISTS import_lines)
  string(REGEX REPLACE ".*[ 	]" "" name "${line}")
  if(name IN_LIST after_xp)
    fail("imports ${name}, which Windows XP lacks")
  endif()
endforeach()
list(LENGTH import_lines import_count)
if(import_count LESS 20)
  fail("found only ${import_count} imported names: the import table was not read")
endif()

# The stand-in exports exactly those names, undecorated.
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE library_headers)
# binutils 2.40 lists "[   0] Name", 2.44 "[   0] +base[   1]  0000 Name"
# under a line of column names: the name is each row's last word.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([^\n]+\n)+)" table "${library_headers}")
string(REGEX MATCHALL "\t\\[[ 0-9]+\\][^\n]*" rows "${CMAKE_MATCH_1}")
set(exports "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE ".*[ \t]" "" name "${row}")
  list(APPEND exports ${name})
endforeach()
if(NOT exports STREQUAL "LumtorPortEnum;LumtorPortGetLocation;LumtorPortTXVR")
  fail("${LIBRARY} exports '${exports}'")
endif()

# The version resource (its key and values are UTF-16) and the manifest.
function(utf16_hex text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()
file(READ ${PROGRAM} bytes HEX)
foreach(text VS_VERSION_INFO FileVersion ProductVersion "${VERSION}" SkarvelConfig)
  utf16_hex("${text}" wanted)
  string(FIND "${bytes}" "${wanted}" at)
  if(at EQUAL -1)
    fail("no \"${text}\" in the version resource")
  endif()
endforeach()
string(HEX "level=\"asInvoker\"" wanted)
string(FIND "${bytes}" "${wanted}" at)
if(at EQUAL -1)
  fail("no manifest asking for asInvoker")
endif()

checks_done("${PROGRAM}: PE32 i386, its subsystem, imports and version resource as required")
