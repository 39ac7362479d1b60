#include "stream/palette.h"

#include <mutex>

const PaletteColour palette[kPaletteSize] = {
    {0, 0, 0},       // black
    {0, 0, 127},     // dark blue
    {0, 127, 0},     // dark green
    {0, 127, 127},   // dark cyan
    {127, 0, 0},     // dark red
    {127, 0, 127},   // dark magenta
    {127, 127, 0},   // dark yellow
    {127, 127, 127}, // grey
    {63, 63, 63},    // dark grey
    {0, 0, 255},     // blue
    {0, 255, 0},     // green
    {0, 255, 255},   // cyan
    {255, 0, 0},     // red
    {255, 0, 255},   // magenta
    {255, 255, 0},   // yellow
    {255, 255, 255}, // white
};

double paletteFractions[kPaletteSize][3];

// Once per process, whoever asks first: every EPS output asks before it
// writes, and outputs may run on several threads at once.
void fillPaletteFractions()
{
    static std::once_flag filled;
    std::call_once(filled, [] {
        for (int i = 0; i < kPaletteSize; ++i) {
            paletteFractions[i][0] = palette[i].red / 255.0;
            paletteFractions[i][1] = palette[i].green / 255.0;
            paletteFractions[i][2] = palette[i].blue / 255.0;
        }
    });
}
