#pragma once

#include "stream/streamsink.h"
#include "stream/viewpen.h"

#include <QLine>
#include <QPen>
#include <QRect>

#include <cstdint>

class QPainter;

// What printing reads besides the painter: the device's resolution and the
// printer settings.
struct PrinterLayout {
    double dpiX = 600;
    double dpiY = 600;
    int32_t minLineWidth = 2;           // printer_min_linewidth
    double pageSize[2] = {1.0, 1.0};    // printer_page_size
    int32_t pageShift[2] = {0, 0};      // printer_page_shift
};

// Draws a walk with a QPainter: the page (or zoom area) as the painter's
// window, the background filled, each segment stroked with the line pen.
// With a printer layout the viewport and pen widths are the printer's.
class PainterSink final : public StreamSink
{
public:
    explicit PainterSink(QPainter *painter, const PrinterLayout *printer = nullptr);

    void begin(const WalkStart &start) override;
    void lineWidthChanged(int32_t width) override;
    void lineColourChanged(int32_t index) override;
    void segments(const StreamSegment *list, int count) override;
    void text(const StreamText &item) override;
    void end() override;

    // Stretches the picture over the device by these factors, about its top
    // left corner: for a device whose exact size is a fraction of a pixel
    // more than its whole pixels.
    void setDeviceStretch(double x, double y)
    {
        stretchX = x;
        stretchY = y;
    }

private:
    void applyPen(int32_t index);
    void updateBatching();
    void flushBatch();
    void setPrinterViewport();

    QPen pen;
    QPainter *painter;
    const PrinterLayout *printer;
    int32_t backgroundIndex = 15;
    int32_t lineIndex = -1;
    int32_t lineWidth = -1;
    double stretchX = 1.0;
    double stretchY = 1.0;

    // Segments waiting for one line-list call; see paintersink.cpp for when
    // batching is allowed (only where it draws the very same pixels).
    static constexpr int kBatchCapacity = 512;
    QLine batch[kBatchCapacity];
    int batchCount = 0;
    bool batching = false;
};

// What every picture of a walk shares with the painter's: the window onto
// the page (the zoom area when zoomed) and how a text item is set.
QRect pageWindowRect();
QRect painterWindowFor(const WalkStart &start);
void drawStreamText(QPainter *painter, const StreamText &item);

// Batching of painter calls can be switched off to compare against the
// one-line-per-call drawing; on by default.
extern bool pvgBatchSegments;
