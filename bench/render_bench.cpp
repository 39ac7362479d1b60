// Times the view's picture of generated plots at 1280x975 (or --size), all in one run:
//  memchr   one pass over the bytes (the floor for anything that reads them)
//  walk     the walker alone, its segments dropped
//  count    the walker counting segments (a latest-first frame's first walk)
//  painter  the whole plot through QPainter on one thread (the old paint path)
//  raster   the same picture through the raster sink on one thread
//  bare     the walk with the simplest antialiased line for each segment, one thread
//           (a yardstick: what lines cost at the least here; no ends, pens or clipping)
//  stream   the view's renderer in stream order: walk once, bands in worker threads
//  frame    the view's renderer as it chooses: latest first for overdrawn plots
//  repaint  a paint of the view from its kept frame, and paints during a render
// Plots are smooth curves of 1000 points, pens cycling through GT 0..6 (times
// --pens N: 30 gives pens of up to 180, wide ones on any view).
// Usage: kelvo_render_bench [--runs N] [--size WxH] [--pens N] [--frame-only] [--write FILE MB] [megabytes...]
//        (default 1280x975; 1 20 100 MB)
// --frame-only times the walk and the frame alone (for profiling them).
#include "bench/barelinesink.h"
#include "common/currentdocument.h"
#include "common/viewersettings.h"
#include "stream/page.h"
#include "stream/paintersink.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"
#include "stream/rastersink.h"
#include "stream/vectorstate.h"
#include "stream/viewmapping.h"
#include "tests/support/pvgwriter.h"
#include "view/drawview.h"
#include "view/framerenderer.h"
#include "view/viewhost.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
// The frame's size; --size changes it.
int frameWidth = 1280;
int frameHeight = 975;
// Pen widths are GT 0..6 times this; --pens changes it.
int penFactor = 1;

std::string makePlot(std::size_t targetBytes)
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100)
        .colourMapEntry(4, 330, 50, 100).colourMapEntry(5, 0, 0, 0);
    unsigned seed = 12345;
    auto random = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFF;
    };
    for (int curve = 0; writer.bytes().size() < targetBytes; ++curve) {
        writer.lineColour(2 + curve % 4).lineWidth(curve % 7 * penFactor);
        const double phase = random() / 65536.0 * 6.28;
        const double amplitude = 200 + random() % 1200;
        const double frequency = 1 + random() % 12;
        for (int i = 0; i < 1000; ++i) {
            const int x = 40 + i * 4;
            const int y = static_cast<int>(1560 + amplitude * std::sin(phase + frequency * i / 160.0));
            if (i == 0)
                writer.moveTo(x, y);
            else
                writer.lineTo(x, y);
        }
    }
    writer.end();
    return writer.bytes();
}

