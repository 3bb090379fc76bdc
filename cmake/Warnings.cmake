# SPDX-License-Identifier: MIT
add_library(quillon_warnings INTERFACE)
target_compile_options(quillon_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wold-style-cast -Wcast-align -Wimplicit-fallthrough)
# GCC 12 at -O2 and above warns falsely about overlapping copies inside std::string's operator+
# (GCC bug 105329); the warning stays on for compilers without that fault.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(quillon_warnings INTERFACE -Wno-restrict)
endif()
if(QUILLON_WERROR)
    target_compile_options(quillon_warnings INTERFACE -Werror)
endif()
