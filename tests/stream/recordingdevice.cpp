#include "tests/stream/recordingdevice.h"

#include <QPainter>
#include <QTextItem>

RecordingEngine::RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

bool RecordingEngine::begin(QPaintDevice *)
{
    return true;
}

bool RecordingEngine::end()
{
    return true;
}

void RecordingEngine::updateState(const QPaintEngineState &) {}

void RecordingEngine::drawLines(const QLine *lines, int lineCount)
{
    RecordedLines call;
    call.lines.assign(lines, lines + lineCount);
    call.pen = painter()->pen();
    call.window = painter()->window();
    call.viewport = painter()->viewport();
    lineCalls.push_back(call);
}

void RecordingEngine::drawLines(const QLineF *lines, int lineCount)
{
    RecordedLines call;
    for (int i = 0; i < lineCount; ++i)
        call.lines.push_back(lines[i].toLine());
    call.pen = painter()->pen();
    call.window = painter()->window();
    call.viewport = painter()->viewport();
    lineCalls.push_back(call);
}

void RecordingEngine::drawRects(const QRect *rects, int rectCount)
{
    for (int i = 0; i < rectCount; ++i)
        fills.push_back({QRectF(rects[i]), painter()->brush(), painter()->window()});
}

void RecordingEngine::drawRects(const QRectF *rects, int rectCount)
{
    for (int i = 0; i < rectCount; ++i)
        fills.push_back({rects[i], painter()->brush(), painter()->window()});
}

void RecordingEngine::drawTextItem(const QPointF &p, const QTextItem &textItem)
{
    texts.push_back({textItem.text(), p, textItem.font(), painter()->pen()});
}

std::vector<QLine> RecordingEngine::allLines() const
{
    std::vector<QLine> lines;
    for (const RecordedLines &call : lineCalls)
        lines.insert(lines.end(), call.lines.begin(), call.lines.end());
    return lines;
}

RecordingDevice::RecordingDevice(int w, int h, int d) : width(w), height(h), dpi(d) {}

RecordingDevice::~RecordingDevice() = default;

int RecordingDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return width;
    case PdmHeight:
        return height;
    case PdmWidthMM:
        return width * 254 / (dpi * 10);
    case PdmHeightMM:
        return height * 254 / (dpi * 10);
    case PdmNumColors:
        return 0x7fffffff;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return dpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
    default:
        return 0;
    }
}
