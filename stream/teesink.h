#pragma once

#include "stream/streamsink.h"

// Hands one walk to two outputs (a painter and an EPS file at once).
class TeeSink final : public StreamSink
{
public:
    TeeSink(StreamSink *first, StreamSink *second) : a(first), b(second) {}

    // The output to give the walk: null, the one present, or this tee.
    StreamSink *sink() { return a == nullptr ? b : (b == nullptr ? a : this); }

    void begin(const WalkStart &start) override { a->begin(start); b->begin(start); }
    void lineWidthChanged(int32_t width) override { a->lineWidthChanged(width); b->lineWidthChanged(width); }
    void lineColourChanged(int32_t index) override { a->lineColourChanged(index); b->lineColourChanged(index); }
    void segments(const StreamSegment *list, int count) override { a->segments(list, count); b->segments(list, count); }
    void text(const StreamText &item) override { a->text(item); b->text(item); }
    void end() override { a->end(); b->end(); }

private:
    StreamSink *a;
    StreamSink *b;
};
