#include "view/framejob.h"

#include "stream/paintersink.h"
#include "stream/rastersink.h"
#include "stream/vectorstate.h"

#include <QPainter>

#include <algorithm>
#include <new>
#include <system_error>

namespace {

// Passes events on until the render is cancelled, then drops them, so that a
// band stops within one run of segments.
class CancellableSink final : public StreamSink
{
public:
    CancellableSink(StreamSink &output, const std::atomic<bool> &stop) : out(output), stopped(stop) {}
    void begin(const WalkStart &start) override { out.begin(start); }
    void lineWidthChanged(int32_t width) override
    {
        if (!stopped)
            out.lineWidthChanged(width);
    }
    void lineColourChanged(int32_t index) override
    {
        if (!stopped)
            out.lineColourChanged(index);
    }
    void segments(const StreamSegment *list, int count) override
    {
        if (!stopped)
            out.segments(list, count);
    }
    void text(const StreamText &item) override
    {
        if (!stopped)
            out.text(item);
    }
    void end() override { out.end(); }

private:
    StreamSink &out;
    const std::atomic<bool> &stopped;
};

// Records a walk into the job's chunk slots, waiting for a free one when the
// bands fall behind; after a cancel it drops everything.
class ChunkingSink final : public StreamSink
{
public:
    explicit ChunkingSink(FrameRenderer::Job &renderJob) : job(renderJob) { acquire(); }

    void begin(const WalkStart &start) override
    {
        if (chunk != nullptr)
            chunk->begin(start);
        publishIfFull();
    }
    void lineWidthChanged(int32_t width) override
    {
        if (chunk != nullptr)
            chunk->lineWidthChanged(width);
        publishIfFull();
    }
    void lineColourChanged(int32_t index) override
    {
        if (chunk != nullptr)
            chunk->lineColourChanged(index);
        publishIfFull();
    }
    void segments(const StreamSegment *list, int count) override
    {
        while (count > 0 && chunk != nullptr) {
            const int taken = chunk->segments(list, count);
            list += taken;
            count -= taken;
            publishIfFull();
        }
    }
    void text(const StreamText &item) override
    {
        if (chunk != nullptr)
            chunk->text(item);
        publishIfFull();
    }
    void end() override
    {
        if (chunk == nullptr)
            return;
        chunk->end();
        publish();
        chunk = nullptr;
    }

private:
    void acquire()
    {
        chunk = job.freeSlot(job.chunkSlots);
        if (chunk != nullptr)
            chunk->clear();
    }

    void publish() { job.publishSlot(); }

    void publishIfFull()
    {
        if (chunk == nullptr || !chunk->full())
            return;
        publish();
        acquire();
    }

    FrameRenderer::Job &job;
    EventChunk *chunk = nullptr;
};

// Ends a walk at its next pause once the render is cancelled: a walk whose
// events are dropped need not go on to the document's end.
class StopWhenCancelled final : public WalkPauses
{
public:
    explicit StopWhenCancelled(const std::atomic<bool> &stop) : stopped(stop) {}
    bool paused(const CPvgMeta &) override { return !stopped; }
    // Segments between looks: well under a millisecond of walking.
    static constexpr int32_t kEvery = 65536;

private:
    const std::atomic<bool> &stopped;
};

// KELVO_FRAME_PAINTER=1 draws the bands through QPainter instead of the
// raster path, to compare the two.
bool usePainterPath()
{
    static const bool painter = qEnvironmentVariableIntValue("KELVO_FRAME_PAINTER") == 1;
    return painter;
}

// Runs work; memory that cannot be had in it (a document near the
// process's limit) ends the render as a failed one, not the process: every
// thread of the render stops as at a cancel and no frame is given.
template <class Work>
void failingWithoutMemory(FrameRenderer::Job &job, const Work &work)
{
    try {
        work();
    } catch (const std::bad_alloc &) {
        job.markFailed();
    }
}

} // namespace

template <class Chunk>
Chunk *FrameRenderer::Job::freeSlot(Chunk (&ring)[kSlots])
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] {
        const int64_t slowest = *std::min_element(consumed.begin(), consumed.end());
        return cancelled || produced - slowest < kSlots;
    });
    return cancelled ? nullptr : &ring[produced % kSlots];
}

void FrameRenderer::Job::publishSlot()
{
    {
        std::lock_guard lock(mutex);
        ++produced;
    }
    changed.notify_all();
}

template <class Chunk>
const Chunk *FrameRenderer::Job::nextChunk(Chunk (&ring)[kSlots], int64_t next)
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return cancelled || next < produced; });
    return cancelled ? nullptr : &ring[next % kSlots];
}

