// Walks arbitrary bytes with no painter and no toolkit objects at all, only an
// output that checks the order and range of what the walk reports. Every input
// is walked twice, with and without the whole-address shortcut, and once more
// in pieces taken up from the walk's pauses; all must report the very same
// events.
#include "common/currentdocument.h"
#include "common/spanrect.h"
#include "stream/page.h"
#include "stream/pvgmeta.h"

#include "fuzz/fuzzcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Checks the walk while folding every event into a digest, so that two walks
// can be compared without keeping them.
class CheckingSink final : public StreamSink
{
public:
    uint64_t digest = 0;
    int64_t eventCount = 0;
    int64_t segmentsSeen = 0;
    int32_t background = -1;
    bool ended = false;

    void begin(const WalkStart &start) override
    {
        check(!begun, "begin twice");
        begun = true;
        check(start.backgroundIndex >= 0 && start.backgroundIndex <= 15, "background outside the palette");
        background = start.backgroundIndex;
        record(1000 + start.backgroundIndex);
    }
    void lineWidthChanged(int32_t width) override
    {
        inWalk();
        if (widths++ == 0)
            check(width == 0 && colours == 0 && eventCount == 1, "the first event is not width 0");
        record(2000);
        record(width);
    }
    void lineColourChanged(int32_t index) override
    {
        inWalk();
        if (colours++ == 0)
            check(index == 0 && eventCount == 3, "colour 0 does not follow the first width");
        check(index >= 0 && index <= 15, "colour outside the palette");
        record(3000 + index);
    }
    void segments(const StreamSegment *list, int count) override
    {
        inWalk();
        check(widths > 0 && colours > 0, "segments before the first pen");
        check(count >= 1, "an empty run of segments");
        for (int i = 0; i < count; ++i) {
            const StreamSegment &s = list[i];
            for (int32_t x : {s.x0, s.x1})
                check(x >= 0 && x < 4096, "x outside 12 bits");
            for (int32_t y : {s.y0, s.y1})
                check(y > kPageHeight - 4096 && y <= kPageHeight, "y outside 12 bits");
            // Runs may be cut anywhere; record the segments one by one.
            record(int64_t(uint16_t(s.x0)) << 48 | int64_t(uint16_t(s.y0)) << 32 | int64_t(uint16_t(s.x1)) << 16
                   | uint16_t(s.y1));
        }
        segmentsSeen += count;
    }
    void text(const StreamText &item) override
    {
        inWalk();
        check(item.text != nullptr && item.fontFamily != nullptr, "text without its strings");
        const std::size_t length = std::strlen(item.text);
        check(length < 1024 && std::strlen(item.fontFamily) < 1024, "text beyond its buffer");
        record(5000 + int64_t(length));
        record(item.x);
        record(item.y);
        record(item.pointSize);
        record(item.flags);
        for (std::size_t i = 0; i < length; ++i)
            record(static_cast<unsigned char>(item.text[i]));
    }
    void end() override
    {
        inWalk();
        ended = true;
        record(6000);
    }

private:
    void record(int64_t value)
    {
        digest = (digest ^ uint64_t(value)) * 0x100000001B3ull + 0x9E3779B97F4A7C15ull;
        ++eventCount;
    }
    void inWalk() const { check(begun && !ended, "an event outside begin and end"); }
    bool begun = false;
    int widths = 0;
    int colours = 0;
};

// Keeps copies of a walk at its pauses, a bounded number of them.
class PauseCopies final : public WalkPauses
{
public:
    std::vector<std::unique_ptr<CPvgMeta>> copies;
    bool paused(const CPvgMeta &walker) override
    {
        check(*walker.position() == 0x1B, "a pause away from an ESC");
        if (copies.size() < 256)
            copies.push_back(std::make_unique<CPvgMeta>(walker, nullptr));
        return true;
    }
};

// The pieces of a walk onto one output, which ends only after the last piece.
class PieceSink final : public StreamSink
{
public:
    explicit PieceSink(StreamSink &whole) : out(whole) {}
    void begin(const WalkStart &start) override { out.begin(start); }
    void lineWidthChanged(int32_t width) override { out.lineWidthChanged(width); }
    void lineColourChanged(int32_t index) override { out.lineColourChanged(index); }
    void segments(const StreamSegment *list, int count) override { out.segments(list, count); }
    void text(const StreamText &item) override { out.text(item); }
    void end() override {}

private:
    StreamSink &out;
};

// The walk again, paused every few segments and taken up piece by piece from
// copies of the paused walker, each piece stopping where the next begins.
void walkInPieces(const WalkInput &input, double scale, SpanRect zoomArea, SpanRect fullPage,
                  CheckingSink &whole, int32_t straightSegments)
{
    PauseCopies pauses;
    CPvgMeta pausing(input, nullptr, scale);
    pausing.setPauses(&pauses, 1 + input.size % 5);
    pausing.render(zoomArea, fullPage);
    check(pausing.walkedSegments() == straightSegments, "pauses change the segment count");

    PieceSink pieces(whole);
    const std::size_t count = pauses.copies.size();
    auto stopOf = [&](std::size_t next) { return next < count ? pauses.copies[next]->position() : nullptr; };
    CPvgMeta first(input, &pieces, scale);
    first.setStop(stopOf(0));
    first.render(zoomArea, fullPage);
    int32_t segments = first.walkedSegments();
    for (std::size_t i = 0; i < count; ++i) {
        CPvgMeta piece(*pauses.copies[i], &pieces);
        piece.setStop(stopOf(i + 1));
        piece.resume();
        segments = piece.walkedSegments();
    }
    whole.end();
    check(segments == straightSegments, "the pieces count other segments");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    // Exactly the guaranteed zero bytes after the data, so that any read
    // beyond them is caught.
    std::vector<unsigned char> buffer(data, data + size);
    buffer.resize(size + kZeroBytesAfterData, 0);

    WalkInput input;
    input.data = buffer.data();
    input.size = static_cast<int32_t>(size);
    input.whiteBackground = (size & 1) != 0;
    const double scale = (size & 2) ? 0.3 : 2.5;
    SpanRect fullPage;
    fullPage.setCorners(0, 0, kPageWidth, kPageHeight);
    SpanRect zoomArea;
    if (size % 3 == 0)
        zoomArea.setCorners(1000, 2000, 2100, 1500);

    CheckingSink sinks[3];
    for (int pass = 0; pass < 2; ++pass) {
        pvgWalkFastPath = pass == 0;
        CPvgMeta meta(input, &sinks[pass], scale);
        meta.render(zoomArea, fullPage);
        check(sinks[pass].ended, "the walk did not end");
        check(meta.walkedSegments() == sinks[pass].segmentsSeen, "segment count differs from the segments reported");
        check(meta.walkedBackground() == sinks[pass].background, "background differs from the one reported");
    }
    pvgWalkFastPath = true;
    check(sinks[0].digest == sinks[1].digest && sinks[0].eventCount == sinks[1].eventCount, "the shortcut changes what the walk reports");
    walkInPieces(input, scale, zoomArea, fullPage, sinks[2], int32_t(sinks[0].segmentsSeen));
    check(sinks[0].digest == sinks[2].digest && sinks[0].eventCount == sinks[2].eventCount, "a walk in pieces reports other events");
    return 0;
}
