#include "common/spanrect.h"

#include "common/numeric.h"

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
