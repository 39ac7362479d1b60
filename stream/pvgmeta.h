#pragma once

#include "common/fixedtext.h"
#include "common/spanrect.h"

#include <QPen>

#include <cstdint>
#include <cstdio>

class QPainter;
class QPrinter;

// Results of the most recent walk, whatever its target (screen, printer, EPS).
extern int32_t segmentCount;
extern int32_t backgroundIndex;

// Conversion option that makes a walk write Encapsulated PostScript as well.
inline constexpr int kConvertToEps = 3;

// Interprets the loaded document's bytes onto a painter (and, with cvtflag 3,
// into the EPS file named by exportPath). One object serves exactly one render.
class CPvgMeta
{
public:
    CPvgMeta(const char *documentPath, QPainter *painter, QPrinter *printer,
             double lineWidthScale, int cvtflag);
    ~CPvgMeta();
    CPvgMeta(const CPvgMeta &) = delete;
    CPvgMeta &operator=(const CPvgMeta &) = delete;

    int render(SpanRect zoomArea, SpanRect fullPage);

private:
    // Filled in by the interpreter implementation.
    QPen pen;
    TextBuffer docPath;
    TextBuffer fontFamily;
    int32_t fontSize = 0;
    int32_t textColour = 0;
    int32_t textX = 0;
    int32_t textY = 0;
    int32_t textFlags = 0;
    const unsigned char *cur = nullptr;
    double lineWidthScale;
    SpanRect pageRect;
    int32_t cvtflag;
    int32_t lineIndex = -1;
    int32_t lineWidth = -1;
    bool zoomed = false;
    FILE *cvtfp = nullptr;
    int32_t curX = 0;
    int32_t curY = 0;
    int32_t lastX = -1;
    int32_t lastY = 0;
    bool emptyComponent = false;
    int32_t pendingByte = 0;
    bool moveNext = false;
    bool inColourMap = false;
    QPainter *painter;
    QPrinter *printer;
    int32_t hiX = 0;
    int32_t hiY = 0;
    int32_t loY = 0;
    int32_t extra = 0;
    int32_t loYCount = 0;
    int32_t epsItemsOnLine = 1;
};
