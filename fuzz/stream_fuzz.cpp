// Walks arbitrary bytes as a document onto both outputs at once, as an EPS
// export from the view does: painted onto a small antialiased image and
// written as EPS into memory, with the settings and zoom varied by the input's
// size. The EPS text must always be a complete file. The same bytes are also
// drawn by the raster path, in bands, which must walk the same segments, and
// latest first from pieces of the walk, which must cover every pixel.
#include "common/currentdocument.h"
#include "stream/epssink.h"
#include "stream/latestfirst.h"
#include "stream/page.h"
#include "stream/palette.h"
#include "stream/paintersink.h"
#include "stream/pvgmeta.h"
#include "stream/rastersink.h"
#include "stream/teesink.h"
#include "stream/viewmapping.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSize>

#include "fuzz/fuzzcheck.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// Notes whether a walk drew text: the toolkit paints text over the whole band
// image, beyond the picture's width too.
class TextSeen final : public StreamSink
{
public:
    bool any = false;
    void begin(const WalkStart &) override {}
    void lineWidthChanged(int32_t) override {}
    void lineColourChanged(int32_t) override {}
    void segments(const StreamSegment *, int) override {}
    void text(const StreamText &) override { any = true; }
    void end() override {}
};

// The bytes drawn latest first, paused every few segments, into a band image
// a guard column wider than the picture: afterwards every pixel of the
// picture is opaque and the guard as it was; the picture is the same with
// segments tested a few at a time and one by one, and with thin lines
// drawn through their shortcut and the general way.
void drawLatestFirst(const WalkInput &input, double lineWidthScale, SpanRect zoomArea, QSize picture,
                     int32_t paintedSegments)
{
    const std::atomic<bool> never{false};
    std::atomic<int32_t> walked{0};
    // Copies of the walker stay few however long the input.
    const int32_t every = std::max(1 + input.size % 7, input.size / 256);
    PauseList pauses(1 << 20, never, walked);
    CPvgMeta first(input, &pauses, lineWidthScale);
    first.setPauses(&pauses, every);
    first.render(zoomArea, fullPageRect());
    if (!pauses.suitable(first.walkedSegments()))
        return; // many texts: drawn in stream order, the walk ended at its next pause
    check(first.walkedSegments() == paintedSegments, "the pausing walk saw other segments");
    constexpr QRgb kGuard = 0x12345678;
    const int top = input.size % 5;
    auto draw = [&](bool blockTest, bool shortcut) {
        QImage band(picture.width() + 1, picture.height() - top, QImage::Format_ARGB32_Premultiplied);
        band.fill(Qt::transparent);
        for (int y = 0; y < band.height(); ++y)
            band.setPixel(picture.width(), y, kGuard);
        rasterBlockTest = blockTest;
        rasterThinLineShortcut = shortcut;
        RasterSink sink(&band, top, picture);
        sink.setLatestFirst();
        sink.begin(pauses.start());
        PenRunChunk chunk;
        for (std::size_t piece = pauses.pieceCount(); piece-- > 0;) {
            walkPiece(input, lineWidthScale, zoomArea, pauses, piece, chunk);
            check(chunk.isFirst() == (piece == 0), "the first piece is not marked");
            chunk.replayLatestFirst(sink, never);
        }
        sink.finishLatestFirst(0xFF808080);
        rasterBlockTest = true;
        rasterThinLineShortcut = true;
        return band;
    };
    const QImage band = draw(true, true);
    check(band == draw(false, true), "testing segments a few at a time changed the picture");
    check(band == draw(true, false), "the thin-line shortcut changed the latest-first picture");
    for (int y = 0; y < band.height(); ++y) {
        check(band.pixel(picture.width(), y) == kGuard, "latest first drew beyond the picture's width");
        for (int x = 0; x < picture.width(); ++x)
            check(qAlpha(band.pixel(x, y)) == 255, "latest first left a pixel uncovered");
    }
}

