#pragma once

#include <cstdint>

// Palette index of a colour-map entry given as hue (degrees, blue at 0, red at
// 120, green at 240), lightness and saturation. Greys with lightness exactly 80
// fall between two bands and keep the entry's current value.
int32_t hlsToPalette(int32_t hue, int32_t lightness, int32_t saturation, int32_t current);

// Colour indices outside 1..15 draw in black.
inline int32_t mapColour(int32_t index)
{
    return index >= 1 && index <= 15 ? index : 0;
}
