#pragma once

#include "stream/eventchunk.h"
#include "stream/latestfirst.h"
#include "stream/pvgmeta.h"
#include "view/framerenderer.h"

#include <QImage>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// One render: its request, the thread that walks the document, the band
// threads that draw it, and the chunks in flight between them. FrameRenderer
// starts it, cancels it and takes its frame.
struct FrameRenderer::Job {
    FrameRequest request;
    std::function<void()> finished;

    std::mutex mutex;
    std::condition_variable changed;
    bool cancelled = false;
    bool failed = false; // no image or no threads to be had: ended with no frame
    std::atomic<bool> stopDrawing{false}; // cancelled, read without the lock
    bool done = false;
    std::optional<FinishedFrame> result;

    // Chunks in flight: the walker fills slot produced % kSlots once every band
    // has replayed what was there before.
    static constexpr int kSlots = 4;
    EventChunk chunkSlots[kSlots];
    PenRunChunk pieceSlots[kSlots]; // the same, latest first
    std::atomic<bool> latestFirst{false};
    std::atomic<int32_t> pausedSegments{0}; // the first walk's progress
    int64_t produced = 0;
    std::vector<int64_t> consumed;
    std::unique_ptr<std::atomic<int32_t>[]> replayedSegments;
    int bands = 1;

    std::thread thread;

    void run();
    void markFailed();
    struct Walked {
        int32_t segments, background;
    };
    std::optional<Walked> drawLatestFirst(QImage &frame);
    Walked drawInStreamOrder(QImage &frame);
    WalkInput walkInput() const;
    template <class Replay>
    std::vector<std::thread> startBands(std::vector<QImage> &rows, const Replay &replay);
    void replayBand(int band, QImage &rows, int top);
    void replayBandLatestFirst(int band, QImage &rows, int top, const WalkStart &start);
    // Waits for a slot the bands are done with; null once cancelled.
    template <class Chunk>
    Chunk *freeSlot(Chunk (&ring)[kSlots]);
    void publishSlot();
    // Waits for the chunk after `next`; null once cancelled.
    template <class Chunk>
    const Chunk *nextChunk(Chunk (&ring)[kSlots], int64_t next);
    void markConsumed(int band, int64_t next);
    bool isCancelled()
    {
        std::lock_guard lock(mutex);
        return cancelled;
    }
};