double bestSeconds(int runs, const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

// Takes every segment and keeps none: the walk's own cost.
class DroppingSink final : public StreamSink
{
public:
    void begin(const WalkStart &) override {}
    void lineWidthChanged(int32_t) override {}
    void lineColourChanged(int32_t) override {}
    void segments(const StreamSegment *, int) override {}
    void text(const StreamText &) override {}
    void end() override {}
};

// A window stand-in for the view: nothing to load, no exports.
class BenchHost final : public ViewHost
{
public:
    void attachView(DrawView *) override {}
    void load(const char *) override {}
    void choose() override {}
    void ExportJpeg() override {}
    void ExportEPS() override {}
    bool closed() const override { return false; }
};

bool frameOnly = false;

void measure(double megabytes, int runs)
{
    const std::string plot = makePlot(static_cast<std::size_t>(megabytes * 1024 * 1024));
    std::shared_ptr<unsigned char[]> bytes(new unsigned char[plot.size() + 16]());
    std::memcpy(bytes.get(), plot.data(), plot.size());
    const int32_t size = static_cast<int32_t>(plot.size());
    const double lineWidthScale = frameWidth / kReferenceViewWidth;

    volatile const void *found = nullptr;
    const double memchrTime = bestSeconds(runs * 3, [&] {
        found = std::memchr(bytes.get(), 0, plot.size() + 1);
    });
    (void)found;

    const WalkInput input{bytes.get(), size, true};
    int32_t segments = 0;
    const double walkTime = bestSeconds(runs, [&] {
        DroppingSink dropped;
        CPvgMeta meta(input, &dropped, lineWidthScale);
        meta.render(SpanRect(), fullPageRect());
        segments = meta.walkedSegments();
    });
    const double countTime = bestSeconds(runs, [&] {
        CPvgMeta meta(input, nullptr, lineWidthScale);
        meta.render(SpanRect(), fullPageRect());
    });

    QImage image(frameWidth, frameHeight, QImage::Format_ARGB32_Premultiplied);
    FrameRenderer renderer(nullptr);
    auto frameIn = [&](FrameOrder order) {
        return bestSeconds(runs, [&] {
            FrameRequest request;
            request.key.pixelSize = QSize(frameWidth, frameHeight);
            request.key.lineWidthScale = lineWidthScale;
            request.key.whiteBackground = true;
            request.key.data = bytes.get();
            request.key.size = size;
            request.bytes = bytes;
            request.order = order;
            renderer.start(request);
            renderer.wait(-1);
        });
    };
    if (frameOnly) {
        const double frameTime = frameIn(FrameOrder::BySize);
        std::printf("%6.1f MB %9d segments\n  walk    %8.4f s\n  count   %8.4f s\n  frame   %8.4f s\n",
                    plot.size() / 1048576.0, segments, walkTime, countTime, frameTime);
        std::fflush(stdout);
        return;
    }
    const double painterTime = bestSeconds(std::min(runs, 2), [&] {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        PainterSink sink(&painter);
        CPvgMeta meta(input, &sink, lineWidthScale);
        meta.render(SpanRect(), fullPageRect());
    });

    const double rasterTime = bestSeconds(runs, [&] {
        image.fill(Qt::white);
        clearUpperVectorState(); // as the renderer does after its fills
        RasterSink sink(&image);
        CPvgMeta meta(input, &sink, lineWidthScale);
        meta.render(SpanRect(), fullPageRect());
    });

    const double bareTime = bestSeconds(runs, [&] {
        image.fill(Qt::white);
        clearUpperVectorState();
        BareLineSink sink(&image, frameWidth / double(kPageWidth), frameHeight / double(kPageHeight));
        CPvgMeta meta(input, &sink, lineWidthScale);
        meta.render(SpanRect(), fullPageRect());
    });

    const double streamOrderTime = frameIn(FrameOrder::Stream);
    const double frameTime = frameIn(FrameOrder::BySize);

    // A paint of the view from its kept frame.
    CurrentDocument.owner = bytes; // as a loaded file: the view renders from it without a copy
    CurrentDocument.data = bytes.get();
    CurrentDocument.size = size;
    copyText(CurrentDocument.path, "bench.pvg");
    BenchHost host;
    DrawView view(nullptr, &host);
    view.resize(frameWidth, frameHeight);
    view.show(); // a hidden widget is not painted
    QApplication::processEvents();
    view.waitForFrame();
    const double repaintTime = bestSeconds(runs * 5, [&] { view.repaint(); });
    // Paints while a render runs: the one that starts it from rest waits for a
    // quick frame, 40 ms at most when only the size changed, a quarter second
    // otherwise (here the background); the next ones must not wait at all.
    ViewerSettings.whiteBackground = !ViewerSettings.whiteBackground;
    const double otherBackgroundPaint = bestSeconds(1, [&] { view.repaint(); });
    view.waitForFrame();
    ViewerSettings.whiteBackground = !ViewerSettings.whiteBackground;
    view.waitForFrame();
    view.resize(frameWidth, frameHeight - 1);
    const double startingPaint = bestSeconds(1, [&] { view.repaint(); });
    double longestPaint = 0;
    for (int i = 0; i < 10; ++i)
        longestPaint = std::max(longestPaint, bestSeconds(1, [&] { view.repaint(); }));
    // A window being resized: each step cancels the render before.
    double longestResize = 0;
    for (int i = 2; i < 12; ++i) {
        view.resize(frameWidth, frameHeight - i);
        longestResize = std::max(longestResize, bestSeconds(1, [&] { view.repaint(); }));
    }
    view.waitForFrame();
    CurrentDocument.data = nullptr;
    CurrentDocument.owner.reset();
    CurrentDocument.path[0] = '\0';

    std::printf("%6.1f MB %9d segments\n", plot.size() / 1048576.0, segments);
    std::printf("  memchr  %8.4f s\n", memchrTime);
    std::printf("  walk    %8.4f s   %6.1fx memchr\n", walkTime, walkTime / memchrTime);
    std::printf("  count   %8.4f s   %6.1fx memchr\n", countTime, countTime / memchrTime);
    std::printf("  painter %8.4f s   %6.1fx memchr\n", painterTime, painterTime / memchrTime);
    std::printf("  raster  %8.4f s   %6.1fx memchr   painter/raster %4.1fx (one thread)\n", rasterTime,
                rasterTime / memchrTime, painterTime / rasterTime);
    std::printf("  bare    %8.4f s   %6.1fx memchr   painter/bare   %4.1fx (one thread, the least a line costs)\n",
                bareTime, bareTime / memchrTime, painterTime / bareTime);
    std::printf("  stream  %8.4f s   %6.1fx memchr   painter/stream %4.1fx (frame in stream order)\n",
                streamOrderTime, streamOrderTime / memchrTime, painterTime / streamOrderTime);
    std::printf("  frame   %8.4f s   %6.1fx memchr   painter/frame %5.1fx\n", frameTime,
                frameTime / memchrTime, painterTime / frameTime);
    std::printf("  repaint %8.3f ms (kept frame)\n", repaintTime * 1000);
    std::printf("  paints starting a render: %.0f ms after a background change, %.0f ms after a resize\n",
                otherBackgroundPaint * 1000, startingPaint * 1000);
    std::printf("  paints while rendering: the next ten %.1f ms at most, ten resize steps %.1f ms at most\n",
                longestPaint * 1000, longestResize * 1000);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    fillPaletteFractions();

    int runs = 3;
    std::vector<double> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            // The resize steps take up to eleven rows off the height.
            if (std::sscanf(argv[++i], "%dx%d", &frameWidth, &frameHeight) != 2 || frameWidth < 2 || frameHeight < 12) {
                std::fprintf(stderr, "--size takes WIDTHxHEIGHT\n");
                return 1;
            }
        } else if (std::strcmp(argv[i], "--pens") == 0 && i + 1 < argc) {
            penFactor = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--frame-only") == 0) {
            frameOnly = true;
        } else if (std::strcmp(argv[i], "--write") == 0 && i + 2 < argc) {
            const std::string name = argv[++i];
            const std::string plot = makePlot(static_cast<std::size_t>(std::atof(argv[++i]) * 1048576));
            std::FILE *file = std::fopen(name.c_str(), "wb");
            if (file == nullptr || std::fwrite(plot.data(), 1, plot.size(), file) != plot.size()) {
                std::fprintf(stderr, "cannot write %s\n", name.c_str());
                return 1;
            }
            std::fclose(file);
            return 0;
        } else {
            sizes.push_back(std::atof(argv[i]));
        }
    }
    if (sizes.empty())
        sizes = {1, 20, 100};
    std::printf("%dx%d, best of %d runs, %d band threads, pens GT 0..%d\n", frameWidth, frameHeight, runs,
                FrameRenderer::bandCount(), 6 * penFactor);
    for (double megabytes : sizes)
        measure(megabytes, runs);
    return 0;
}
