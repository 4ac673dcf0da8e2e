# korvo_add_plugin(<target> NAME <IFKORVO|AXKORVO> TITLE <IfKorvo|AxKorvo>
#                  COMMENTS <text> LIBRARIES <libs>)
#
# Builds one plug-in twice from the same sources. Every plug-in folder holds
# the same three sources beside its logic library: exports.cpp (its exports),
# information.cpp (kPluginInformationStrings, which the shared GetPluginInfo
# exports answer from) and library_entry.cpp (load and unload), and its
# module-definition file <NAME>.def. On Windows it is a DLL (<NAME>.SPI on
# 32-bit x86, <NAME>.SPH on 64-bit x86, <NAME>.spha on ARM64) with undecorated stdcall exports
# from the module-definition file and the version resource; elsewhere
# <NAME>.so exporting only the plug-in functions.
#   <target>               the shipped plug-in on the plain platform layer, in
#                          build/<preset>/plugins
#   <target>_instrumented  the same on the instrumented layer (test hooks), in
#                          build/<preset>/test-plugins, for tests, fuzzers and
#                          the benchmark
# Optimised Linux builds of the plug-ins use link-time optimisation: a parse
# calls the reader for every field it looks at, and those calls cross files;
# inlined, a probe does little more than the reads it must make. The DLLs are
# linked without it: built so by mingw-w64 12 they failed under Wine (the
# instrumented filter would not load, the plain one crashed in its first
# export call). Tools and tests build as usual.
set(KORVO_IPO OFF)
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT WIN32)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT KORVO_IPO LANGUAGES CXX)
endif()

# korvo_optimise_at_link(<target>...): link-time optimisation, where the build
# has it, for a plug-in or a library a plug-in is made of.
function(korvo_optimise_at_link)
  set_target_properties(${ARGN} PROPERTIES INTERPROCEDURAL_OPTIMIZATION ${KORVO_IPO})
endfunction()

function(korvo_add_plugin target)
  cmake_parse_arguments(P "" "NAME;TITLE;COMMENTS" "LIBRARIES" ${ARGN})
  korvo_optimise_at_link(${P_LIBRARIES})
  set(sources exports.cpp information.cpp library_entry.cpp
              ${PROJECT_SOURCE_DIR}/host-contract/plugin_info_exports.cpp)
  if(WIN32)
    set(RC_NAME ${P_TITLE})
    set(RC_FILE ${P_NAME}${KORVO_PLUGIN_SUFFIX})
    set(RC_COMMENTS ${P_COMMENTS})
    set(KORVO_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
    set(KORVO_VERSION_TEXT "${PROJECT_VERSION_MAJOR}, ${PROJECT_VERSION_MINOR}, ${PROJECT_VERSION_PATCH}, ${PROJECT_VERSION_TWEAK}")
    set(KORVO_BUILD_NOTE "${CMAKE_SYSTEM_PROCESSOR} mingw-w64")
    configure_file(${PROJECT_SOURCE_DIR}/host-contract/version.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${P_NAME}_version.rc @ONLY)
  endif()
  foreach(variant plain instrumented)
    if(variant STREQUAL "plain")
      set(library ${target})
      set(folder ${KORVO_PLUGIN_DIR})
    else()
      set(library ${target}_instrumented)
      set(folder ${KORVO_TEST_PLUGIN_DIR})
    endif()
    add_library(${library} SHARED ${sources})
    korvo_optimise_at_link(${library})
    target_link_libraries(${library} PRIVATE korvo_options ${P_LIBRARIES} korvo_platform_${variant})
    set_target_properties(${library} PROPERTIES
      OUTPUT_NAME ${P_NAME}
      PREFIX ""
      LIBRARY_OUTPUT_DIRECTORY ${folder}
      RUNTIME_OUTPUT_DIRECTORY ${folder}
      ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${variant})  # import libraries
    if(WIN32)
      target_sources(${library} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${P_NAME}.def ${CMAKE_CURRENT_BINARY_DIR}/${P_NAME}_version.rc)
      set_target_properties(${library} PROPERTIES SUFFIX ${KORVO_PLUGIN_SUFFIX})
      # The C++ runtime, libgcc and winpthreads go inside the DLL; only
      # KERNEL32, USER32 and the C runtime DLL stay imports. Zig links its
      # C++ runtime statically anyway, and its unwinder through ours.
      if(KORVO_ZIG)
        target_link_libraries(${library} PRIVATE korvo_unwinder)
        target_link_options(${library} PRIVATE -s -Wl,--gc-sections)
      else()
        target_link_options(${library} PRIVATE -static -static-libgcc -static-libstdc++ -s
                            -Wl,--gc-sections -Wl,--enable-stdcall-fixup)
      endif()
    else()
      set_target_properties(${library} PROPERTIES SUFFIX ".so")
      target_link_options(${library} PRIVATE -Wl,--exclude-libs,ALL -Wl,-Bsymbolic)
    endif()
  endforeach()
endfunction()

if(WIN32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(KORVO_PLUGIN_SUFFIX ".spha")
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KORVO_PLUGIN_SUFFIX ".SPH")
  else()
    set(KORVO_PLUGIN_SUFFIX ".SPI")
  endif()
endif()
