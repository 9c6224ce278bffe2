# skarvel_expected_log: the texts a log is expected to hold, with the
# templates of tests/support/log_lines.txt built in; for the tests and the
# fuzz targets.
if(NOT TARGET skarvel_expected_log)
  set(lines ${PROJECT_SOURCE_DIR}/tests/support/log_lines.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${lines})
  file(READ ${lines} SKARVEL_LOG_LINES)
  configure_file(${PROJECT_SOURCE_DIR}/tests/support/log_lines.h.in ${PROJECT_BINARY_DIR}/generated/log_lines.h @ONLY)
  add_library(skarvel_expected_log STATIC ${PROJECT_SOURCE_DIR}/tests/support/expected_log.cpp)
  target_include_directories(skarvel_expected_log PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(skarvel_expected_log PUBLIC skarvel_base)
endif()
