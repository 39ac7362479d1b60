#pragma once

#include "common/spanrect.h"
#include "stream/page.h"

#include <cstdint>

// What a walk of the stream produces, in stream order. The painter, the EPS
// writer and the raster path are outputs of this one kind, so that a walk
// never needs to know where its picture goes.

// One line segment in logical units.
struct StreamSegment {
    int32_t x0, y0, x1, y1;
};

// What is known before the first byte is walked.
struct WalkStart {
    int32_t backgroundIndex = 15; // palette index of the picture's background
    SpanRect zoomArea;            // width > 0: only this part of the page is shown
    SpanRect pageRect;            // the zoom area when zoomed, else the whole page
    bool zoomed = false;
};

// One ZD text item with the font state in force (text colour is recorded by
// the stream but the item is drawn with the line pen).
struct StreamText {
    const char *text = "";        // trailing newline already removed
    const char *fontFamily = "";
    int32_t pointSize = 0;        // 0 or less: the default size
    int32_t flags = 0;            // bit 0 bold, bit 1 italic
    int32_t x = 0, y = 0;         // logical units
};

class StreamSink
{
public:
    virtual ~StreamSink() = default;

    virtual void begin(const WalkStart &start) = 0;
    // The line width as the stream gives it, already multiplied by the
    // walk's line-width scale; first reported as 0 before any byte.
    virtual void lineWidthChanged(int32_t width) = 0;
    // A palette index 0..15 (colour-map value passed through mapColour);
    // first reported as 0 right after the first width.
    virtual void lineColourChanged(int32_t index) = 0;
    // Segments drawn since the last other event, in order; count >= 1.
    virtual void segments(const StreamSegment *list, int count) = 0;
    virtual void text(const StreamText &item) = 0;
    virtual void end() = 0;
    // False for an output that ignores segments: the walk then only counts them.
    virtual bool takesSegments() const { return true; }
};
