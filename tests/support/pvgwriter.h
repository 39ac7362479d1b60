#pragma once

#include <string>

// Writes PVG command streams for tests, benchmarks and the demo drawing.
// Coordinates are file coordinates: X 0..4095 to the right, Y 0..3119 upward.
class PvgWriter
{
public:
    // Starts with the 16-byte signature; the signature's second colour-map
    // entry (index 1) is completed with the given hue, lightness, saturation.
    explicit PvgWriter(int hue1 = 0, int lightness1 = 50, int saturation1 = 100);
    // A writer with no signature, for fragments.
    static PvgWriter fragment();

    static std::string integer(long long value);

    PvgWriter &colourMapEntry(int index, int hue, int lightness, int saturation);
    PvgWriter &lineColour(int mapIndex);          // ESC ML
    PvgWriter &lineWidth(int width);              // ESC GT
    PvgWriter &moveTo(int x, int y);              // GS, address
    PvgWriter &lineTo(int x, int y);              // address
    PvgWriter &fullAddress(int x, int y);         // all five bytes, no GS
    PvgWriter &background(int paletteIndex);      // two ESC "RA1<code>" commands
    PvgWriter &font(const std::string &family);   // ESC ZF (ended by the next ESC)
    PvgWriter &fontSize(int points);              // ESC ZS
    PvgWriter &textFlags(int flags);              // ESC ZA
    PvgWriter &textPosition(int x, int y);        // ESC ZP "x,y" ended by ';'
    PvgWriter &text(const std::string &text);     // ESC ZD (ended by the next ESC)
    PvgWriter &comment(const std::string &text);  // ESC LT, short text
    PvgWriter &raw(const std::string &bytes);
    // Ends the picture with BEL, which also draws the last address (after an
    // ESC that closes a raw text still open).
    PvgWriter &end();

    const std::string &bytes() const { return data; }
    bool writeFile(const std::string &path) const;

private:
    struct NoSignature {};
    explicit PvgWriter(NoSignature);
    void address(int x, int y, bool full);

    std::string data;
    // Decoder state the next address can rely on (the decoder keeps omitted bytes).
    int lastHighY = -1;
    int lastExtra = -1;
    int lastLowY = -1;
    int lastHighX = -1;
};

// Background codes: the low-digit byte after "RA1" for each palette index.
char backgroundCode(int paletteIndex);
