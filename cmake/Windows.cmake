# The Windows build: quillon_core, quillon-cli.exe (statically linked) and the tests that run
# under Wine. Configured by `make windows` with the toolchain of the static Qt and libcurl that
# scripts/build-windows-deps.sh builds from Debian's sources (which loads cmake/MinGW-w64.cmake);
# with them the window, Quillon.exe, is built too. With cmake/MinGW-w64.cmake alone, only the core
# and quillon-cli.
enable_language(RC)
find_package(Qt6 6.4 QUIET COMPONENTS Widgets Test)
find_package(CURL CONFIG QUIET)
if(Qt6_FOUND AND CURL_FOUND)
    set(QUILLON_BUILD_WINDOW ON CACHE BOOL "Build the Qt window program" FORCE)
else()
    set(QUILLON_BUILD_WINDOW OFF CACHE BOOL "Build the Qt window program" FORCE)
endif()
set(QUILLON_LINUX_CLI "" CACHE FILEPATH "The Linux build's quillon-cli, to compare outputs with")

# Test programs run through Wine with a prefix inside this build folder.
set(QUILLON_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(QUILLON_WINE ${CMAKE_BINARY_DIR}/wine)
file(WRITE ${QUILLON_WINE}
    "#!/bin/sh\nQUILLON_WINEPREFIX='${QUILLON_WINEPREFIX}' exec '${CMAKE_SOURCE_DIR}/cmake/wine-run.sh' \"$@\"\n")
file(CHMOD ${QUILLON_WINE} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLON_WINE})

# nlohmann/json is header-only: Debian's headers, seen through a folder that holds nothing else
# (the rest of /usr/include is Linux's C library, which must not shadow MinGW's).
set(QUILLON_JSON_ROOT ${CMAKE_BINARY_DIR}/nlohmann-json)
file(MAKE_DIRECTORY ${QUILLON_JSON_ROOT}/include ${QUILLON_JSON_ROOT}/cmake)
file(CREATE_LINK /usr/include/nlohmann ${QUILLON_JSON_ROOT}/include/nlohmann SYMBOLIC)
file(WRITE ${QUILLON_JSON_ROOT}/cmake/nlohmann_jsonConfig.cmake
    "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
    "    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
    "    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES\n"
    "        ${QUILLON_JSON_ROOT}/include)\n"
    "endif()\n")
