#pragma once

#include "stream/streamsink.h"

#include <QByteArray>

#include <cstdint>

// What an SVG picture needs besides the walk.
struct SvgSettings {
    double scale = 0.25;     // points per page unit, as eps_scalefactor
    int pictureWidth = 1280; // pixels of the view shown: sets the thinnest pen
};

// Writes a walk as one SVG document: the page (or zoom area) as the view box,
// sized in points; the background as the view fills it, connected segments as
// one path per pen, text as text. Pens follow the screen's rules: half the
// stream width in page units, the thinnest one pixel of the picture wide.
// Numbers are written the C way whatever the locale.
class SvgSink final : public StreamSink
{
public:
    SvgSink(QByteArray *out, const SvgSettings &settings);

    void begin(const WalkStart &start) override;
    void lineWidthChanged(int32_t width) override;
    void lineColourChanged(int32_t index) override;
    void segments(const StreamSegment *list, int count) override;
    void text(const StreamText &item) override;
    void end() override;

private:
    void closePath();
    void applyPen();

    QByteArray *out;
    SvgSettings settings;
    int32_t backgroundIndex = 15;
    int32_t lineIndex = 0;
    int32_t lineWidth = 0;
    double thinnestPen = 1.0; // page units of one picture pixel
    char penColour[8] = "#000000";
    double penWidth = 1.0;
    // The path being written: its point count and last end; 0 points: none open.
    int pathPoints = 0;
    int32_t lastX = 0;
    int32_t lastY = 0;
};
