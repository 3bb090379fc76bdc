#pragma once

#include <cstdio>
#include <cstdlib>

// A property that fails is a finding like a crash: libFuzzer keeps the input that broke it.
#define QUILLON_FUZZ_CHECK(condition)                                                                                  \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);                      \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
