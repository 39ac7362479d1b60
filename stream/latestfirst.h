#pragma once

#include "stream/pvgmeta.h"
#include "stream/recordedtexts.h"
#include "stream/streamsink.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class RasterSink;

// Drawing a document latest first: where later lines cover a pixel, nothing
// drawn before them there can show, so a heavily overdrawn plot drawn from
// its end back leaves most of its lines undrawn (see LineRaster). The walk
// itself only runs forward: a first walk keeps copies of the walker at
// pauses between commands, and the pieces between them are walked again,
// last piece first, each into a buffer of bounded size.

// The first walk: the start of the picture, the pauses, and what rules the
// latest-first drawing out (many texts, and a piece too long for a buffer).
class PauseList final : public StreamSink, public WalkPauses
{
public:
    // longest: the most segments a piece may hold.
    PauseList(int32_t longest, const std::atomic<bool> &stop, std::atomic<int32_t> &walkedSegments);

    void begin(const WalkStart &start) override { walkStart = start; }
    void lineWidthChanged(int32_t) override {}
    void lineColourChanged(int32_t) override {}
    void segments(const StreamSegment *, int) override {}
    bool takesSegments() const override { return false; }
    // Each text costs a pass over the band, latest first.
    static constexpr int kMostTexts = 64;
    void text(const StreamText &) override { unsuitable = unsuitable || ++texts > kMostTexts; }
    void end() override {}
    bool paused(const CPvgMeta &walker) override;

    // After the walk, with its segment count: true when it may be drawn latest first.
    bool suitable(int32_t totalSegments) const;

    const WalkStart &start() const { return walkStart; }
    // The pieces: from the start to the first pause, between pauses, from
    // the last pause to the end.
    std::size_t pieceCount() const { return copies.size() + 1; }
    const std::vector<std::unique_ptr<CPvgMeta>> &pauses() const { return copies; }

private:
    int32_t longest;
    const std::atomic<bool> &stopped;
    std::atomic<int32_t> &walked;
    WalkStart walkStart;
    std::vector<std::unique_ptr<CPvgMeta>> copies;
    int32_t segmentsAtLastPause = 0;
    int texts = 0;
    bool unsuitable = false;
};

// One piece of the walk, as runs of segments each with its pen, a run
// starting with a text where the walk drew one.
class PenRunChunk final : public StreamSink
{
public:
    // Empty, under the pen the output was last given.
    void reset(int32_t lineWidth, int32_t lineIndex, bool first);

    void begin(const WalkStart &) override {}
    void lineWidthChanged(int32_t width) override { newRun(width, runs.back().lineIndex, -1); }
    void lineColourChanged(int32_t index) override { newRun(runs.back().lineWidth, index, -1); }
    void segments(const StreamSegment *list, int count) override;
    void text(const StreamText &item) override;
    void end() override {}

    // The runs last to first onto a latest-first sink, until stop is set.
    void replayLatestFirst(RasterSink &sink, const std::atomic<bool> &stop) const;

    int32_t segmentCount() const { return static_cast<int32_t>(segmentList.size()); }
    bool isFirst() const { return firstPiece; } // the piece the picture starts with

private:
    struct Run {
        int32_t first;
        int32_t lineWidth, lineIndex;
        int32_t text; // index into texts, or -1
    };
    void newRun(int32_t width, int32_t index, int32_t text);

    std::vector<StreamSegment> segmentList;
    std::vector<Run> runs;
    RecordedTexts texts;
    bool firstPiece = false;
};

// Walks piece `piece` of the walk that made pauses again, into chunk (which
// is reset first).
void walkPiece(const WalkInput &input, double lineWidthScale, SpanRect zoomArea, const PauseList &pauses,
               std::size_t piece, PenRunChunk &chunk);

