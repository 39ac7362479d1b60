#pragma once

// The sixteen colours every colour index of a drawing refers to.
struct PaletteColour {
    int red;
    int green;
    int blue;
};

inline constexpr int kPaletteSize = 16;
inline constexpr int kPaletteWhite = 15;
inline constexpr int kPaletteBlack = 0;

extern const PaletteColour palette[kPaletteSize];

// The same colours as fractions of 255, for PostScript. Filled once at start-up
// by fillPaletteFractions().
extern double paletteFractions[kPaletteSize][3];

void fillPaletteFractions();
