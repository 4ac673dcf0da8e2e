# Cross build of the 32-bit Windows plug-ins; programs run under Wine.
set(KORVO_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
