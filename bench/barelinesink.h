#pragma once

#include "stream/pixelblend.h"
#include "stream/streamsink.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

// A yardstick, not a picture: the simplest antialiased one-pixel line (two
// cells a step, the coverage split by the fixed-point position, no ends, no
// clipping: a line that leaves the image is dropped) for every segment, as
// the walk hands it over, through the view's own blends. What a line costs
// at the least on this processor; the view's raster sink does the ends, the
// pens and the clipping as the toolkit does them on top of this. Private to
// the render bench, as the blends are to the files that include them.
namespace {
class BareLineSink final : public StreamSink
{
public:
    BareLineSink(QImage *imageArg, double scaleXArg, double scaleYArg)
        : bits(reinterpret_cast<uint32_t *>(imageArg->bits())), width(imageArg->width()),
          height(imageArg->height()), scaleX(scaleXArg), scaleY(scaleYArg)
    {
        setColour(0);
    }

    void begin(const WalkStart &) override {}
    void lineWidthChanged(int32_t) override {}
    void lineColourChanged(int32_t index) override { setColour(index); }
    void segments(const StreamSegment *list, int count) override
    {
        for (int i = 0; i < count; ++i)
            draw(list[i].x0 * scaleX, height - list[i].y0 * scaleY, list[i].x1 * scaleX, height - list[i].y1 * scaleY);
    }
    void text(const StreamText &) override {}
    void end() override {}

private:
    void setColour(int32_t index)
    {
        const uint32_t argb = 0xFF000000u | uint32_t(index) * 0x3F1F0Fu;
        split = splitOf(argb);
        pair = OverBlendPair(argb);
    }

    void draw(double x0, double y0, double x1, double y1)
    {
        const bool steep = std::fabs(y1 - y0) >= std::fabs(x1 - x0);
        if (!steep) {
            std::swap(x0, y0);
            std::swap(x1, y1);
        }
        if (y0 > y1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        const int majorLimit = steep ? height : width, minorLimit = steep ? width : height;
        const int first = int(y0 + 0.5), end = int(y1 + 0.5);
        if (!(y0 >= 0 && y1 < majorLimit && std::min(x0, x1) >= 1 && std::max(x0, x1) < minorLimit - 2)
            || first >= end)
            return;
        const double slope = (x1 - x0) / (y1 - y0);
        const int32_t step = int32_t(slope * 65536);
        int32_t x = int32_t((x0 + (first + 0.5 - y0) * slope - 0.5) * 65536);
        const std::ptrdiff_t majorStep = steep ? width : 1, minorStep = steep ? 1 : width;
        for (int major = first; major < end; ++major, x += step) {
            const uint32_t f = uint32_t(x >> 8) & 0xFF;
            uint32_t *pixel = bits + major * majorStep + (x >> 16) * minorStep;
            if (steep) {
                pair(pixel, 256 - f, f);
            } else {
                OverBlend{}(pixel, split, 256 - f);
                OverBlend{}(pixel + width, split, f);
            }
        }
    }

    uint32_t *bits;
    int width, height;
    double scaleX, scaleY;
    SplitColour split{};
    OverBlendPair pair{0};
};
} // namespace