file(WRITE ${QUILLON_JSON_ROOT}/cmake/nlohmann_jsonConfigVersion.cmake
    "set(PACKAGE_VERSION 3)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
set(nlohmann_json_DIR ${QUILLON_JSON_ROOT}/cmake CACHE PATH "nlohmann/json for the Windows build" FORCE)
find_package(nlohmann_json 3 REQUIRED)

# CLI11, header-only too, the same way.
set(QUILLON_CLI11_ROOT ${CMAKE_BINARY_DIR}/cli11)
file(MAKE_DIRECTORY ${QUILLON_CLI11_ROOT}/include ${QUILLON_CLI11_ROOT}/cmake)
file(CREATE_LINK /usr/include/CLI ${QUILLON_CLI11_ROOT}/include/CLI SYMBOLIC)
file(WRITE ${QUILLON_CLI11_ROOT}/cmake/CLI11Config.cmake
    "if(NOT TARGET CLI11::CLI11)\n"
    "    add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
    "    set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES\n"
    "        ${QUILLON_CLI11_ROOT}/include)\n"
    "endif()\n")
file(WRITE ${QUILLON_CLI11_ROOT}/cmake/CLI11ConfigVersion.cmake
    "set(PACKAGE_VERSION 2)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
set(CLI11_DIR ${QUILLON_CLI11_ROOT}/cmake CACHE PATH "CLI11 for the Windows build" FORCE)
find_package(CLI11 2 REQUIRED)

add_subdirectory(src)

# GoogleTest from Debian's sources, built with the same compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

include(${CMAKE_SOURCE_DIR}/cmake/TestSources.cmake)
function(quillon_windows_test target)
    target_link_libraries(${target} PRIVATE quillon_core gtest_main quillon_warnings)
    target_include_directories(${target} PRIVATE ${QUILLON_TESTS})
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS windows TIMEOUT 600)
endfunction()

# The core tests as they run on Linux.
add_executable(quillon_core_tests ${QUILLON_CORE_TEST_SOURCES})
quillon_windows_test(quillon_core_tests)

# What only Windows has: wide paths, the no-clobber rename, the executable's folder.
add_executable(quillon_windows_tests ${QUILLON_TESTS}/windows/test_windows_files.cpp)
quillon_windows_test(quillon_windows_tests)

# The window's administrator test, which needs no Qt, in a program of its own.
add_executable(quillon_admin_check ${QUILLON_TESTS}/windows/admin_check.cpp
    ${CMAKE_SOURCE_DIR}/src/window/platform/AdminWindows.cpp)
target_include_directories(quillon_admin_check PRIVATE ${CMAKE_SOURCE_DIR}/src/window)
target_link_libraries(quillon_admin_check PRIVATE shell32 quillon_warnings)
add_test(NAME quillon_admin_check COMMAND quillon_admin_check)
set_tests_properties(quillon_admin_check PROPERTIES LABELS windows TIMEOUT 120)

# The portable download: quillon-cli.exe, tacdex.csv, the licences and a README; with the window,
# Quillon.exe beside them and the licences of the Qt and curl linked into it (Qt6_DIR is
# <dependency folder>/install/lib/cmake/Qt6).
if(QUILLON_BUILD_WINDOW)
    get_filename_component(QUILLON_WINDOWS_DEPS_DIR "${Qt6_DIR}/../../../.." ABSOLUTE)
    set(QUILLON_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/quillon-${PROJECT_VERSION}-win64.zip)
    set(QUILLON_ZIP_WINDOW $<TARGET_FILE:quillon> ${QUILLON_WINDOWS_DEPS_DIR})
    set(QUILLON_ZIP_DEPENDS quillon-cli quillon)
else()
    set(QUILLON_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/quillon-cli-${PROJECT_VERSION}-win64.zip)
    set(QUILLON_ZIP_WINDOW)
    set(QUILLON_ZIP_DEPENDS quillon-cli)
endif()
add_custom_target(windows_zip
    COMMAND ${CMAKE_SOURCE_DIR}/packaging/windows/make-zip.sh ${QUILLON_WINDOWS_ZIP} $<TARGET_FILE:quillon-cli>
            ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION} ${QUILLON_ZIP_WINDOW}
    DEPENDS ${QUILLON_ZIP_DEPENDS}
    VERBATIM)

# Outputs compared byte for byte with the Linux build's, and the archive unpacked and run.
if(QUILLON_LINUX_CLI)
    add_test(NAME windows_cli_matches_linux
        COMMAND ${QUILLON_TESTS}/windows/check-cli.sh ${QUILLON_WINE} $<TARGET_FILE:quillon-cli> ${QUILLON_LINUX_CLI}
                ${CMAKE_SOURCE_DIR}/data/tacdex.csv)
    add_test(NAME windows_zip
        COMMAND ${QUILLON_TESTS}/windows/check-zip.sh ${QUILLON_WINE} ${QUILLON_WINDOWS_ZIP} ${QUILLON_LINUX_CLI})
    set_tests_properties(windows_cli_matches_linux windows_zip PROPERTIES LABELS windows TIMEOUT 900)
endif()

# The command-line tests: the commands in-process, and quillon-cli.exe as a Windows process.
add_executable(quillon_cli_tests ${QUILLON_CLI_TEST_SOURCES})
target_link_libraries(quillon_cli_tests PRIVATE quillon_cli_commands nlohmann_json::nlohmann_json)
target_compile_definitions(quillon_cli_tests PRIVATE QUILLON_CLI_PATH="$<TARGET_FILE:quillon-cli>")
add_dependencies(quillon_cli_tests quillon-cli)
quillon_windows_test(quillon_cli_tests)

