// Writes the demo drawing shipped in examples/: axes with ticks, three
// coloured curves and a few labels.
#include "tests/support/pvgwriter.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {
constexpr int left = 400, right = 3800, bottom = 400, top = 2800;
constexpr int middle = (bottom + top) / 2;

int curveY(double value)
{
    return middle + static_cast<int>(value * (top - bottom) / 2.2);
}

void curve(PvgWriter &writer, double (*function)(double))
{
    const int steps = 340;
    for (int i = 0; i <= steps; ++i) {
        const double t = 4.0 * M_PI * i / steps;
        const int x = left + (right - left) * i / steps;
        const int y = curveY(function(t));
        if (i == 0)
            writer.moveTo(x, y);
        else
            writer.lineTo(x, y);
    }
}
} // namespace

int main(int argc, char **argv)
{
    const std::string path = argc > 1 ? argv[1] : "demo.pvg";
    PvgWriter writer(0, 0, 0); // map entry 1: black
    writer.comment("kelvo demo drawing")
        .colourMapEntry(2, 90, 50, 100)   // red
        .colourMapEntry(3, 210, 50, 100)  // green
        .colourMapEntry(4, 330, 50, 100)  // blue
        .colourMapEntry(5, 0, 20, 0);     // dark grey

    // Frame and axes in black. Widths are page units (4096 across), so they
    // grow with the window; width 1 stays a hairline.
    writer.lineColour(1).lineWidth(10);
    writer.moveTo(left, bottom).lineTo(right, bottom).lineTo(right, top).lineTo(left, top)
        .lineTo(left, bottom);
    writer.moveTo(left, middle).lineTo(right, middle);
    writer.lineWidth(1);
    for (int i = 1; i < 8; ++i) {
        const int x = left + (right - left) * i / 8;
        writer.moveTo(x, middle - 40).lineTo(x, middle + 40);
    }
    // Light grid.
    writer.lineColour(5);
    for (int i = 1; i < 4; ++i) {
        const int y = bottom + (top - bottom) * i / 4;
        if (y != middle)
            writer.moveTo(left, y).lineTo(right, y);
    }

    writer.lineWidth(14).lineColour(2);
    curve(writer, [](double t) { return std::sin(t); });
    writer.lineColour(3);
    curve(writer, [](double t) { return std::cos(t) * 0.6; });
    writer.lineColour(4);
    curve(writer, [](double t) { return std::exp(-t / 6.0) * std::sin(3.0 * t); });

    writer.lineColour(1).font("Sans").fontSize(110).textFlags(1)
        .textPosition(left, top + 120).text("kelvo demo: three curves")
        .textFlags(0).fontSize(80)
        .textPosition(right - 300, bottom - 150).text("t")
        .textPosition(left - 200, top - 50).text("y")
        .end();

    if (!writer.writeFile(path)) {
        std::perror(path.c_str());
        return 1;
    }
    return 0;
}
