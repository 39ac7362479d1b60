#include "tests/stream/streamfixture.h"

#include "common/currentdocument.h"
#include "common/exportpath.h"
#include "stream/epssink.h"
#include "stream/paintersink.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"
#include "stream/teesink.h"
#include "tests/support/pvgwriter.h"

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {
class RecordingSink final : public StreamSink
{
public:
    void begin(const WalkStart &s) override
    {
        add("bg" + std::to_string(s.backgroundIndex));
        if (s.zoomed)
            add(QString::asprintf("zoom %d,%d,%d,%d", s.zoomArea.left, s.zoomArea.top, s.zoomArea.right,
                                  s.zoomArea.bottom).toStdString());
    }
    void lineWidthChanged(int32_t width) override { add("w" + std::to_string(width)); }
    void lineColourChanged(int32_t index) override { add("c" + std::to_string(index)); }
    void segments(const StreamSegment *list, int count) override
    {
        for (int i = 0; i < count; ++i, ++recorded)
            add(QString::asprintf("%d,%d-%d,%d", list[i].x0, list[i].y0, list[i].x1, list[i].y1).toStdString());
    }
    void text(const StreamText &t) override
    {
        add("'" + std::string(t.text) + "' " + QString::asprintf("%d,%d ", t.x, t.y).toStdString() + t.fontFamily
            + " " + std::to_string(t.pointSize) + " " + std::to_string(t.flags));
    }
    void end() override { add("end"); }
    void add(const std::string &word) { log += (log.empty() ? "" : " ") + word; }

    std::string log;
    int recorded = 0;
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

void renderDocument(QPainter *painter, QPrinter *printer, double lineWidthScale, int cvtflag, SpanRect zoomArea)
{
    const ViewerSettingsRecord &s = ViewerSettings;
    PrinterLayout layout;
    if (printer != nullptr) {
        layout.dpiX = printer->logicalDpiX();
        layout.dpiY = printer->logicalDpiY();
        layout.minLineWidth = s.printer_min_linewidth;
        for (int i = 0; i < 2; ++i) {
            layout.pageSize[i] = s.printer_page_size[i];
            layout.pageShift[i] = s.printer_page_shift[i];
        }
    }
    std::optional<PainterSink> painterSink;
    if (painter != nullptr)
        painterSink.emplace(painter, printer != nullptr ? &layout : nullptr);
    FILE *file = cvtflag == kConvertToEps ? std::fopen(exportPath, "w") : nullptr;
    std::optional<EpsSink> epsSink;
    if (file != nullptr)
        epsSink.emplace(file, EpsSettings{s.eps_scalefactor, s.eps_include_background != 0,
                                          s.eps_cvt_lines_to_black != 0});
    TeeSink both(painterSink ? &*painterSink : nullptr, epsSink ? &*epsSink : nullptr);
    CPvgMeta meta({CurrentDocument.data, CurrentDocument.size, s.whiteBackground != 0}, both.sink(), lineWidthScale);
    meta.render(zoomArea, corners(0, 0, 4096, 3120));
    segmentCount = meta.walkedSegments();
    backgroundIndex = meta.walkedBackground();
    if (file != nullptr)
        std::fclose(file);
}

std::string eventLog(const std::string &bytes, double scale, SpanRect zoom, bool whiteBackground)
{
    std::vector<unsigned char> buffer(bytes.begin(), bytes.end());
    buffer.resize(bytes.size() + kZeroBytesAfterData, 0);
    RecordingSink sink;
    CPvgMeta meta({buffer.data(), int32_t(bytes.size()), whiteBackground}, &sink, scale);
    meta.render(zoom, corners(0, 0, 4096, 3120));
    if (meta.walkedSegments() != sink.recorded)
        sink.add("miscount " + std::to_string(meta.walkedSegments()));
    return sink.log;
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
    return PvgWriter::fragment().comment(std::string(60, 'p')).comment(std::string(60, 'q')).bytes();
}
