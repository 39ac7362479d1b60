#include "stream/epswriter.h"

#include "common/numeric.h"
#include "stream/page.h"
#include "stream/palette.h"

#include <charconv>
#include <cstring>

namespace {

// One piece of output text, formatted with std::to_chars (locale-free) and
// written with a single fwrite. Sized for the longest piece: two doubles as
// large as 1e308 in fixed notation fit easily.
class EpsText
{
public:
    EpsText &text(const char *piece)
    {
        const std::size_t length = std::strlen(piece);
        if (length <= room()) {
            std::memcpy(buffer + used, piece, length);
            used += length;
        }
        return *this;
    }

    // "%d"
    EpsText &number(int64_t value)
    {
        const auto result = std::to_chars(buffer + used, buffer + sizeof buffer, value);
        if (result.ec == std::errc())
            used = static_cast<std::size_t>(result.ptr - buffer);
        return *this;
    }

    // "%3.2f": two decimals; the width 3 never pads, the shortest result ("nan") has three.
    EpsText &fraction(double value)
    {
        const auto result = std::to_chars(buffer + used, buffer + sizeof buffer, value,
                                          std::chars_format::fixed, 2);
        if (result.ec == std::errc())
            used = static_cast<std::size_t>(result.ptr - buffer);
        return *this;
    }

    void writeTo(FILE *file) const { std::fwrite(buffer, 1, used, file); }

private:
    std::size_t room() const { return sizeof buffer - used; }

    char buffer[2048];
    std::size_t used = 0;
};

EpsText &colourFractions(EpsText &out, int32_t index)
{
    return out.fraction(paletteFractions[index][0])
        .text(" ")
        .fraction(paletteFractions[index][1])
        .text(" ")
        .fraction(paletteFractions[index][2]);
}

int64_t scaled(int64_t value, double scale)
{
    return truncToInt32(static_cast<double>(value) * scale);
}
} // namespace

void writeEpsHeader(FILE *file, const EpsHeaderOptions &options)
{
    std::fputs("%!PS-Adobe-3.0 EPSF-3.0\n", file);
    std::fputs("%%Creator: PVG Viewer (kelvo)\n", file);
    std::fputs("%%Title:   VORNA-generated file\n", file);

    const SpanRect &page = options.pageRect;
    const double s = options.scale;
    EpsText box;
    box.text("%%BoundingBox: ");
    if (options.zoomed) {
        box.number(scaled(page.left, s)).text(" ")
            .number(scaled(int64_t(kPageHeight) - page.bottom, s)).text(" ")
            .number(scaled(page.right, s)).text(" ")
            .number(scaled(int64_t(kPageHeight) - page.top, s));
    } else {
        box.number(scaled(page.left, s)).text(" 0 ")
            .number(scaled(page.right, s)).text(" ")
            .number(scaled(page.bottom, s));
    }
    box.text("\n").writeTo(file);

    std::fputs("/DeviceRGB setcolorspace 0 setlinecap 0 setlinejoin 30 setmiterlimit\n", file);
    EpsText().number(kEpsMinimumLineWidth).text(" setlinewidth\n").writeTo(file);
    EpsText().fraction(s).text(" ").fraction(s).text(" scale\n").writeTo(file);
    EpsText colour;
    colourFractions(colour, kPaletteBlack).text(" setcolor\n").writeTo(file);

    if (options.includeBackground) {
        const int64_t l = page.left;
        const int64_t r = page.right;
        const int64_t t = int64_t(kPageHeight) - page.top;
        const int64_t b = int64_t(kPageHeight) - page.bottom;
        EpsText fill;
        fill.number(l).text(" ").number(t).text(" moveto ")
            .number(r).text(" ").number(t).text(" lineto ")
            .number(r).text(" ").number(b).text(" lineto ")
            .number(l).text(" ").number(b).text(" lineto ")
            .number(l).text(" ").number(t).text(" lineto fill\n")
            .writeTo(file);
    }
}

void writeEpsWidth(FILE *file, int32_t width)
{
    EpsText()
        .text(" stroke ")
        .number(width > kEpsMinimumLineWidth ? width : kEpsMinimumLineWidth)
        .text(" setlinewidth ")
        .writeTo(file);
}

void writeEpsColour(FILE *file, int32_t index, int32_t backgroundIndex, bool linesToBlack)
{
    int32_t written = index;
    if (linesToBlack)
        written = kPaletteBlack;
    else if (backgroundIndex == kPaletteWhite && index == kPaletteWhite)
        written = kPaletteBlack;
    if (written < 0 || written >= kPaletteSize)
        written = kPaletteBlack;
    EpsText out;
    out.text("\nstroke ");
    colourFractions(out, written).text(" setcolor\n").writeTo(file);
}

void writeEpsMoveSegment(FILE *file, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    EpsText()
        .number(x0).text(" ").number(y0).text(" moveto ")
        .number(x1).text(" ").number(y1).text(" lineto ")
        .writeTo(file);
}

void writeEpsLineTo(FILE *file, int32_t x1, int32_t y1)
{
    EpsText().number(x1).text(" ").number(y1).text(" lineto ").writeTo(file);
}

void writeEpsLineBreak(FILE *file)
{
    std::fputc('\n', file);
}

void writeEpsTrailer(FILE *file)
{
    std::fputs("\nstroke\n", file);
}
