#pragma once

// What the walker fuzzers share: the walk an input asks for, and an output
// that checks the order and range of what a walk reports while folding every
// event into a digest, so that two walks can be compared without keeping them.
#include "common/currentdocument.h"
#include "common/spanrect.h"
#include "fuzz/fuzzcheck.h"
#include "stream/page.h"
#include "stream/pvgmeta.h"
#include "stream/streamsink.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The input's bytes followed by exactly the guaranteed zero bytes, so that any
// read beyond them is caught; the setting, scale and zoom chosen by its size.
struct WalkCase {
    std::vector<unsigned char> buffer;
    WalkInput input;
    double scale = 1;
    SpanRect fullPage, zoomArea;

    WalkCase(const uint8_t *data, std::size_t size) : buffer(data, data + size)
    {
        buffer.resize(size + kZeroBytesAfterData, 0);
        input.data = buffer.data();
        input.size = static_cast<int32_t>(size);
        input.whiteBackground = (size & 1) != 0;
        scale = (size & 2) ? 0.3 : 2.5;
        fullPage.setCorners(0, 0, kPageWidth, kPageHeight);
        if (size % 3 == 0)
            zoomArea.setCorners(1000, 2000, 2100, 1500);
    }
};

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
