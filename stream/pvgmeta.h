#pragma once

#include "common/fixedtext.h"
#include "common/spanrect.h"

#include <QLine>
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

    // Table sizes: colour-map entries ML can select, and TG indices with a scratch triple.
    static constexpr int kColourMapSize = 50;
    static constexpr int kColourScratchSize = 30;

private:
    // Walker (walker.cpp).
    struct AddressCollector;
    struct WalkState;
    void walk();
    bool readCommand();
    void dispatch(int collected, char first, char second);
    void runColourMapCommand();
    void decodeAddress(WalkState &state, const AddressCollector &address, int loX);
    void storeWalkState(const WalkState &state);
    void loadWalkState(WalkState &state) const;

    // Operand readers (operands.cpp).
    int32_t readOperand();
    int32_t readCount();
    int32_t readInteger(bool countDigits);
    void readShortText();
    void readSkippedOperands();
    void readRawText(char *text);
    void readDecimalPair();

    // Pens, segments and text (drawing.cpp).
    void setLineWidth(int32_t width);
    void setLineIndex(int32_t index);
    void applyPen(int32_t index);
    void writeEpsSegment(bool continues, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    void paintSegment(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    void flushSegments();
    void updateBatching();
    void drawTextItem(char *text);

    // Render set-up (pvgmeta.cpp).
    void setPrinterViewport();
    void fillBackground();

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
    int32_t epsItemsOnLine = 1;

    // Walk-local tables, reset at the start of every walk.
    const unsigned char *dataEnd = nullptr;
    bool operandCut = false;
    int32_t colourMap[kColourMapSize] = {};
    int32_t colourScratch[kColourScratchSize][3] = {};

    // Segments waiting for one line-list call; see drawing.cpp for when
    // batching is allowed (only where it draws the very same pixels).
    static constexpr int kBatchCapacity = 512;
    QLine batch[kBatchCapacity];
    int batchCount = 0;
    bool batching = false;
};

// Batching of painter calls can be switched off to compare against the
// one-line-per-call drawing; on by default.
extern bool pvgBatchSegments;