void FrameRenderer::Job::markConsumed(int band, int64_t next)
{
    {
        std::lock_guard lock(mutex);
        const int64_t slowest = *std::min_element(consumed.begin(), consumed.end());
        consumed[std::size_t(band)] = next;
        // Only the slowest band frees a slot: waking the walker for any
        // other would cost two thread switches for nothing.
        if (*std::min_element(consumed.begin(), consumed.end()) == slowest)
            return;
    }
    changed.notify_all();
}

void FrameRenderer::Job::replayBand(int band, QImage &rows, int top)
{
    const FrameKey &key = request.key;
    // The band's rows are part of the whole frame: map the page onto all of it.
    std::optional<QPainter> painter;
    std::optional<PainterSink> painted;
    std::optional<RasterSink> rastered;
    if (usePainterPath()) {
        painter.emplace(&rows);
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setViewport(0, -top, key.pixelSize.width(), key.pixelSize.height());
        painted.emplace(&*painter);
    } else {
        rastered.emplace(&rows, top, key.pixelSize);
    }
    CancellableSink sink(painted ? static_cast<StreamSink &>(*painted) : *rastered, stopDrawing);

    for (int64_t next = 0;;) {
        const EventChunk *chunk = nextChunk(chunkSlots, next);
        if (chunk == nullptr)
            return;
        chunk->replay(sink);
        replayedSegments[band] += chunk->segmentCount();
        const bool last = chunk->hasEnd();
        markConsumed(band, ++next);
        if (last)
            return;
    }
}

void FrameRenderer::Job::replayBandLatestFirst(int band, QImage &rows, int top, const WalkStart &start)
{
    RasterSink sink(&rows, top, request.key.pixelSize);
    sink.setLatestFirst();
    sink.begin(start);
    for (int64_t next = 0;;) {
        const PenRunChunk *chunk = nextChunk(pieceSlots, next);
        if (chunk == nullptr)
            return;
        chunk->replayLatestFirst(sink, stopDrawing);
        replayedSegments[band] += chunk->segmentCount();
        const bool last = chunk->isFirst();
        markConsumed(band, ++next);
        if (last) {
            sink.finishLatestFirst(request.outside);
            return;
        }
    }
}

namespace {

// The first row of a band; the next band's is the row after its last.
int bandTop(int height, int band, int bands)
{
    return height * band / bands;
}

// Each band paints a QImage over its own rows of the frame's memory.
std::vector<QImage> bandsOf(QImage &frame, int bands)
{
    uchar *bits = frame.bits();
    const int height = frame.height();
    std::vector<QImage> rows;
    rows.reserve(std::size_t(bands));
    for (int band = 0; band < bands; ++band) {
        const int top = bandTop(height, band, bands), bottom = bandTop(height, band + 1, bands);
        rows.emplace_back(bits + qsizetype(top) * frame.bytesPerLine(), frame.width(), bottom - top,
                          frame.bytesPerLine(), frame.format());
    }
    return rows;
}

// Which documents are drawn latest first by size: KELVO_FRAME_ORDER=stream
// for none, =latest for all that allow it; else those where it pays, which
// have lines enough to cover the frame several times over: from about 4.5
// bytes a pixel up to 1280 pixels wide, measured on plots. Wider frames pay
// much sooner (their pens widen with the width, and a stroke in stream order
// reaches more memory): about 0.6 bytes a pixel at 1920 wide, under 0.2 at
// 2560, which the fourth power of the width rounds up to.
bool wantsLatestFirst(FrameOrder order, int32_t size, QSize pixels)
{
    if (order != FrameOrder::BySize)
        return order == FrameOrder::LatestFirst;
    static const QByteArray chosen = qgetenv("KELVO_FRAME_ORDER");
    if (chosen == "stream")
        return false;
    const double wider = std::max(1.0, pixels.width() / 1280.0);
    const double bytesPerPixel = 4.5 / (wider * wider * wider * wider);
    return chosen == "latest" || double(size) >= bytesPerPixel * pixels.width() * pixels.height();
}

} // namespace

WalkInput FrameRenderer::Job::walkInput() const
{
    return WalkInput{request.bytes.get(), request.key.size, request.key.whiteBackground};
}

// A thread for each band, replay(band, its rows, its top row) in it.
template <class Replay>
std::vector<std::thread> FrameRenderer::Job::startBands(std::vector<QImage> &rows, const Replay &replay)
{
    std::vector<std::thread> threads;
    threads.reserve(std::size_t(bands));
    const int height = request.key.pixelSize.height();
    for (int band = 0; band < bands; ++band) {
        try {
            threads.emplace_back([this, &rows, replay, band, top = bandTop(height, band, bands)] {
                failingWithoutMemory(*this, [&] { replay(band, rows[std::size_t(band)], top); });
            });
        } catch (const std::system_error &) { // no thread to be had
            markFailed(); // the bands started see it as a cancel
            break;
        } catch (const std::bad_alloc &) { // nor the memory for one
            markFailed();
            break;
        }
    }
    return threads;
}

