#pragma once

#include <QFont>
#include <QLine>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPen>
#include <QPointF>
#include <QRect>
#include <QString>

#include <vector>

// A paint device that keeps what is painted on it instead of drawing it. The
// engine claims every feature, so the painter hands it logical coordinates
// unchanged; window and viewport are read from the painter at each call.
struct RecordedLines {
    std::vector<QLine> lines; // one call
    QPen pen;
    QRect window;
    QRect viewport;
};

struct RecordedText {
    QString text;
    QPointF position;
    QFont font;
    QPen pen;
};

struct RecordedFill {
    QRectF rect;
    QBrush brush;
    QRect window;
};

class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine();
    bool begin(QPaintDevice *device) override;
    bool end() override;
    void updateState(const QPaintEngineState &state) override;
    void drawLines(const QLine *lines, int lineCount) override;
    void drawLines(const QLineF *lines, int lineCount) override;
    void drawRects(const QRect *rects, int rectCount) override;
    void drawRects(const QRectF *rects, int rectCount) override;
    void drawTextItem(const QPointF &p, const QTextItem &textItem) override;
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    Type type() const override { return QPaintEngine::User; }

    std::vector<RecordedLines> lineCalls;
    std::vector<RecordedText> texts;
    std::vector<RecordedFill> fills;

    std::vector<QLine> allLines() const;
};

class RecordingDevice : public QPaintDevice
{
public:
    RecordingDevice(int width = 1280, int height = 975, int dpi = 96);
    ~RecordingDevice() override;
    QPaintEngine *paintEngine() const override { return &engine; }
    RecordingEngine &recorded() { return engine; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    mutable RecordingEngine engine;
    int width;
    int height;
    int dpi;
};
