# SPDX-License-Identifier: MIT
# Debian's hardening flags (stack protector, _FORTIFY_SOURCE, format checks, RELRO and immediate
# binding) from dpkg-buildflags, for every target, so the programs we package are built the way
# Debian builds its own. The build type keeps its optimisation and debug settings: only the
# hardening part of the flags is taken. Off in the sanitized and fuzz builds, in Debug builds
# (_FORTIFY_SOURCE needs optimisation) and when cross-compiling.
find_program(QUILLON_DPKG_BUILDFLAGS dpkg-buildflags)
set(QUILLON_DEBIAN_FLAGS_DEFAULT OFF)
if(QUILLON_DPKG_BUILDFLAGS AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT CMAKE_CROSSCOMPILING
   AND NOT QUILLON_SANITIZE AND NOT QUILLON_BUILD_FUZZ AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(QUILLON_DEBIAN_FLAGS_DEFAULT ON)
endif()
option(QUILLON_DEBIAN_FLAGS "Build with the hardening flags of dpkg-buildflags" ${QUILLON_DEBIAN_FLAGS_DEFAULT})

if(QUILLON_DEBIAN_FLAGS)
    if(NOT QUILLON_DPKG_BUILDFLAGS)
        message(FATAL_ERROR "QUILLON_DEBIAN_FLAGS needs dpkg-buildflags (Debian package dpkg-dev)")
    endif()
    function(quillon_dpkg_buildflags name out)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${QUILLON_DPKG_BUILDFLAGS} --get ${name}
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        # The build type decides optimisation and debug information. The source paths stay as they
        # are (no -ffile-prefix-map): tests find their data from __FILE__.
        list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|ffile-prefix-map=.*)$")
        set(${out} ${flags} PARENT_SCOPE)
    endfunction()
    quillon_dpkg_buildflags(CPPFLAGS QUILLON_DEB_CPPFLAGS)
    quillon_dpkg_buildflags(CXXFLAGS QUILLON_DEB_CXXFLAGS)
    quillon_dpkg_buildflags(LDFLAGS QUILLON_DEB_LDFLAGS)
    add_compile_options(${QUILLON_DEB_CPPFLAGS} ${QUILLON_DEB_CXXFLAGS})
    add_link_options(${QUILLON_DEB_LDFLAGS})
    message(STATUS "Debian hardening flags: ${QUILLON_DEB_CPPFLAGS} ${QUILLON_DEB_CXXFLAGS} ${QUILLON_DEB_LDFLAGS}")
endif()
