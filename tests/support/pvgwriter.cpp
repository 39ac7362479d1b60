#include "tests/support/pvgwriter.h"

#include <cstdio>

namespace {
constexpr char ESC = 0x1B, GS = 0x1D, BEL = 0x07;
} // namespace

PvgWriter::PvgWriter(int hue1, int lightness1, int saturation1)
{
    // The signature's second TG already holds surface, count, index 1 and hue 0;
    // only lightness and saturation follow. Another hue needs an entry of its own.
    data = "\x1BTG140000\x1BTG1410" + integer(lightness1) + integer(saturation1);
    if (hue1 != 0)
        colourMapEntry(1, hue1, lightness1, saturation1);
}

PvgWriter::PvgWriter(NoSignature) {}

PvgWriter PvgWriter::fragment() { return PvgWriter(NoSignature{}); }

std::string PvgWriter::integer(long long value)
{
    const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
    std::string highDigits;
    for (unsigned long long high = magnitude >> 4; high != 0; high >>= 6)
        highDigits.insert(highDigits.begin(), static_cast<char>(0x40 + (high & 63)));
    return highDigits + static_cast<char>((value < 0 ? 0x20 : 0x30) + (magnitude & 15));
}

PvgWriter &PvgWriter::colourMapEntry(int index, int hue, int lightness, int saturation)
{
    return raw(ESC + std::string("TG") + integer(1) + integer(1) + integer(index) + integer(hue)
               + integer(lightness) + integer(saturation));
}

PvgWriter &PvgWriter::lineColour(int mapIndex) { return raw(ESC + ("ML" + integer(mapIndex))); }
PvgWriter &PvgWriter::lineWidth(int width) { return raw(ESC + ("GT" + integer(width))); }

void PvgWriter::address(int x, int y, bool full)
{
    const int highY = (y >> 7) & 31, lowY = (y >> 2) & 31, highX = (x >> 7) & 31, lowX = (x >> 2) & 31;
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

char backgroundCode(int paletteIndex)
{
    return " 435268?>;9:=<71"[paletteIndex & 15];
}

PvgWriter &PvgWriter::background(int paletteIndex)
{
    const std::string command = ESC + std::string("RA1") + backgroundCode(paletteIndex);
    return raw(command + command);
}

PvgWriter &PvgWriter::font(const std::string &family) { return raw(ESC + ("ZF" + family)); }
PvgWriter &PvgWriter::fontSize(int points) { return raw(ESC + ("ZS" + integer(points))); }
PvgWriter &PvgWriter::textFlags(int flags) { return raw(ESC + ("ZA" + integer(flags))); }
PvgWriter &PvgWriter::text(const std::string &text) { return raw(ESC + ("ZD" + text)); }

PvgWriter &PvgWriter::textPosition(int x, int y)
{
    return raw(ESC + ("ZP" + std::to_string(x) + "," + std::to_string(y) + ";"));
}

PvgWriter &PvgWriter::comment(const std::string &text)
{
    return raw(ESC + ("LT" + integer(static_cast<long long>(text.size())) + text));
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
        && (data.compare(lastCommand + 1, 2, "ZD") == 0 || data.compare(lastCommand + 1, 2, "ZF") == 0))
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
