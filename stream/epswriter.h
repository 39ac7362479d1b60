#pragma once

#include "common/spanrect.h"

#include <cstdint>
#include <cstdio>

// The PostScript pieces of an EPS export. Numbers are always written the C
// way ('.' as decimal point), whatever locale the process runs in.

// The smallest line width ever written.
inline constexpr int32_t kEpsMinimumLineWidth = 5;

struct EpsHeaderOptions {
    SpanRect pageRect;
    bool zoomed = false;
    double scale = 0.25;
    bool includeBackground = false;
};

void writeEpsHeader(FILE *file, const EpsHeaderOptions &options);
void writeEpsWidth(FILE *file, int32_t width);
// index is a palette index already passed through mapColour.
void writeEpsColour(FILE *file, int32_t index, int32_t backgroundIndex, bool linesToBlack);
// Coordinates here are file coordinates (y upward).
void writeEpsMoveSegment(FILE *file, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void writeEpsLineTo(FILE *file, int32_t x1, int32_t y1);
void writeEpsLineBreak(FILE *file);
void writeEpsTrailer(FILE *file);
