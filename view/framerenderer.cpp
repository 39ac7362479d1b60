#include "view/framerenderer.h"

#include "view/framejob.h"

#include <QThread>

#include <algorithm>
#include <system_error>

FrameRenderer::FrameRenderer(std::function<void()> finished) : finishedCallback(std::move(finished))
{
}

FrameRenderer::~FrameRenderer()
{
    stop();
}

void FrameRenderer::stop()
{
    cancel();
    for (const std::shared_ptr<Job> &job : retired)
        if (job->thread.joinable())
            job->thread.join();
    retired.clear();
}

int FrameRenderer::bandCount()
{
    return std::clamp(QThread::idealThreadCount(), 1, 8);
}

void FrameRenderer::start(FrameRequest request)
{
    cancel();
    reapRetired();
    auto job = std::make_shared<Job>();
    job->request = std::move(request);
    job->finished = finishedCallback;
    // A frame a few rows high has no rows for the other bands.
    job->bands = std::clamp(job->request.key.pixelSize.height(), 1, bandCount());
    job->consumed.assign(std::size_t(job->bands), 0);
    job->replayedSegments = std::make_unique<std::atomic<int32_t>[]>(std::size_t(job->bands));
    try {
        job->thread = std::thread([raw = job.get()] { raw->run(); });
    } catch (const std::system_error &) {
        job->done = job->failed = true; // no thread to be had: a render that gives no frame
    }
    current = std::move(job);
}

void FrameRenderer::cancel()
{
    if (current == nullptr)
        return;
    {
        std::lock_guard lock(current->mutex);
        current->cancelled = true;
        current->stopDrawing = true;
    }
    current->changed.notify_all();
    retired.push_back(std::move(current));
    current = nullptr;
}

void FrameRenderer::reapRetired()
{
    for (auto it = retired.begin(); it != retired.end();) {
        bool done;
        {
            std::lock_guard lock((*it)->mutex);
            done = (*it)->done;
        }
        if (done) {
            if ((*it)->thread.joinable())
                (*it)->thread.join();
            it = retired.erase(it);
        } else {
            ++it;
        }
    }
}

bool FrameRenderer::wait(int timeoutMs)
{
    if (current == nullptr)
        return false;
    std::unique_lock lock(current->mutex);
    if (timeoutMs < 0)
        current->changed.wait(lock, [this] { return current->done; });
    else
        current->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return current->done; });
    return current->done;
}

bool FrameRenderer::failed() const
{
    if (current == nullptr)
        return false;
    std::lock_guard lock(current->mutex);
    return current->failed;
}

bool FrameRenderer::busy() const
{
    if (current == nullptr)
        return false;
    std::lock_guard lock(current->mutex);
    return !current->done;
}

const FrameKey *FrameRenderer::runningKey() const
{
    return current != nullptr ? &current->request.key : nullptr;
}

double FrameRenderer::progress() const
{
    if (current == nullptr)
        return 0;
    int64_t replayed = 0;
    for (int band = 0; band < current->bands; ++band)
        replayed += current->replayedSegments[band];
    const double expected = current->request.expectedSegments > 0
                                ? current->request.expectedSegments
                                : std::max(1.0, current->request.key.size / 3.0);
    double done = double(replayed) / current->bands / expected;
    // Latest first, the first walk takes about a third of the time.
    if (current->latestFirst)
        done = (current->pausedSegments / expected + 2 * done) / 3;
    return std::clamp(done, 0.0, 0.99);
}

std::optional<FinishedFrame> FrameRenderer::takeFinished()
{
    if (current == nullptr)
        return std::nullopt;
    std::lock_guard lock(current->mutex);
    std::optional<FinishedFrame> frame = std::move(current->result);
    current->result.reset();
    return frame;
}
