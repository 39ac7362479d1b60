#include "stream/colourrules.h"

int32_t hlsToPalette(int32_t hue, int32_t lightness, int32_t saturation, int32_t current)
{
    if (saturation >= 10) {
        if (hue < 15 || hue > 344)
            return 1;
        // Thirty-degree bands from 15 upward.
        static const int32_t bands[11] = {13, 5, 12, 4, 6, 14, 10, 2, 11, 3, 9};
        return bands[(hue - 15) / 30];
    }
    if (lightness < 10)
        return 0;
    if (lightness <= 34)
        return 8;
    if (lightness <= 79)
        return 7;
    if (lightness > 80)
        return 15;
    return current;
}
