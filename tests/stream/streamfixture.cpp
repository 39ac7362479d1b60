#include "tests/stream/streamfixture.h"

#include "common/currentdocument.h"
#include "stream/epssink.h"
#include "stream/pvgmeta.h"
#include "tests/support/pvgwriter.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {
std::string point(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }

class RecordingSink final : public StreamSink
{
public:
    void begin(const WalkStart &s) override
    {
        add("bg" + std::to_string(s.backgroundIndex));
        if (s.zoomed)
            add("zoom " + point(s.zoomArea.left, s.zoomArea.top) + "," + point(s.zoomArea.right, s.zoomArea.bottom));
    }
    void lineWidthChanged(int32_t width) override { add("w" + std::to_string(width)); }
    void lineColourChanged(int32_t index) override { add("c" + std::to_string(index)); }
    void segments(const StreamSegment *list, int count) override
    {
        for (int i = 0; i < count; ++i, ++recorded)
            add(point(list[i].x0, list[i].y0) + "-" + point(list[i].x1, list[i].y1));
    }
    void text(const StreamText &t) override
    {
        add("'" + std::string(t.text) + "' " + point(t.x, t.y) + " " + t.fontFamily + " " + std::to_string(t.pointSize)
            + " " + std::to_string(t.flags));
    }
    void end() override
    {
        if (!inPieces)
            add("end");
    }
    void add(const std::string &word) { log += (log.empty() ? "" : " ") + word; }

    std::string log;
    int recorded = 0;
    bool inPieces = false; // the pieces' walks end before the last one does
};

// Copies of a walk paused after every segment.
class EveryPause final : public WalkPauses
{
public:
    bool paused(const CPvgMeta &walker) override
    {
        copies.push_back(std::make_unique<CPvgMeta>(walker, nullptr));
        return true;
    }
    std::vector<std::unique_ptr<CPvgMeta>> copies;
};
} // namespace

SpanRect corners(int left, int top, int right, int bottom)
{
    SpanRect rect;
    rect.setCorners(left, top, right, bottom);
    return rect;
}

int walk(const std::string &bytes, StreamSink *sink, double scale, SpanRect zoom, bool whiteBackground)
{
    std::vector<unsigned char> buffer(bytes.begin(), bytes.end());
    buffer.resize(bytes.size() + kZeroBytesAfterData, 0);
    CPvgMeta meta({buffer.data(), int32_t(bytes.size()), whiteBackground}, sink, scale);
    meta.render(zoom, corners(0, 0, 4096, 3120));
    return meta.walkedSegments();
}

std::string eventLog(const std::string &bytes, double scale, SpanRect zoom, bool whiteBackground)
{
    RecordingSink sink;
    const int walked = walk(bytes, &sink, scale, zoom, whiteBackground);
    if (walked != sink.recorded)
        sink.add("miscount " + std::to_string(walked));
    return sink.log;
}

std::string eventLogInPieces(const std::string &bytes, double scale, SpanRect zoom, bool whiteBackground)
{
    std::vector<unsigned char> buffer(bytes.begin(), bytes.end());
    buffer.resize(bytes.size() + kZeroBytesAfterData, 0);
    const WalkInput input{buffer.data(), int32_t(bytes.size()), whiteBackground};
    const SpanRect page = corners(0, 0, 4096, 3120);
    EveryPause pauses;
    CPvgMeta pausing(input, nullptr, scale);
    pausing.setPauses(&pauses, 1);
    pausing.render(zoom, page);

    RecordingSink sink;
    sink.inPieces = true;
    auto stopOf = [&](std::size_t next) { return next < pauses.copies.size() ? pauses.copies[next]->position() : nullptr; };
    CPvgMeta first(input, &sink, scale);
    first.setStop(stopOf(0));
    first.render(zoom, page);
    int walked = first.walkedSegments();
    for (std::size_t i = 0; i < pauses.copies.size(); ++i) {
        CPvgMeta piece(*pauses.copies[i], &sink);
        piece.setStop(stopOf(i + 1));
        piece.resume();
        walked = piece.walkedSegments();
    }
    sink.add("end");
    if (walked != sink.recorded || walked != pausing.walkedSegments())
        sink.add("miscount " + std::to_string(walked));
    return sink.log;
}

std::string exportEps(const std::string &bytes, SpanRect zoom, double scale)
{
    FILE *file = std::tmpfile();
    const ViewerSettingsRecord &s = ViewerSettings;
    {
        EpsSink sink(file, {s.eps_scalefactor, s.eps_include_background != 0, s.eps_cvt_lines_to_black != 0});
        walk(bytes, &sink, scale, zoom);
    }
    std::string text(std::size_t(std::ftell(file)), '\0');
    std::rewind(file);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    return text;
}

std::string pastOffset100()
{
    return PvgWriter::fragment().comment(std::string(60, 'p')).comment(std::string(60, 'q')).bytes();
}
