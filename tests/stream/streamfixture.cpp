#include "tests/stream/streamfixture.h"

#include "common/currentdocument.h"
#include "common/exportpath.h"
#include "stream/palette.h"
#include "stream/epssink.h"
#include "stream/paintersink.h"
#include "stream/pvgmeta.h"
#include "stream/teesink.h"
#include "tests/support/pvgwriter.h"

#include <QFile>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QTemporaryDir>
#include <QPrinter>
#include <QTextItem>

#include <cstdio>
#include <optional>

#include <span>

namespace {
template <typename... Args>
std::string format(const char *pattern, Args... args)
{
    return QString::asprintf(pattern, args...).toStdString();
}

std::string colourName(const QColor &colour)
{
    for (int i = 0; i < kPaletteSize; ++i)
        if (colour == QColor(palette[i].red, palette[i].green, palette[i].blue))
            return format("p%d", i);
    return colour.name().toStdString();
}

std::string rectText(const QRect &r)
{
    return format("%d,%d %dx%d", r.x(), r.y(), r.width(), r.height());
}

// Claims every feature, so the painter hands it logical coordinates unchanged.
class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override {}
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    Type type() const override { return QPaintEngine::User; }

    void drawLines(const QLineF *lines, int lineCount) override
    {
        const QPen pen = painter()->pen();
        std::string event = colourName(pen.color()) + format("/%d", pen.width())
            + (pen.style() == Qt::SolidLine ? "" : " styled");
        for (const QLineF &line : std::span(lines, lineCount))
            event += format(" %d,%d-%d,%d", int(line.x1()), int(line.y1()), int(line.x2()),
                            int(line.y2()));
        add(event);
    }
    void drawRects(const QRectF *rects, int rectCount) override
    {
        const std::string colour = colourName(painter()->brush().color());
        for (const QRectF &rect : std::span(rects, rectCount))
            add((rect == QRectF(0, 0, 4096, 3120) ? "bg " : "fill " + rectText(rect.toRect()) + " ")
                + colour);
    }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        const QFont font = item.font();
        add(format("'%s' %d,%d %s %d", qPrintable(item.text()), int(p.x()), int(p.y()),
                   qPrintable(font.family()), font.pointSize())
            + (font.weight() == QFont::Bold ? " bold" : "") + (font.italic() ? " italic " : " ")
            + colourName(painter()->pen().color()));
    }

    void add(const std::string &event) { log += (log.empty() ? "" : "; ") + event; }
    std::string log;
};

// An image's size and resolution, with the recording engine in place of the raster one.
class RecordingDevice : public QImage
{
public:
    RecordingDevice() : QImage(1280, 975, QImage::Format_RGB32) {}
    QPaintEngine *paintEngine() const override { return &engine; }
    mutable RecordingEngine engine;
};
} // namespace

LoadedDocument::LoadedDocument(const std::string &bytes) : buffer(bytes.begin(), bytes.end())
{
    buffer.resize(bytes.size() + kZeroBytesAfterData, 0);
    CurrentDocument.data = buffer.data();
    CurrentDocument.size = static_cast<int32_t>(bytes.size());
    copyText(CurrentDocument.path, "test.pvg");
    fillPaletteFractions();
}

LoadedDocument::~LoadedDocument()
{
    CurrentDocument.data = nullptr;
    CurrentDocument.size = 0;
    CurrentDocument.path[0] = '\0';
}

SpanRect corners(int left, int top, int right, int bottom)
{
    SpanRect rect;
    rect.setCorners(left, top, right, bottom);
    return rect;
}

void renderDocument(QPainter *painter, QPrinter *printer, double lineWidthScale, int cvtflag,
                    SpanRect zoomArea)
{
    PrinterLayout layout;
    if (printer != nullptr) {
        layout.dpiX = printer->logicalDpiX();
        layout.dpiY = printer->logicalDpiY();
        layout.minLineWidth = ViewerSettings.printer_min_linewidth;
        for (int i = 0; i < 2; ++i) {
            layout.pageSize[i] = ViewerSettings.printer_page_size[i];
            layout.pageShift[i] = ViewerSettings.printer_page_shift[i];
        }
    }
    std::optional<PainterSink> painterSink;
    if (painter != nullptr)
        painterSink.emplace(painter, printer != nullptr ? &layout : nullptr);
    FILE *file = cvtflag == kConvertToEps ? std::fopen(exportPath, "w") : nullptr;
    std::optional<EpsSink> epsSink;
    if (file != nullptr) {
        EpsSettings eps;
        eps.scale = ViewerSettings.eps_scalefactor;
        eps.includeBackground = ViewerSettings.eps_include_background != 0;
        eps.linesToBlack = ViewerSettings.eps_cvt_lines_to_black != 0;
        epsSink.emplace(file, eps);
    }
    TeeSink both(painterSink ? &*painterSink : nullptr, epsSink ? &*epsSink : nullptr);
    WalkInput input{CurrentDocument.data, CurrentDocument.size, ViewerSettings.whiteBackground != 0};
    CPvgMeta meta(input, both.sink(), lineWidthScale);
    meta.render(zoomArea, corners(0, 0, 4096, 3120));
    segmentCount = meta.walkedSegments();
    backgroundIndex = meta.walkedBackground();
    if (file != nullptr)
        std::fclose(file);
}

std::string paintLog(const std::string &bytes, double scale, SpanRect zoom, QPrinter *printer)
{
    LoadedDocument document(bytes);
    RecordingDevice device;
    QPainter painter(&device);
    renderDocument(&painter, printer, scale, 0, zoom);
    if (painter.window() != QRect(0, 0, 4096, 3120))
        device.engine.add("window " + rectText(painter.window()));
    if (painter.viewport() != QRect(0, 0, 1280, 975))
        device.engine.add("viewport " + rectText(painter.viewport()));
    device.engine.add(format("segments %d", segmentCount));
    return device.engine.log;
}

std::string exportEps(const std::string &bytes, SpanRect zoom, double scale, const QString &path)
{
    QTemporaryDir dir;
    const QString target = path.isEmpty() ? dir.path() + "/out.eps" : path;
    copyText(exportPath, target.toLocal8Bit().constData());
    LoadedDocument document(bytes);
    renderDocument(nullptr, nullptr, scale, kConvertToEps, zoom);
    return readWholeFile(target.toStdString());
}

std::string readWholeFile(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::string pastOffset100()
{
    return PvgWriter::fragment().comment(std::string(60, 'p')).comment(std::string(60, 'q'))
        .bytes();
}
