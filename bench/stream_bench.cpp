// Times the interpreter on generated plots of a given size:
//  (a) the walk without a painter, next to a memchr pass over the same bytes;
//  (b) a full paint onto a 1280x975 antialiased image as the view does it,
//      next to one QPainter::drawLines call with the same segments and pen.
// Usage: kelvo_stream_bench [--width GT] [--runs N] [--walk-only] [--no-batch] [megabytes...]   (default 1 20 100)
#include "stream/paintersink.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"
#include "stream/viewmapping.h"
#include "tests/support/pvgwriter.h"

#include <QGuiApplication>
#include <QImage>
#include <QLine>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

struct Plot {
    std::vector<unsigned char> bytes; // the file and 16 zero bytes
    std::size_t size = 0;
    std::vector<QLine> segments;      // logical coordinates, as the walk draws them
};

// Smooth curves of 1000 points across the page, one of four colours each, as
// a measurement program would plot them.
Plot makePlot(std::size_t targetBytes, int lineWidth)
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100)
        .colourMapEntry(4, 330, 50, 100).colourMapEntry(5, 0, 0, 0).lineWidth(lineWidth);
    Plot plot;
    unsigned seed = 12345;
    auto random = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFF;
    };
    for (int curve = 0; writer.bytes().size() < targetBytes; ++curve) {
        writer.lineColour(2 + curve % 4);
        const double phase = random() / 65536.0 * 6.28;
        const double amplitude = 200 + random() % 1200;
        const double frequency = 1 + random() % 12;
        int lastX = 0, lastY = 0;
        for (int i = 0; i < 1000; ++i) {
            const int x = 40 + i * 4;
            const int y = static_cast<int>(1560 + amplitude * std::sin(phase + frequency * i / 160.0));
            if (i == 0) {
                writer.moveTo(x, y);
            } else {
                writer.lineTo(x, y);
                plot.segments.emplace_back(lastX, 3120 - lastY, x, 3120 - y);
            }
            lastX = x;
            lastY = y;
        }
    }
    writer.end();
    const std::string &data = writer.bytes();
    plot.size = data.size();
    plot.bytes.assign(data.begin(), data.end());
    plot.bytes.resize(data.size() + 16, 0); // the zero bytes that end every walk
    return plot;
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

int32_t renderPlot(const Plot &plot, QPainter *painter)
{
    WalkInput input;
    input.data = plot.bytes.data();
    input.size = static_cast<int32_t>(plot.size);
    input.whiteBackground = true;
    PainterSink sink(painter);
    CPvgMeta meta(input, painter != nullptr ? &sink : nullptr, 2.0);
    meta.render(SpanRect(), fullPageRect());
    return meta.walkedSegments();
}

QImage viewImage()
{
    QImage image(1280, 975, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    fillPaletteFractions();

    int lineWidth = 0;
    int runs = 3;
    bool walkOnly = false;
    std::vector<double> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--width") == 0 && i + 1 < argc)
            lineWidth = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--walk-only") == 0)
            walkOnly = true;
        else if (std::strcmp(argv[i], "--no-batch") == 0)
            pvgBatchSegments = false;
        else
            sizes.push_back(std::atof(argv[i]));
    }
    if (sizes.empty())
        sizes = {1, 20, 100};

    std::printf("GT width %d, best of %d runs, batching %s\n", lineWidth, runs,
                pvgBatchSegments ? "on" : "off");
    for (double megabytes : sizes) {
        Plot plot = makePlot(static_cast<std::size_t>(megabytes * 1024 * 1024), lineWidth);
        const double mb = plot.size / (1024.0 * 1024.0);

        volatile const void *sink = nullptr;
        const double memchrTime = bestSeconds(runs * 3, [&] {
            sink = std::memchr(plot.bytes.data(), 0, plot.bytes.size());
        });
        (void)sink;
        int32_t walked = 0;
        const double walkTime = bestSeconds(runs * 3, [&] { walked = renderPlot(plot, nullptr); });
        if (walked != static_cast<int32_t>(plot.segments.size()))
            std::printf("  segment count mismatch: walk %d, plot %zu\n", walked,
                        plot.segments.size());
        std::printf("%7.1f MB, %9zu segments\n", mb, plot.segments.size());
        std::printf("  walk   %8.1f MB/s   memchr    %8.1f MB/s   ratio %5.2f\n", mb / walkTime,
                    mb / memchrTime, walkTime / memchrTime);
        if (walkOnly)
            continue;

        QImage image = viewImage();
        const double paintTime = bestSeconds(runs, [&] {
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderPlot(plot, &painter);
        });
        QImage reference = viewImage();
        const double linesTime = bestSeconds(runs, [&] {
            reference.fill(Qt::white);
            QPainter painter(&reference);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setWindow(0, 0, 4096, 3120);
            painter.fillRect(QRect(0, 0, 4096, 3120), Qt::white);
            QPen pen(QColor(255, 0, 0));
            pen.setWidth(static_cast<int>(lineWidth * 2.0) / 2);
            painter.setPen(pen);
            painter.drawLines(plot.segments.data(), static_cast<int>(plot.segments.size()));
        });

        std::printf("  paint  %8.3f s      drawLines %8.3f s      ratio %5.2f\n", paintTime,
                    linesTime, paintTime / linesTime);
    }
    return 0;
}
