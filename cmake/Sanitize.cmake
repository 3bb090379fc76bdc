# SPDX-License-Identifier: MIT
# AddressSanitizer and UndefinedBehaviorSanitizer for every target of the build:
#   cmake -DQUILLON_SANITIZE=ON ...   (the Makefile's build-asan)
# Any undefined behaviour stops the program, so a test that triggers it fails instead of printing a
# warning nobody reads.
option(QUILLON_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(QUILLON_SANITIZE)
    set(QUILLON_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_compile_options(${QUILLON_SANITIZE_FLAGS})
    add_link_options(${QUILLON_SANITIZE_FLAGS})

    # ctest reads this file before it runs any test, so the options reach every test process, also
    # those whose own ENVIRONMENT property sets other variables.
    set(QUILLON_SANITIZE_TEST_ENV ${CMAKE_BINARY_DIR}/SanitizeTestEnvironment.cmake)
    file(WRITE ${QUILLON_SANITIZE_TEST_ENV}
        "set(ENV{ASAN_OPTIONS} \"detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1\")\n"
        "set(ENV{UBSAN_OPTIONS} \"print_stacktrace=1:halt_on_error=1\")\n"
        "set(ENV{LSAN_OPTIONS} \"suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0\")\n")
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES ${QUILLON_SANITIZE_TEST_ENV})
endif()

# The fuzz targets in fuzz/ (clang++ only). Everything the fuzzers link is built with coverage
# instrumentation and both sanitizers, so a finding in the core shows where it happens.
option(QUILLON_BUILD_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang++)" OFF)
if(QUILLON_BUILD_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "QUILLON_BUILD_FUZZ needs clang++ (-DCMAKE_CXX_COMPILER=clang++)")
    endif()
    if(NOT QUILLON_SANITIZE)
        add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
