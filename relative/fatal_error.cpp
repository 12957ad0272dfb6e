// FatalError: the one way `relative` stops on bad input.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "relative/utils.h"

void FatalError(const char* fmt, ...) {
    std::fputs("Error: ", stderr);
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::exit(1);
}
