#pragma once

#include "common/spanrect.h"

#include <cstdint>

// Widget width at which a stream line width is drawn at its nominal size.
inline constexpr double kReferenceViewWidth = 640.0;

// How a view of a given size shows the page: the part of the page it shows
// (zoomArea width 0: all of it) and the line-width scale for the walk.
struct ViewWalk {
    double lineWidthScale = 1.0;
    SpanRect zoomArea;
};

// zoomRect is in view pixels as dragged (it may point leftwards or upwards);
// it is used normalised, so the scale stays positive and the window never runs
// backwards. A rectangle that covers no page unit across, or a view with no
// area, shows the whole page unzoomed. One with no height still zooms: its
// width decides, and the EPS of it has a flat bounding box.
ViewWalk viewWalkFor(int viewWidth, int viewHeight, bool zoomed, const SpanRect &zoomRect);

// The same for a painter or the view's raster: a zoom of no height has no
// finite mapping onto the view, so they show the whole page unzoomed.
ViewWalk paintableWalkFor(int viewWidth, int viewHeight, bool zoomed, const SpanRect &zoomRect);

// The whole page as render takes it.
SpanRect fullPageRect();
