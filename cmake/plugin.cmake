# korvo_add_plugin(<target> NAME <IFKORVO|AXKORVO> TITLE <IfKorvo|AxKorvo>
#                  COMMENTS <text> DEF <file> SOURCES <files> LIBRARIES <libs>)
#
# Builds one plug-in: <NAME>.SPI, a 32-bit DLL with undecorated stdcall exports
# from the module-definition file and the version resource, on Windows; or
# <NAME>.so exporting only the plug-in functions elsewhere. Both land in
# build/<preset>/plugins.
function(korvo_add_plugin target)
  cmake_parse_arguments(P "" "NAME;TITLE;COMMENTS;DEF" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${target} SHARED ${P_SOURCES})
  target_link_libraries(${target} PRIVATE korvo_options ${P_LIBRARIES})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${P_NAME}
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${KORVO_PLUGIN_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${KORVO_PLUGIN_DIR})
  if(WIN32)
    set(RC_NAME ${P_TITLE})
    set(RC_FILE ${P_NAME}${KORVO_PLUGIN_SUFFIX})
    set(RC_COMMENTS ${P_COMMENTS})
    set(KORVO_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
    set(KORVO_VERSION_TEXT "${PROJECT_VERSION_MAJOR}, ${PROJECT_VERSION_MINOR}, ${PROJECT_VERSION_PATCH}, ${PROJECT_VERSION_TWEAK}")
    set(KORVO_BUILD_NOTE "${CMAKE_SYSTEM_PROCESSOR} mingw-w64")
    configure_file(${PROJECT_SOURCE_DIR}/host-contract/version.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${P_NAME}_version.rc @ONLY)
    target_sources(${target} PRIVATE ${P_DEF} ${CMAKE_CURRENT_BINARY_DIR}/${P_NAME}_version.rc)
    set_target_properties(${target} PROPERTIES SUFFIX ${KORVO_PLUGIN_SUFFIX})
    # The C++ runtime, libgcc and winpthreads go inside the DLL; only
    # KERNEL32, USER32 and the C runtime DLL stay imports.
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -s -Wl,--gc-sections
                        -Wl,--enable-stdcall-fixup)
  else()
    set_target_properties(${target} PROPERTIES SUFFIX ".so")
    target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL -Wl,-Bsymbolic)
  endif()
endfunction()

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KORVO_PLUGIN_SUFFIX ".SPH")
  else()
    set(KORVO_PLUGIN_SUFFIX ".SPI")
  endif()
endif()
