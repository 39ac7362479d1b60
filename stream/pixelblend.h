#pragma once

#include "stream/lineraster.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// How LineRaster puts a pen's coverage into its pixels: over what is there
// in stream order, under it latest first. Part of lineraster.cpp, kept apart
// from the line geometry so that each reads on its own; the wide pens' outline
// filler and the render bench's yardstick include it too, and everything here
// stays private to each (the compiler may then specialise the line routines
// for each blend as it sees fit).
namespace {

// The pen's colour with red and blue apart from green, as the blend takes it.
struct SplitColour {
    uint32_t redBlue, green;
};

inline SplitColour splitOf(uint32_t argb)
{
    return {argb & 0x00FF00FFu, argb & 0x0000FF00u};
}

// Red and blue, then green, each as (d * (256 - a) + s * a) / 256 in one
// word, for an alpha of 0..256. Without branches: alpha is as often 0 or 256
// as anything between, and a mispredicted branch costs more than the
// arithmetic.
struct OverBlend {
    void operator()(uint32_t *pixel, SplitColour colour, uint32_t a) const
    {
        const uint32_t d = *pixel;
        const uint32_t rb = ((d & 0x00FF00FFu) * (256 - a) + colour.redBlue * a) >> 8;
        const uint32_t g = ((d & 0x0000FF00u) * (256 - a) + colour.green * a) >> 8;
        *pixel = 0xFF000000u | (rb & 0x00FF00FFu) | (g & 0x0000FF00u);
    }
};

// Two neighbouring pixels of a row at once, each with its own alpha: the
// same sums as OverBlend, channel by channel in 16-bit lanes (none exceeds
// 255 * 256).
struct OverBlendPair {
#if defined(__SSE2__)
    __m128i colour16; // the pen's four channels, twice, in 16 bits each

    explicit OverBlendPair(uint32_t argb)
        : colour16(_mm_unpacklo_epi8(_mm_set1_epi32(int(argb)), _mm_setzero_si128()))
    {
    }

    void operator()(uint32_t *pixel, uint32_t a0, uint32_t a1) const
    {
        const __m128i zero = _mm_setzero_si128();
        const __m128i d = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(pixel)), zero);
        __m128i a = _mm_cvtsi32_si128(int(a0 | a1 << 16));
        a = _mm_unpacklo_epi16(a, a);
        a = _mm_unpacklo_epi32(a, a);
        const __m128i keep = _mm_sub_epi16(_mm_set1_epi16(256), a);
        const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(d, keep), _mm_mullo_epi16(colour16, a));
        const __m128i packed = _mm_packus_epi16(_mm_srli_epi16(sum, 8), zero);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(pixel), _mm_or_si128(packed, _mm_set1_epi32(int(0xFF000000u))));
    }
#else
    SplitColour colour;

    explicit OverBlendPair(uint32_t argb) : colour(splitOf(argb)) {}

    void operator()(uint32_t *pixel, uint32_t a0, uint32_t a1) const
    {
        OverBlend{}(pixel, colour, a0);
        OverBlend{}(pixel + 1, colour, a1);
    }
#endif
};

// d plus each channel of s (alpha too) times f / 255, rounded; f at most
// 255 - alpha of d, so that no channel overtakes the alpha.
inline uint32_t addScaled(uint32_t d, uint32_t s, uint32_t f)
{
    uint32_t rb = (s & 0x00FF00FFu) * f + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t ag = ((s >> 8) & 0x00FF00FFu) * f + 0x00800080u;
    ag = ((ag + ((ag >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    return d + rb + (ag << 8);
}

// Latest first: the pixel holds, premultiplied, what was drawn after this
// line; the line takes its alpha of what is still uncovered (rounded, but
// never to nothing, so that a pixel does become opaque), and a pixel that
// does is marked in the open map.
struct UnderBlend {
    LineRaster *raster;

    void operator()(uint32_t *pixel, SplitColour colour, uint32_t a) const
    {
        // The map is small enough to stay in the cache, the pixels are not:
        // most pixels a drawn line crosses are opaque already.
        const std::ptrdiff_t at = raster->offsetOf(pixel);
        if (!raster->isOpen(at))
            return;
        const uint32_t d = *pixel;
        const uint32_t room = 255 - (d >> 24);
        uint32_t w = (a * room + 128) >> 8;
        w += (w == 0) & (a != 0);
        *pixel = addScaled(d, 0xFF000000u | colour.redBlue | colour.green, w);
        if (w == room)
            raster->closePixel(at);
    }

    // A pixel and the next in its row, with their own alphas: one look at the
    // map passes over both when they are closed, as they mostly are.
    void pair(uint32_t *pixel, SplitColour colour, uint32_t a0, uint32_t a1) const
    {
        if (!raster->eitherOpen(raster->offsetOf(pixel)))
            return;
        (*this)(pixel, colour, a0);
        (*this)(pixel + 1, colour, a1);
    }
};

// The pen's colour into a run of pixels, four at a time where the
// processor allows it (the loop alone is not widened at this build's level).
inline void fillPixels(uint32_t *pixels, int count, uint32_t colour)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(int(colour));
    for (; i + 4 <= count; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(pixels + i), four);
#endif
    for (; i < count; ++i)
        pixels[i] = colour;
}

// Covers, in the pixels first..last of one slice (pixel is the first), the
// part of [low256, high256) that falls into each, scaled by the slice's own
// coverage of 0..256. Only the end cells can be covered in part.
template <class Blend>
inline void coverCellRun(uint32_t *pixel, std::ptrdiff_t step, int first, int last, int low256, int high256,
                         uint32_t sliceAlpha, SplitColour colour, const Blend &blend)
{
    auto alphaOf = [&](int cell) {
        const int covered = std::min(high256, (cell + 1) * 256) - std::max(low256, cell * 256);
        return (uint32_t(covered) * sliceAlpha + 128) >> 8;
    };
    if (last < first)
        return;
    blend(pixel, colour, alphaOf(first));
    if (last == first)
        return;
    for (int cell = first + 1; cell < last; ++cell) {
        pixel += step;
        blend(pixel, colour, sliceAlpha);
    }
    blend(pixel + step, colour, alphaOf(last));
}

} // namespace
