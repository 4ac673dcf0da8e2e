# Debian's build flags for the packaged build (KORVO_DPKG_BUILDFLAGS, set by
# the native preset): dpkg-buildflags' CPPFLAGS, CFLAGS, CXXFLAGS and LDFLAGS
# with every hardening feature (hardening=+all: fortified libc calls, stack
# protector, format checks, PIE, read-only relocations bound at load). They
# go before the build type's flags, so Release keeps its -O3 over their -O2.
# Asked from the source folder, so their -ffile-prefix-map maps it to ".".
find_program(KORVO_DPKG_BUILDFLAGS_PROGRAM dpkg-buildflags)
if(NOT KORVO_DPKG_BUILDFLAGS_PROGRAM)
  message(FATAL_ERROR "KORVO_DPKG_BUILDFLAGS needs dpkg-buildflags (package dpkg-dev), "
                      "or configure with -DKORVO_DPKG_BUILDFLAGS=OFF")
endif()

function(korvo_dpkg_buildflag name out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${KORVO_DPKG_BUILDFLAGS_PROGRAM} --get ${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${name} failed: ${status}")
  endif()
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

korvo_dpkg_buildflag(CPPFLAGS cppflags)
korvo_dpkg_buildflag(CXXFLAGS cxxflags)
korvo_dpkg_buildflag(LDFLAGS ldflags)
string(APPEND CMAKE_CXX_FLAGS " ${cppflags} ${cxxflags}")
# C appears only where a toolchain enables it; give it its flags all the same.
korvo_dpkg_buildflag(CFLAGS cflags)
string(APPEND CMAKE_C_FLAGS " ${cppflags} ${cflags}")
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${ldflags}")
endforeach()
message(STATUS "Debian build flags: ${cppflags} ${cxxflags}; linker: ${ldflags}")
