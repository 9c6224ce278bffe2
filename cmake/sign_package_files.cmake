# Run by CPack once it has put the Windows package's files together (stripped)
# and before it packs them: signs the program and its companion there, so
# that the ZIP holds signed files. The settings from the build's cache come
# as CPACK_<name>, their names in CPACK_SKARVEL_SIGNING_SETTINGS (CPack hands
# on only its own variables).
foreach(setting ${CPACK_SKARVEL_SIGNING_SETTINGS})
  set(${setting} "${CPACK_${setting}}")
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/sign_windows.cmake)
if(NOT signing)
  message(STATUS "SkarvelConfig's Windows files ${signing_absent}")
  return()
endif()
set(files ${CPACK_TEMPORARY_DIRECTORY}/SkarvelConfig.exe ${CPACK_TEMPORARY_DIRECTORY}/SkarvelConfig.com)
foreach(file ${files})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is not among the package's files: nothing signed")
  endif()
endforeach()
sign_windows_files(${CPACK_TOPLEVEL_DIRECTORY} ${files})
message(STATUS "SkarvelConfig.exe and SkarvelConfig.com signed")
