#pragma once

#include "stream/recordedtexts.h"
#include "stream/streamsink.h"

#include <cstdint>
#include <string>
#include <vector>

// A slice of a walk's events, recorded so that other threads can replay it
// onto their own outputs. Its size is bounded: a recorder starts a new chunk
// when one is full, so a walk of any length needs only a few chunks in flight.
class EventChunk
{
public:
    static constexpr int kSegmentCapacity = 16384;
    static constexpr std::size_t kTextCapacity = 64 * 1024;

    void clear();
    // No room left: while it is false, one more event of any kind fits (a
    // text may overshoot the text capacity once).
    bool full() const;

    void begin(const WalkStart &start);
    void lineWidthChanged(int32_t width);
    void lineColourChanged(int32_t index);
    // Takes as many of the segments as fit; returns how many.
    int segments(const StreamSegment *list, int count);
    void text(const StreamText &item);
    void end();

    // The recorded events, in order, onto sink.
    void replay(StreamSink &sink) const;

    int32_t segmentCount() const { return static_cast<int32_t>(segmentList.size()); }
    bool hasEnd() const;

private:
    enum class Kind : uint8_t { Begin, Width, Colour, Text, End };
    struct Marker {
        Kind kind;
        int32_t value;        // width, colour, or index into texts
        int32_t segmentsBefore;
    };

    std::vector<StreamSegment> segmentList;
    std::vector<Marker> markers;
    RecordedTexts texts;
    WalkStart start;
};
