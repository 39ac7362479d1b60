// Walks arbitrary bytes straight through, and again paused every few segments
// and taken up piece by piece from copies of the paused walker (as a frame is
// drawn latest first): both must report the very same events.
#include "fuzz/walkcheck.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace {

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
    const WalkCase walk(data, size);

    CheckingSink straight, pieces;
    CPvgMeta meta(walk.input, &straight, walk.scale);
    meta.render(walk.zoomArea, walk.fullPage);
    check(straight.ended, "the walk did not end");
    walkInPieces(walk.input, walk.scale, walk.zoomArea, walk.fullPage, pieces, int32_t(straight.segmentsSeen));
    check(straight.digest == pieces.digest && straight.eventCount == pieces.eventCount, "a walk in pieces reports other events");
    return 0;
}
