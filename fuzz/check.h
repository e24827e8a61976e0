// A check that holds in every fuzz target: report where and stop, so that
// libFuzzer keeps the input that broke it.
#ifndef VORPKG_FUZZ_CHECK_H
#define VORPKG_FUZZ_CHECK_H

#include <stdio.h>
#include <stdlib.h>

#define CHECK(cond)                                                     \
    do {                                                                \
        if (!(cond)) {                                                  \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            abort();                                                    \
        }                                                               \
    } while (0)

#endif
