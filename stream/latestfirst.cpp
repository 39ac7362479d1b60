#include "stream/latestfirst.h"

#include "stream/rastersink.h"
#include "stream/viewmapping.h"

PauseList::PauseList(int32_t longestArg, const std::atomic<bool> &stop, std::atomic<int32_t> &walkedSegments)
    : longest(longestArg), stopped(stop), walked(walkedSegments)
{
}

bool PauseList::paused(const CPvgMeta &walker)
{
    const int32_t segments = walker.walkedSegments();
    unsuitable = unsuitable || segments - segmentsAtLastPause > longest;
    segmentsAtLastPause = segments;
    walked = segments;
    copies.push_back(std::make_unique<CPvgMeta>(walker, nullptr));
    return !unsuitable && !stopped;
}

bool PauseList::suitable(int32_t totalSegments) const
{
    return !unsuitable && !stopped && totalSegments - segmentsAtLastPause <= longest;
}

void PenRunChunk::reset(int32_t lineWidth, int32_t lineIndex, bool first)
{
    segmentList.clear();
    runs.assign(1, Run{0, lineWidth, lineIndex, -1});
    texts.clear();
    firstPiece = first;
}

// A pen change takes over a run that has nothing yet; a text needs one of
// its own.
void PenRunChunk::newRun(int32_t width, int32_t index, int32_t text)
{
    const Run run{segmentCount(), width, index, text};
    if (runs.back().first == run.first && runs.back().text < 0)
        runs.back() = run;
    else
        runs.push_back(run);
}

void PenRunChunk::text(const StreamText &item)
{
    newRun(runs.back().lineWidth, runs.back().lineIndex, texts.add(item));
}

void PenRunChunk::segments(const StreamSegment *list, int count)
{
    segmentList.insert(segmentList.end(), list, list + count);
}

void PenRunChunk::replayLatestFirst(RasterSink &sink, const std::atomic<bool> &stop) const
{
    int32_t end = segmentCount();
    for (auto run = runs.rbegin(); run != runs.rend() && !stop; ++run) {
        if (end > run->first || run->text >= 0) {
            sink.lineWidthChanged(run->lineWidth);
            sink.lineColourChanged(run->lineIndex);
        }
        if (end > run->first)
            sink.segmentsLatestFirst(segmentList.data() + run->first, end - run->first);
        if (run->text >= 0)
            sink.textLatestFirst(texts.at(run->text));
        end = run->first;
    }
}

void walkPiece(const WalkInput &input, double lineWidthScale, SpanRect zoomArea, const PauseList &pauses,
               std::size_t piece, PenRunChunk &chunk)
{
    const auto &copies = pauses.pauses();
    const unsigned char *stop = piece < copies.size() ? copies[piece]->position() : nullptr;
    if (piece == 0) {
        chunk.reset(0, 0, true);
        CPvgMeta walk(input, &chunk, lineWidthScale);
        walk.setStop(stop);
        walk.render(zoomArea, fullPageRect());
        return;
    }
    const CPvgMeta &paused = *copies[piece - 1];
    chunk.reset(paused.currentLineWidth(), paused.currentLineIndex(), false);
    CPvgMeta walk(paused, &chunk);
    walk.setStop(stop);
    walk.resume();
}
