#pragma once

#include <cerrno> // program_invocation_short_name
#include <cstdio>
#include <cstdlib>

// A finding: the broken rule on standard error, then an abort, which libFuzzer
// reports together with the input that caused it.
[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::abort();
}

inline void check(bool condition, const char *what)
{
    if (!condition)
        fail(what);
}
