# In every clang build, proves that the directory lock's annotations are
# checked: tests/lock_check/unlocked_cache_call.cpp calls a function that needs
# the lock without holding it, and compiling it with the project's own flags
# must report exactly that. Guards against flags or macros that silently turn
# the analysis off. Included by CMakeLists.txt; the check it adds runs this
# file as a script.
if(CMAKE_SCRIPT_MODE_FILE)
  string(REPLACE "|" ";" flags "${FLAGS}")
  execute_process(COMMAND ${COMPILER} ${flags} -fsyntax-only -I${ROOT} ${SOURCE}
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE diagnostics)
  if(NOT diagnostics MATCHES "requires holding mutex 'directoryLock'")
    message(FATAL_ERROR "${SOURCE} calls into the directory cache without the lock, "
                        "and clang did not report it (status ${status}):\n${diagnostics}")
  endif()
  file(TOUCH ${STAMP})
  return()
endif()

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  return()
endif()
set(probe ${PROJECT_SOURCE_DIR}/tests/lock_check/unlocked_cache_call.cpp)
set(stamp ${CMAKE_BINARY_DIR}/lock-check.stamp)
set(flags "$<JOIN:$<TARGET_PROPERTY:korvo_options,INTERFACE_COMPILE_OPTIONS>,|>")
add_custom_command(
  OUTPUT ${stamp}
  COMMAND ${CMAKE_COMMAND} -DCOMPILER=${CMAKE_CXX_COMPILER}
          "-DFLAGS=${CMAKE_CXX17_STANDARD_COMPILE_OPTION}|${flags}"
          -DROOT=${PROJECT_SOURCE_DIR} -DSOURCE=${probe} -DSTAMP=${stamp}
          -P ${PROJECT_SOURCE_DIR}/cmake/lock_check.cmake
  DEPENDS ${probe} ${PROJECT_SOURCE_DIR}/cmake/lock_check.cmake
          ${PROJECT_SOURCE_DIR}/common/thread_annotations.h
          ${PROJECT_SOURCE_DIR}/archive-extractor/directory_lock.h
          ${PROJECT_SOURCE_DIR}/archive-extractor/directory_cache.h
  COMMENT "Checking that clang enforces the directory lock"
  VERBATIM)
add_custom_target(korvo_lock_check ALL DEPENDS ${stamp})
