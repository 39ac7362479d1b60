#include "stream/vectorstate.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>

namespace {

// Built for this one function only: the rest of the program stays baseline.
[[gnu::target("avx")]] void zeroUpperHalves()
{
    _mm256_zeroupper();
}

bool hasWideRegisters()
{
    // The compiler's check counts the registers only when the system saves them.
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx") != 0);
    return has;
}

} // namespace

void clearUpperVectorState()
{
    if (hasWideRegisters())
        zeroUpperHalves();
}

#else

void clearUpperVectorState() {}

#endif
