#include "common/spanrect.h"

namespace {
// Geometry values come from files and command lines; wrap instead of
// overflowing so that absurd values stay defined.
int32_t wrappingDifference(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
int32_t wrappingSum(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
} // namespace

void SpanRect::setCorners(int32_t newLeft, int32_t newTop, int32_t newRight, int32_t newBottom)
{
    left = newLeft;
    top = newTop;
    right = newRight;
    bottom = newBottom;
    width = wrappingDifference(right, left);
    height = wrappingDifference(bottom, top);
}

void SpanRect::moveTopLeft(int32_t newLeft, int32_t newTop)
{
    left = newLeft;
    top = newTop;
    right = wrappingSum(left, width);
    bottom = wrappingSum(top, height);
}

bool operator==(const SpanRect &a, const SpanRect &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom
        && a.width == b.width && a.height == b.height;
}
