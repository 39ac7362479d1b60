#pragma once

#include "common/fixedtext.h"
#include "common/spanrect.h"
#include "stream/streamsink.h"

#include <cstdint>

// Results of the most recent walk whose picture was shown, printed or
// exported; the caller of a walk publishes them (a walk itself touches no
// process-wide state, so that walks can run anywhere).
extern int32_t segmentCount;
extern int32_t backgroundIndex;

// Whole-address decoding of the common short addresses can be switched off to
// compare against decoding byte by byte; on by default.
extern bool pvgWalkFastPath;

// Conversion option of drawIt that makes a walk write Encapsulated PostScript.
inline constexpr int kConvertToEps = 3;

// The bytes one walk reads and the one setting it decides by itself.
struct WalkInput {
    const unsigned char *data = nullptr; // followed by at least 16 zero bytes; may be null
    int32_t size = 0;
    bool whiteBackground = false;        // every picture on white
};

class CPvgMeta;

// Told of a walk's pauses: points between commands where everything the walk
// knows is in the walker, so that a copy of it can take the walk up there.
class WalkPauses
{
public:
    virtual ~WalkPauses() = default;
    // The walker has handed every segment so far to its output and stands at
    // the ESC at walker.position(). False ends the walk there.
    virtual bool paused(const CPvgMeta &walker) = 0;
};

// Interprets a document's bytes and hands what they draw to one output.
// One object serves exactly one render, or one resumed piece of a walk.
class CPvgMeta
{
public:
    // sink may be null: the walk then only counts segments.
    CPvgMeta(const WalkInput &input, StreamSink *sink, double lineWidthScale);
    // The walk of paused from its pause on, onto sink; it pauses no more.
    CPvgMeta(const CPvgMeta &paused, StreamSink *sink);
    CPvgMeta &operator=(const CPvgMeta &) = delete;

    // Walks the whole document once; returns 1.
    int render(SpanRect zoomArea, SpanRect fullPage);
    // A copy's walk from its pause to the stop or the document's end, without
    // the output's begin and end; returns 1.
    int resume();

    // Pauses at the first main-loop ESC after every `every` segments (at least 1).
    void setPauses(WalkPauses *pauses, int32_t every);
    // The walk ends, before its output's end, when it reaches the ESC at command.
    void setStop(const unsigned char *command) { stopAt = command; }

    // What the walk found: segments drawn, and the background's palette index.
    int32_t walkedSegments() const { return segments; }
    int32_t walkedBackground() const { return background; }
    // Where a paused walk stands, and the pen its output was last given.
    const unsigned char *position() const { return cur; }
    int32_t currentLineWidth() const { return lineWidth; }
    int32_t currentLineIndex() const { return lineIndex; }

    // Table sizes: colour-map entries ML can select, and TG indices with a scratch triple.
    static constexpr int kColourMapSize = 50;
    static constexpr int kColourScratchSize = 30;

private:
    CPvgMeta(const CPvgMeta &) = default;

    // Walker (walker.cpp).
    struct AddressCollector;
    struct WalkState;
    void walk();
    void walkBytes();
    bool pause();
    bool readCommand();
    void dispatch(int collected, char first, char second);
    void runColourMapCommand();
    void decodeAddress(WalkState &state, const AddressCollector &address, int loX);
    const unsigned char *countAddressBlocks(WalkState &state, AddressCollector &address, const unsigned char *p);
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

    // Pen and text events (pvgmeta.cpp).
    void setLineWidth(int32_t width);
    void setLineIndex(int32_t index);
    void drawTextItem(char *text);
    void flushSegments();

    TextBuffer fontFamily;
    int32_t fontSize = 0;
    int32_t textColour = 0;
    int32_t textX = 0;
    int32_t textY = 0;
    int32_t textFlags = 0;
    const unsigned char *cur = nullptr;
    double lineWidthScale;
    SpanRect pageRect;
    int32_t lineIndex = -1;
    int32_t lineWidth = -1;
    bool zoomed = false;
    int32_t curX = 0;
    int32_t curY = 0;
    bool emptyComponent = false;
    int32_t pendingByte = 0;
    bool moveNext = false;
    bool inColourMap = false;
    int32_t hiX = 0;
    int32_t hiY = 0;
    int32_t loY = 0;
    int32_t extra = 0;

    WalkInput input;
    StreamSink *sink;
    WalkPauses *pauses = nullptr;
    int32_t pauseEvery = 0;
    int32_t pausedAtSegments = 0;
    const unsigned char *stopAt = nullptr;
    int32_t segments = 0;
    int32_t background = 15;

    // Walk-local tables, reset at the start of every walk.
    const unsigned char *dataEnd = nullptr;
    bool operandCut = false;
    int32_t colourMap[kColourMapSize] = {};
    int32_t colourScratch[kColourScratchSize][3] = {};

    // Segments waiting for the sink: handed over in runs, and before any
    // other event so that the order of events is the stream's.
    static constexpr int kRunCapacity = 512;
    StreamSegment run[kRunCapacity];
    int runLength = 0;
};
