#pragma once

#include "stream/viewmapping.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>

// Everything a frame depends on. Two requests with equal keys render the very
// same picture.
struct FrameKey {
    QSize pixelSize;             // device pixels
    double devicePixelRatio = 1;
    double lineWidthScale = 1;
    SpanRect zoomArea;
    bool whiteBackground = false;
    const unsigned char *data = nullptr;
    int32_t size = 0;
    uint64_t generation = 0;

    bool operator==(const FrameKey &) const = default;
};

// The order a frame's lines are drawn in: the stream's, or latest first
// where the document allows it (the same picture, most lines of an
// overdrawn plot left out); by default latest first from a size on.
enum class FrameOrder { BySize, Stream, LatestFirst };

struct FrameRequest {
    FrameKey key;
    std::shared_ptr<const unsigned char[]> bytes; // the document, kept alive for the render
    int32_t expectedSegments = 0;                 // for progress; 0 when unknown
    QRgb outside = 0xFFFFFFFF;                    // where the page does not reach
    FrameOrder order = FrameOrder::BySize;
};

struct FinishedFrame {
    FrameKey key;
    QImage image;
    int32_t segments = 0;
    int32_t background = 15;
};

// Renders frames off the GUI thread: one thread walks the document once and
// records its events in bounded chunks, band threads replay each chunk into
// their rows of the frame. A new request cancels the running one; a cancelled
// render never delivers a frame.
class FrameRenderer
{
public:
    // finished is called on a worker thread when a frame is complete.
    explicit FrameRenderer(std::function<void()> finished);
    ~FrameRenderer();
    FrameRenderer(const FrameRenderer &) = delete;
    FrameRenderer &operator=(const FrameRenderer &) = delete;

    void start(FrameRequest request);
    void cancel();
    // Cancels and waits until no thread of any render runs.
    void stop();
    // True once the current render has finished (false if none runs).
    bool wait(int timeoutMs);
    bool busy() const;
    // True when the current render ended for want of memory or threads;
    // asking again for the same frame would fail the same way.
    bool failed() const;
    const FrameKey *runningKey() const;
    // 0..1, an estimate.
    double progress() const;
    std::optional<FinishedFrame> takeFinished();

    // Band threads per frame; at least one.
    static int bandCount();

    struct Job; // one render, shared with its threads

private:
    void reapRetired();

    std::function<void()> finishedCallback;
    std::shared_ptr<Job> current;
    std::list<std::shared_ptr<Job>> retired; // cancelled, still winding down
};