bool endsWith(const char *text, std::size_t length, const char *suffix)
{
    const std::size_t n = std::strlen(suffix);
    return length >= n && std::memcmp(text + length - n, suffix, n) == 0;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char name[] = "kelvo_stream_fuzz";
    static char *qtArgv[] = {name, nullptr};
    new QGuiApplication(qtArgc, qtArgv);
    fillPaletteFractions();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    std::vector<unsigned char> buffer(data, data + size);
    buffer.resize(size + kZeroBytesAfterData, 0);

    WalkInput input;
    input.data = buffer.data();
    input.size = static_cast<int32_t>(size);
    input.whiteBackground = (size & 1) == 0;
    EpsSettings eps;
    eps.includeBackground = (size & 2) != 0;
    eps.linesToBlack = (size & 8) != 0;
    eps.scale = (size & 16) ? 0.5 : 0.25;

    SpanRect fullPage;
    fullPage.setCorners(0, 0, kPageWidth, kPageHeight);
    SpanRect zoomArea;
    if (size % 3 == 0)
        zoomArea.setCorners(1000, 2000, 2100, 1500);

    char *text = nullptr;
    std::size_t length = 0;
    FILE *file = open_memstream(&text, &length);
    if (file == nullptr)
        std::abort();
    const double lineWidthScale = (size & 4) ? 0.1 : 3.7;
    int32_t paintedSegments = 0;
    QImage image(64, 48, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        PainterSink onImage(&painter);
        EpsSink toFile(file, eps);
        TeeSink both(&onImage, &toFile);
        CPvgMeta meta(input, both.sink(), lineWidthScale);
        meta.render(zoomArea, fullPage);
        paintedSegments = meta.walkedSegments();
    }
    // The raster path, in two bands of their own allocations so that a write
    // beyond a band's rows is out of bounds, each a column wider than the
    // picture, which lines must leave as it was; its walk must see the
    // segments the painter's walk saw.
    const QSize picture = (size & 32) ? QSize(64, 48) : QSize(61, 47);
    constexpr QRgb kGuard = 0x12345678; // no blend gives a pixel this alpha
    // Thin lines drawn through their shortcut and the general way give
    // the same picture.
    for (const int top : {0, picture.height() / 2}) {
        auto draw = [&](bool shortcut) {
            QImage band(picture.width() + 1, top == 0 ? picture.height() / 2 : picture.height() - top,
                        QImage::Format_ARGB32_Premultiplied);
            band.fill(0xFF808080);
            for (int y = 0; y < band.height(); ++y)
                band.setPixel(picture.width(), y, kGuard);
            rasterThinLineShortcut = shortcut;
            RasterSink rastered(&band, top, picture);
            TextSeen seen;
            TeeSink both(&rastered, &seen);
            CPvgMeta meta(input, both.sink(), lineWidthScale);
            meta.render(zoomArea, fullPage);
            rasterThinLineShortcut = true;
            for (int y = 0; y < band.height() && !seen.any; ++y)
                check(band.pixel(picture.width(), y) == kGuard, "the raster path drew beyond the picture's width");
            if (meta.walkedSegments() != paintedSegments) {
                std::fprintf(stderr, "stream_fuzz: the raster walk saw %d segments, the painter's %d\n",
                             meta.walkedSegments(), paintedSegments);
                std::abort();
            }
            return band;
        };
        check(draw(true) == draw(false), "the thin-line shortcut changed the picture");
    }
    drawLatestFirst(input, lineWidthScale, zoomArea, picture, paintedSegments);
    if (std::fclose(file) != 0)
        std::abort();
    if (std::strncmp(text, "%!PS-Adobe-3.0 EPSF-3.0\n", 24) != 0 || !endsWith(text, length, "\nstroke\n")
        || std::memchr(text, '\0', length) != nullptr) {
        std::fprintf(stderr, "stream_fuzz: the EPS text is not a complete file\n");
        std::abort();
    }
    std::free(text);
    return 0;
}
