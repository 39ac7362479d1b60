#pragma once

#include "stream/lineraster.h"
#include "stream/streamsink.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>

class QPainter;

// Latest first, segments are passed over a few at a time where the box
// around them reaches nothing open; that can be switched off to compare
// against the test segment by segment (the picture must be the same). On by
// default.
extern bool rasterBlockTest;

// Draws a walk straight into an image, as PainterSink does on an antialiased
// painter over it, at a fraction of the cost: segments go through LineRaster,
// only text goes through a painter. The image may be a band of a larger
// picture: rows top.. of a picture of pictureSize, mapped as the whole.
class RasterSink final : public StreamSink
{
public:
    explicit RasterSink(QImage *image);
    RasterSink(QImage *rows, int top, QSize pictureSize);
    ~RasterSink() override;

    void begin(const WalkStart &start) override;
    void lineWidthChanged(int32_t width) override;
    void lineColourChanged(int32_t index) override;
    void segments(const StreamSegment *list, int count) override;
    void text(const StreamText &item) override;
    void end() override;

    // Latest first (see LineRaster): on a transparent image, begin only sets
    // the mapping; segments come through segmentsLatestFirst and texts
    // through textLatestFirst, each under the pen it was drawn with, last to
    // first; finish then puts the page's background and the colour outside
    // it under all.
    void setLatestFirst();
    void segmentsLatestFirst(const StreamSegment *list, int count);
    void textLatestFirst(const StreamText &item);
    void finishLatestFirst(uint32_t outside);

private:
    void applyPen(int32_t index);
    void drawSegment(const StreamSegment &s);
    void drawPoint(double x, double y);
    void fillPage();
    bool reachesBand(const StreamSegment &s, double &y0, double &y1) const;
    bool missesRows(double y0, double y1, double margin) const;
    bool blockMayReachOpen(const StreamSegment *list, int count) const;
    void setUpTextPainter(QPainter &painter) const;
    void drawTextWithPen(QPainter &painter, const StreamText &item) const;

    QImage *image;
    int top;
    int bottom; // the row below the band (the image's height is a library call)
    QSize pictureSize;
    LineRaster raster;

    // Logical to device: x * scaleX + offsetX, likewise for y.
    double scaleX = 1, scaleY = 1, offsetX = 0, offsetY = 0;
    int32_t backgroundIndex = 15;
    int32_t lineIndex = -1;
    int32_t lineWidth = -1;
    int penWidth = 0;  // logical units; 0 is the one-pixel cosmetic pen
    bool thinPen = true; // drawn as the one-pixel pen
    bool widePen = false; // drawn as its outline, a turned rectangle
    double reach = 3.0;  // device pixels the pen's ink may reach beyond a segment's ends
    double boxMargin = 3.0; // the same, no wider than a line's own tests need
    uint32_t penColour = 0xFF000000;
    WalkStart start;
    std::unique_ptr<QPainter> textPainter; // made for the first text
    QImage textLayer; // latest first: one text at a time, then blended under
};
