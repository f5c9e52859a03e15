#pragma once
#include <cstdio>
#include <cstdlib>

// A broken expectation in a fuzz target: say which, then abort so that
// libFuzzer keeps the input that caused it.
#define PM_FUZZ_CHECK(cond, what)                                            \
    do {                                                                     \
        if (!(cond)) {                                                       \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what,    \
                         __FILE__, __LINE__);                                \
            std::abort();                                                    \
        }                                                                    \
    } while (false)
