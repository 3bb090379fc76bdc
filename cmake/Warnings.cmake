# SPDX-License-Identifier: MIT
add_library(quillon_warnings INTERFACE)
target_compile_options(quillon_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wold-style-cast -Wcast-align -Wimplicit-fallthrough)
if(QUILLON_WERROR)
    target_compile_options(quillon_warnings INTERFACE -Werror)
endif()
