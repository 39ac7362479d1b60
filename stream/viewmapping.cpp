#include "stream/viewmapping.h"

#include "common/numeric.h"
#include "stream/page.h"

#include <algorithm>

namespace {
// View pixel to page unit: division first, in double precision.
int32_t toPageUnits(int32_t pixel, int viewExtent, int32_t pageExtent)
{
    return truncToInt32((static_cast<double>(pixel) / viewExtent) * pageExtent);
}
} // namespace

ViewWalk viewWalkFor(int viewWidth, int viewHeight, bool zoomed, const SpanRect &zoomRect)
{
    ViewWalk walk;
    walk.lineWidthScale = viewWidth / kReferenceViewWidth;
    if (!zoomed || viewWidth <= 0 || viewHeight <= 0)
        return walk;

    const int32_t leftPixel = std::min(zoomRect.left, zoomRect.right);
    const int32_t rightPixel = std::max(zoomRect.left, zoomRect.right);
    const int32_t topPixel = std::min(zoomRect.top, zoomRect.bottom);
    const int32_t bottomPixel = std::max(zoomRect.top, zoomRect.bottom);

    SpanRect area;
    area.setCorners(toPageUnits(leftPixel, viewWidth, kPageWidth),
                    toPageUnits(topPixel, viewHeight, kPageHeight),
                    toPageUnits(rightPixel, viewWidth, kPageWidth),
                    toPageUnits(bottomPixel, viewHeight, kPageHeight));
    if (area.width > 0) {
        const double pixelWidth = static_cast<double>(rightPixel) - leftPixel;
        walk.lineWidthScale = (viewWidth / kReferenceViewWidth) * (viewWidth / pixelWidth);
        walk.zoomArea = area;
    }
    return walk;
}

ViewWalk paintableWalkFor(int viewWidth, int viewHeight, bool zoomed, const SpanRect &zoomRect)
{
    const ViewWalk walk = viewWalkFor(viewWidth, viewHeight, zoomed, zoomRect);
    const bool flat = walk.zoomArea.width > 0 && walk.zoomArea.height <= 0;
    return flat ? viewWalkFor(viewWidth, viewHeight, false, zoomRect) : walk;
}

SpanRect fullPageRect()
{
    SpanRect page;
    page.setCorners(0, 0, kPageWidth, kPageHeight);
    return page;
}
