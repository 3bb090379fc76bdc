# SPDX-License-Identifier: MIT
# The test sources and the window's test programs, shared by the Linux build (tests/CMakeLists.txt and
# tests/window/CMakeLists.txt) and the Windows build (cmake/Windows.cmake).
set(QUILLON_TESTS ${CMAKE_SOURCE_DIR}/tests)
set(QUILLON_CORE_TEST_SOURCES
    ${QUILLON_TESTS}/core/test_about.cpp
    ${QUILLON_TESTS}/core/test_catalogue.cpp
    ${QUILLON_TESTS}/core/test_device_import.cpp
    ${QUILLON_TESTS}/core/test_devicedb.cpp
    ${QUILLON_TESTS}/core/test_files.cpp
    ${QUILLON_TESTS}/core/test_generation.cpp
    ${QUILLON_TESTS}/core/test_imei.cpp
    ${QUILLON_TESTS}/core/test_list_check.cpp
    ${QUILLON_TESTS}/core/test_import_run.cpp
    ${QUILLON_TESTS}/core/test_import_reader.cpp
    ${QUILLON_TESTS}/core/test_report.cpp
    ${QUILLON_TESTS}/core/test_text_encoding.cpp
    ${QUILLON_TESTS}/core/test_reporting_body.cpp
    ${QUILLON_TESTS}/core/test_update_check.cpp
    ${QUILLON_TESTS}/core/test_validation.cpp
    ${QUILLON_TESTS}/core/test_version_check.cpp)
set(QUILLON_CLI_TEST_SOURCES
    ${QUILLON_TESTS}/cli/test_command_line.cpp
    ${QUILLON_TESTS}/cli/test_complete_cli.cpp
    ${QUILLON_TESTS}/cli/test_generate_cli.cpp
    ${QUILLON_TESTS}/cli/test_hostile_input.cpp
    ${QUILLON_TESTS}/cli/test_import_cli.cpp
    ${QUILLON_TESTS}/cli/test_recorded_runs.cpp
    ${QUILLON_TESTS}/cli/test_validate_cli.cpp)
# The window's QtTest programs, tests/window/<name>.cpp each, built as window_<name>.
set(QUILLON_WINDOW_TEST_NAMES test_actions test_bad_input test_check_list test_database_states test_generate test_import test_layout
    test_startup test_update test_user_database test_validate)
