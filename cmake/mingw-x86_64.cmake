# Cross build of the 64-bit Windows plug-ins; programs run under Wine.
set(KORVO_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