if(QUILLON_BUILD_WINDOW)
    # The update check's fetch against the hostile-server table, over Winsock and Schannel.
    add_executable(quillon_fetch_tests ${QUILLON_TESTS}/fetch/test_curl_fetch.cpp)
    target_link_libraries(quillon_fetch_tests PRIVATE quillon_curl_fetch ws2_32 psapi)
    quillon_windows_test(quillon_fetch_tests)

    # Quillon.exe is one file that needs no DLL beyond those of Windows itself, with its icon,
    # version and manifest.
    add_test(NAME windows_window_exe
        COMMAND ${QUILLON_TESTS}/windows/check-exe.sh $<TARGET_FILE:quillon> ${PROJECT_VERSION})
    # Quillon.exe started on a virtual display from a folder with a Cyrillic name, its window
    # awaited, closed with Alt+F4.
    add_test(NAME windows_window_starts
        COMMAND ${QUILLON_TESTS}/windows/check-window.sh $<TARGET_FILE:quillon> ${QUILLON_DATABASE}
                ${CMAKE_BINARY_DIR}/wine-window-prefix)
    set_tests_properties(windows_window_exe windows_window_starts PROPERTIES LABELS windows TIMEOUT 300)

    # The window's QtTest programs on the offscreen platform under Wine (Wine hands the WINE-prefixed
    # variables to the program without the prefix); the fonts are Debian's, read through Wine's Z: drive.
    foreach(name ${QUILLON_WINDOW_TEST_NAMES})
        add_executable(window_${name} ${QUILLON_TESTS}/window/${name}.cpp)
        set_target_properties(window_${name} PROPERTIES AUTOMOC ON)
        target_include_directories(window_${name} PRIVATE ${QUILLON_TESTS}/window ${QUILLON_TESTS})
        target_link_libraries(window_${name} PRIVATE quillon_window Qt6::Test ws2_32 quillon_warnings)
        qt_import_plugins(window_${name} INCLUDE Qt6::QOffscreenIntegrationPlugin)
        # The bad-input matrix drives the command-line program as well.
        target_compile_definitions(window_${name} PRIVATE QUILLON_CLI_PATH="$<TARGET_FILE:quillon-cli>")
        add_dependencies(window_${name} quillon-cli)
        add_test(NAME window_${name} COMMAND window_${name})
        set_tests_properties(window_${name} PROPERTIES LABELS windows TIMEOUT 300
            ENVIRONMENT "WINEQT_QPA_PLATFORM=offscreen;WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype;NO_PROXY=127.0.0.1")
    endforeach()

    # The installer, quillon-<version>-win64-setup.exe (NSIS), with the licences of the Qt and curl
    # sources in the dependency folder, and the source archive beside it; installed, used and uninstalled under Wine by the test.
    set(QUILLON_SETUP ${CMAKE_BINARY_DIR}/quillon-${PROJECT_VERSION}-win64-setup.exe)
    set(windows_packaging ${CMAKE_SOURCE_DIR}/packaging/windows)
    add_custom_command(OUTPUT ${QUILLON_SETUP}
        COMMAND ${windows_packaging}/make-installer.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:quillon>
                $<TARGET_FILE:quillon-cli> ${CMAKE_BINARY_DIR}/src/app/Quillon.ico ${QUILLON_WINDOWS_DEPS_DIR}
                ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION} ${QUILLON_MAKER_NAME}
        DEPENDS quillon quillon-cli ${windows_packaging}/installer.nsi ${windows_packaging}/make-installer.sh
                ${windows_packaging}/collect-licences.sh ${CMAKE_SOURCE_DIR}/data/tacdex.csv
                ${windows_packaging}/README.txt ${CMAKE_SOURCE_DIR}/docs/window.md
        VERBATIM)
    add_custom_target(windows_installer DEPENDS ${QUILLON_SETUP})
    add_test(NAME windows_installer
        COMMAND ${QUILLON_TESTS}/windows/check-installer.sh ${QUILLON_SETUP} ${CMAKE_BINARY_DIR}/wine-installer-prefix
                ${PROJECT_VERSION})
    set_tests_properties(windows_installer PROPERTIES LABELS windows TIMEOUT 600)
endif()
