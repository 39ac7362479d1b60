#pragma once

#include "stream/palette.h"
#include "stream/streamsink.h"

#include <cstdint>

// How the view turns a walk's pen and text into a picture; shared by every
// output that draws what the view shows (painter, raster, SVG).

// Qt rejects pen widths from 2^15 on. Any width above twice the page diagonal
// already covers the whole page, so clamping changes no pixel on it.
inline constexpr int32_t kWidestPen = (1 << 15) - 1;
// Largest text point size handed to a font engine; larger sizes only cost time.
inline constexpr int32_t kLargestPointSize = 32767;
// Text larger than this is filled as its outline: the font engine would make
// an image of each glyph at its full size first, gigabytes for an italic of
// the largest size (and a crash where they cannot be had).
inline constexpr int32_t kOutlinedPointSize = 1024;
// Text placed this far off the page is never visible; it is not drawn at all.
inline constexpr int32_t kTextPositionLimit = 1 << 24;

// The palette index a line is drawn with: white lines on a white background
// would vanish and are drawn black.
inline int32_t penColourIndex(int32_t index, int32_t backgroundIndex)
{
    if (index < 0 || index >= kPaletteSize)
        index = kPaletteBlack;
    if (backgroundIndex == kPaletteWhite && index == kPaletteWhite)
        index = kPaletteBlack;
    return index;
}

// Half the stream width in page units; 0 (and any negative width) is the
// thinnest line.
inline int screenPenWidth(int32_t lineWidth)
{
    const int32_t half = lineWidth / 2;
    return half <= 0 ? 0 : half < kWidestPen ? half : kWidestPen;
}

inline bool textIsPlaceable(const StreamText &item)
{
    return item.x >= -kTextPositionLimit && item.x <= kTextPositionLimit && item.y >= -kTextPositionLimit
           && item.y <= kTextPositionLimit;
}
