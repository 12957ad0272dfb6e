// Checks inside fuzz targets. A failed check is a finding: it prints what went wrong and
// aborts, so that libFuzzer records the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, what)                                                                \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed at %s:%d: %s (%s)\n", __FILE__, __LINE__, \
                         what, #cond);                                                        \
            std::abort();                                                                     \
        }                                                                                     \
    } while (false)
