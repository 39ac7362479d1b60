#include "stream/svgsink.h"

#include "stream/colourrules.h"
#include "stream/page.h"
#include "stream/palette.h"
#include "stream/viewpen.h"

#include <QString>

#include <charconv>
#include <cstdio>

namespace {
// A path element is ended after this many points, so that no line of the
// file grows without bound.
constexpr int kMostPathPoints = 1000;
// Text sizes in points become page units at the 96 dpi the view paints with.
constexpr double kPageUnitsPerPoint = 96.0 / 72.0;

void appendNumber(QByteArray *out, double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out->append(text, result.ptr - text);
}

void appendNumber(QByteArray *out, int32_t value)
{
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out->append(text, result.ptr - text);
}

void appendPoint(QByteArray *out, int32_t x, int32_t y)
{
    appendNumber(out, x);
    out->append(',');
    appendNumber(out, y);
}

void colourText(char (&text)[8], int32_t index)
{
    const PaletteColour &colour = palette[index];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.red & 0xFF, colour.green & 0xFF, colour.blue & 0xFF);
}

// Latin-1 bytes as XML character data; characters XML 1.0 cannot hold are left out.
void appendEscaped(QByteArray *out, const char *text)
{
    for (const char *p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        switch (c) {
        case '&': out->append("&amp;"); break;
        case '<': out->append("&lt;"); break;
        case '>': out->append("&gt;"); break;
        case '"': out->append("&quot;"); break;
        default:
            if (c >= 0x80)
                out->append(QString(QChar(c)).toUtf8());
            else if (c >= 0x20 || c == '\t')
                out->append(char(c));
        }
    }
}
} // namespace

SvgSink::SvgSink(QByteArray *output, const SvgSettings &svgSettings) : out(output), settings(svgSettings)
{
}

void SvgSink::begin(const WalkStart &start)
{
    backgroundIndex = start.backgroundIndex;
    int32_t left = 0, top = 0, width = kPageWidth, height = kPageHeight;
    if (start.zoomed) {
        left = start.zoomArea.left;
        top = start.zoomArea.top;
        width = start.zoomArea.width;
        height = start.zoomArea.height;
    }
    thinnestPen = settings.pictureWidth > 0 ? double(width) / settings.pictureWidth : 1.0;

    out->append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"");
    appendNumber(out, width * settings.scale);
    out->append("pt\" height=\"");
    appendNumber(out, height * settings.scale);
    out->append("pt\" viewBox=\"");
    appendNumber(out, left);
    out->append(' ');
    appendNumber(out, top);
    out->append(' ');
    appendNumber(out, width);
    out->append(' ');
    appendNumber(out, height);
    out->append("\" preserveAspectRatio=\"none\">\n");

    // A zoom area may reach beyond the page, where the view shows its own white.
    char colour[8];
    if (start.zoomed) {
        out->append("<rect x=\"");
        appendNumber(out, left);
        out->append("\" y=\"");
        appendNumber(out, top);
        out->append("\" width=\"");
        appendNumber(out, width);
        out->append("\" height=\"");
        appendNumber(out, height);
        out->append("\" fill=\"#ffffff\"/>\n");
    }
    colourText(colour, backgroundIndex);
    out->append("<rect x=\"0\" y=\"0\" width=\"");
    appendNumber(out, kPageWidth);
    out->append("\" height=\"");
    appendNumber(out, kPageHeight);
    out->append("\" fill=\"");
    out->append(colour);
    out->append("\"/>\n<g fill=\"none\" stroke-linecap=\"square\">\n");
}

void SvgSink::lineWidthChanged(int32_t width)
{
    lineWidth = width;
    applyPen();
}

void SvgSink::lineColourChanged(int32_t index)
{
    lineIndex = index;
    applyPen();
}

// The view's pen; width 0 is the thinnest line the picture can show.
void SvgSink::applyPen()
{
    closePath();
    colourText(penColour, penColourIndex(mapColour(lineIndex), backgroundIndex));
    const int half = screenPenWidth(lineWidth);
    penWidth = half > 0 ? double(half) : thinnestPen;
}

void SvgSink::closePath()
{
    if (pathPoints == 0)
        return;
    out->append("\"/>\n");
    pathPoints = 0;
}

void SvgSink::segments(const StreamSegment *list, int count)
{
    for (int i = 0; i < count; ++i) {
        const StreamSegment &s = list[i];
        if (pathPoints > 0 && (s.x0 != lastX || s.y0 != lastY || pathPoints >= kMostPathPoints))
            closePath();
        if (pathPoints == 0) {
            out->append("<path stroke=\"");
            out->append(penColour);
            out->append("\" stroke-width=\"");
            appendNumber(out, penWidth);
            out->append("\" d=\"M");
            appendPoint(out, s.x0, s.y0);
            pathPoints = 1;
        } else {
            // A subpath of its own from where the last ended: each segment
            // is its own stroke in the view, so a corner shows both square
            // caps, never a join.
            out->append("m0,0");
        }
        out->append('L');
        appendPoint(out, s.x1, s.y1);
        ++pathPoints;
        lastX = s.x1;
        lastY = s.y1;
    }
}

void SvgSink::text(const StreamText &item)
{
    if (!textIsPlaceable(item))
        return;
    closePath();
    out->append("<text xml:space=\"preserve\" x=\"");
    appendNumber(out, item.x);
    out->append("\" y=\"");
    appendNumber(out, item.y);
    out->append("\" fill=\"");
    out->append(penColour);
    out->append('"');
    if (item.fontFamily[0] != '\0') {
        out->append(" font-family=\"");
        appendEscaped(out, item.fontFamily);
        out->append('"');
    }
    if (item.pointSize > 0) {
        out->append(" font-size=\"");
        const int32_t points = item.pointSize < kLargestPointSize ? item.pointSize : kLargestPointSize;
        appendNumber(out, points * kPageUnitsPerPoint);
        out->append('"');
    }
    if (item.flags & 1)
        out->append(" font-weight=\"bold\"");
    if (item.flags & 2)
        out->append(" font-style=\"italic\"");
    out->append('>');
    appendEscaped(out, item.text);
    out->append("</text>\n");
}

void SvgSink::end()
{
    closePath();
    out->append("</g>\n</svg>\n");
}
