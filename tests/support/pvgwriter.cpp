#include "tests/support/pvgwriter.h"

#include <cstdio>
#include <cstdlib>

namespace {
constexpr char ESC = 0x1B;
constexpr char GS = 0x1D;
constexpr char BEL = 0x07;
} // namespace

PvgWriter::PvgWriter(int hue1, int lightness1, int saturation1)
{
    // The signature's second TG already holds surface, count, index 1 and hue 0;
    // only lightness and saturation follow. Another hue needs an entry of its own.
    data = "\x1BTG140000\x1BTG1410";
    data += integer(lightness1) + integer(saturation1);
    if (hue1 != 0)
        colourMapEntry(1, hue1, lightness1, saturation1);
}

PvgWriter::PvgWriter(NoSignature) {}

PvgWriter PvgWriter::fragment()
{
    return PvgWriter(NoSignature{});
}

std::string PvgWriter::integer(long long value)
{
    const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
    std::string highDigits;
    for (unsigned long long high = magnitude >> 4; high != 0; high >>= 6)
        highDigits.insert(highDigits.begin(), static_cast<char>(0x40 + (high & 63)));
    const char low = static_cast<char>((value < 0 ? 0x20 : 0x30) + (magnitude & 15));
    return highDigits + low;
}

PvgWriter &PvgWriter::colourMapEntry(int index, int hue, int lightness, int saturation)
{
    data += ESC;
    data += "TG";
    data += integer(1) + integer(1) + integer(index) + integer(hue) + integer(lightness)
        + integer(saturation);
    return *this;
}

PvgWriter &PvgWriter::lineColour(int mapIndex)
{
    data += ESC;
    data += "ML" + integer(mapIndex);
    return *this;
}

PvgWriter &PvgWriter::lineWidth(int width)
{
    data += ESC;
    data += "GT" + integer(width);
    return *this;
}

void PvgWriter::address(int x, int y, bool full)
{
    const int highY = (y >> 7) & 31;
    const int lowY = (y >> 2) & 31;
    const int highX = (x >> 7) & 31;
    const int lowX = (x >> 2) & 31;
    const int extra = ((y & 3) << 2) | (x & 3);

    const bool sendHighY = full || highY != lastHighY;
    const bool sendExtra = full || extra != lastExtra;
    // High-X is recognised only right after a 0x60-0x7F byte, so it needs Low-Y.
    const bool sendHighX = full || highX != lastHighX;
    const bool sendLowY = full || sendExtra || sendHighX || lowY != lastLowY;

    if (sendHighY)
        data += static_cast<char>(0x20 | highY);
    if (sendExtra)
        data += static_cast<char>(0x60 | extra);
    if (sendLowY)
        data += static_cast<char>(0x60 | lowY);
    if (sendHighX)
        data += static_cast<char>(0x20 | highX);
    data += static_cast<char>(0x40 | lowX);

    lastHighY = highY;
    lastExtra = extra;
    lastLowY = lowY;
    lastHighX = highX;
}

PvgWriter &PvgWriter::moveTo(int x, int y)
{
    data += GS;
    address(x, y, false);
    return *this;
}

PvgWriter &PvgWriter::lineTo(int x, int y)
{
    address(x, y, false);
    return *this;
}

PvgWriter &PvgWriter::fullAddress(int x, int y)
{
    address(x, y, true);
    return *this;
}

PvgWriter &PvgWriter::polyline(const int *xy, int pointCount)
{
    if (pointCount <= 0)
        return *this;
    moveTo(xy[0], xy[1]);
    for (int i = 1; i < pointCount; ++i)
        lineTo(xy[2 * i], xy[2 * i + 1]);
    return *this;
}

char backgroundCode(int paletteIndex)
{
    static const char codes[16] = {' ', '4', '3', '5', '2', '6', '8', '?',
                                   '>', ';', '9', ':', '=', '<', '7', '1'};
    return codes[paletteIndex & 15];
}

PvgWriter &PvgWriter::background(int paletteIndex)
{
    for (int i = 0; i < 2; ++i) {
        data += ESC;
        data += "RA1";
        data += backgroundCode(paletteIndex);
    }
    return *this;
}

PvgWriter &PvgWriter::font(const std::string &family)
{
    data += ESC;
    data += "ZF" + family;
    return *this;
}

PvgWriter &PvgWriter::fontSize(int points)
{
    data += ESC;
    data += "ZS" + integer(points);
    return *this;
}

PvgWriter &PvgWriter::textFlags(int flags)
{
    data += ESC;
    data += "ZA" + integer(flags);
    return *this;
}

PvgWriter &PvgWriter::textPosition(int x, int y)
{
    data += ESC;
    data += "ZP" + std::to_string(x) + "," + std::to_string(y) + ";";
    return *this;
}

PvgWriter &PvgWriter::text(const std::string &text)
{
    data += ESC;
    data += "ZD" + text;
    return *this;
}

PvgWriter &PvgWriter::comment(const std::string &text)
{
    data += ESC;
    data += "LT" + integer(static_cast<long long>(text.size())) + text;
    return *this;
}

PvgWriter &PvgWriter::raw(const std::string &bytes)
{
    data += bytes;
    return *this;
}

PvgWriter &PvgWriter::end()
{
    // Raw text (ZD, ZF) runs to the next ESC, so it would swallow the BEL.
    const std::size_t lastCommand = data.rfind(ESC);
    if (lastCommand != std::string::npos
        && (data.compare(lastCommand + 1, 2, "ZD") == 0
            || data.compare(lastCommand + 1, 2, "ZF") == 0))
        data += ESC;
    data += BEL;
    return *this;
}

bool PvgWriter::writeFile(const std::string &path) const
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && written;
}
