#include "stream/eventchunk.h"

#include <algorithm>

void EventChunk::clear()
{
    segmentList.clear();
    markers.clear();
    texts.clear();
}

bool EventChunk::full() const
{
    return segmentList.size() >= std::size_t(kSegmentCapacity) || texts.byteCount() >= kTextCapacity;
}

void EventChunk::begin(const WalkStart &walkStart)
{
    start = walkStart;
    markers.push_back({Kind::Begin, 0, segmentCount()});
}

void EventChunk::lineWidthChanged(int32_t width)
{
    markers.push_back({Kind::Width, width, segmentCount()});
}

void EventChunk::lineColourChanged(int32_t index)
{
    markers.push_back({Kind::Colour, index, segmentCount()});
}

int EventChunk::segments(const StreamSegment *list, int count)
{
    const int room = kSegmentCapacity - segmentCount();
    const int taken = std::clamp(count, 0, std::max(room, 0));
    segmentList.insert(segmentList.end(), list, list + taken);
    return taken;
}

void EventChunk::text(const StreamText &item)
{
    markers.push_back({Kind::Text, texts.add(item), segmentCount()});
}

void EventChunk::end()
{
    markers.push_back({Kind::End, 0, segmentCount()});
}

bool EventChunk::hasEnd() const
{
    return !markers.empty() && markers.back().kind == Kind::End;
}

void EventChunk::replay(StreamSink &sink) const
{
    int32_t delivered = 0;
    // In runs of the walker's size, so that an output can stop between them.
    constexpr int32_t kRun = 512;
    auto deliverUpTo = [&](int32_t upTo) {
        while (delivered < upTo) {
            const int32_t count = std::min(kRun, upTo - delivered);
            sink.segments(segmentList.data() + delivered, count);
            delivered += count;
        }
    };
    for (const Marker &marker : markers) {
        deliverUpTo(marker.segmentsBefore);
        switch (marker.kind) {
        case Kind::Begin:
            sink.begin(start);
            break;
        case Kind::Width:
            sink.lineWidthChanged(marker.value);
            break;
        case Kind::Colour:
            sink.lineColourChanged(marker.value);
            break;
        case Kind::Text:
            sink.text(texts.at(marker.value));
            break;
        case Kind::End:
            sink.end();
            break;
        }
    }
    deliverUpTo(segmentCount());
}