FrameRenderer::Job::Walked FrameRenderer::Job::drawInStreamOrder(QImage &frame)
{
    const FrameKey &key = request.key;
    frame.fill(request.outside);
    clearUpperVectorState(); // before the band threads start: they inherit it
    std::vector<QImage> rows = bandsOf(frame, bands);
    std::vector<std::thread> bandThreads = startBands(rows, [this](int band, QImage &bandRows, int top) {
        replayBand(band, bandRows, top);
    });

    ChunkingSink recorder(*this);
    CPvgMeta meta(walkInput(), &recorder, key.lineWidthScale);
    StopWhenCancelled stop(stopDrawing);
    meta.setPauses(&stop, StopWhenCancelled::kEvery);
    failingWithoutMemory(*this, [&] { meta.render(key.zoomArea, fullPageRect()); });

    for (std::thread &thread : bandThreads)
        thread.join();
    return Walked{meta.walkedSegments(), meta.walkedBackground()};
}

// The first walk keeps its pauses; then the pieces are walked again last
// first, each into a free slot, while the bands draw the slots before. Empty
// when the document does not allow it (nothing is drawn then) or the render
// is cancelled.
std::optional<FrameRenderer::Job::Walked> FrameRenderer::Job::drawLatestFirst(QImage &frame)
{
    const FrameKey &key = request.key;
    const WalkInput input = walkInput();

    // A segment takes at least one byte: about a thousand pauses at most
    // (10 kB each), and pieces of at most twice their distance (16 bytes a
    // segment). Pieces of ~100 kB of stream: smaller ones cost more in
    // hand-overs between the threads than they save, larger ones no longer
    // stay in the cache between the walk and the bands.
    const int32_t every = std::clamp<int32_t>(key.size / 1024, 98304, 1 << 20);
    PauseList pauses(every * 2, stopDrawing, pausedSegments);
    CPvgMeta first(input, &pauses, key.lineWidthScale);
    first.setPauses(&pauses, every);
    latestFirst = true;
    first.render(key.zoomArea, fullPageRect());
    if (!pauses.suitable(first.walkedSegments()))
        return std::nullopt;

    frame.fill(Qt::transparent);
    clearUpperVectorState(); // before the band threads start: they inherit it
    std::vector<QImage> rows = bandsOf(frame, bands);
    std::vector<std::thread> bandThreads = startBands(rows, [this, &pauses](int band, QImage &bandRows, int top) {
        replayBandLatestFirst(band, bandRows, top, pauses.start());
    });

    failingWithoutMemory(*this, [&] {
        for (std::size_t piece = pauses.pieceCount(); piece-- > 0;) {
            PenRunChunk *chunk = freeSlot(pieceSlots);
            if (chunk == nullptr)
                break;
            walkPiece(input, key.lineWidthScale, key.zoomArea, pauses, piece, *chunk);
            publishSlot();
        }
    });
    for (std::thread &thread : bandThreads)
        thread.join();
    if (isCancelled())
        return std::nullopt;
    return Walked{first.walkedSegments(), first.walkedBackground()};
}

// No image or no thread to be had (the process is at its limits): the render
// ends as a cancelled one does, and asking again would fail the same way.
void FrameRenderer::Job::markFailed()
{
    {
        std::lock_guard lock(mutex);
        cancelled = true;
        failed = true;
        stopDrawing = true;
    }
    changed.notify_all();
}

void FrameRenderer::Job::run()
{
    clearUpperVectorState(); // this thread began as a copy of the one that started it
    const FrameKey &key = request.key;
    QImage frame(key.pixelSize, QImage::Format_ARGB32_Premultiplied);
    std::optional<Walked> walked;
    if (frame.isNull())
        markFailed();
    // What is made before the band threads start or after they end (the
    // first walk's pauses among it) fails here.
    failingWithoutMemory(*this, [&] {
        // Latest first ends on an opaque colour outside the page.
        if (!isCancelled() && !usePainterPath() && wantsLatestFirst(request.order, key.size, key.pixelSize)
            && qAlpha(request.outside) == 255)
            walked = drawLatestFirst(frame);
        if (!walked && !isCancelled()) {
            latestFirst = false;
            walked = drawInStreamOrder(frame);
        }
    });

    std::unique_lock lock(mutex);
    if (!cancelled && walked) {
        frame.setDevicePixelRatio(key.devicePixelRatio);
        result = FinishedFrame{key, frame, walked->segments, walked->background};
    }
    done = true;
    const bool deliver = result.has_value();
    lock.unlock();
    changed.notify_all();
    if (deliver && finished)
        finished();
}
