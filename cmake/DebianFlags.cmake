# Release builds, which the Debian package is made from, take Debian's build flags as
# dpkg-buildflags gives them with every hardening feature on (DEB_BUILD_MAINT_OPTIONS=
# hardening=+all): _FORTIFY_SOURCE, the strong stack protector, format-string errors,
# position-independent executables and full RELRO (-z relro -z now). Left out are -g and
# -ffile-prefix-map, which only shape the debugging information that the package strips;
# the optimisation level stays the build type's (-O3 comes after Debian's -O2).
# The other builds keep the compiler's defaults.
option(ORV_DEBIAN_BUILDFLAGS "Build Release with the flags of dpkg-buildflags" ON)

function(orv_dpkg_buildflags name out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${DPKG_BUILDFLAGS} --get ${name}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^(-g|-ffile-prefix-map=.*)$")
  list(JOIN flags " " flags)
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

if(CMAKE_BUILD_TYPE STREQUAL "Release" AND ORV_DEBIAN_BUILDFLAGS)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  orv_dpkg_buildflags(CPPFLAGS cppflags)
  orv_dpkg_buildflags(CFLAGS cflags)
  orv_dpkg_buildflags(CXXFLAGS cxxflags)
  orv_dpkg_buildflags(LDFLAGS ldflags)
  string(APPEND CMAKE_C_FLAGS " ${cppflags} ${cflags}")
  string(APPEND CMAKE_CXX_FLAGS " ${cppflags} ${cxxflags}")
  string(APPEND CMAKE_EXE_LINKER_FLAGS " ${ldflags}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${ldflags}")
  message(STATUS "Debian build flags: ${cppflags} ${cxxflags} ${ldflags}")
endif()
