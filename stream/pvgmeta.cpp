#include "stream/pvgmeta.h"

#include "stream/background.h"
#include "stream/colourrules.h"

#include <cstring>

int32_t segmentCount = 0;
int32_t backgroundIndex = 15;

CPvgMeta::CPvgMeta(const WalkInput &walkInput, StreamSink *output, double scale)
    : lineWidthScale(scale), input(walkInput), sink(output)
{
    fontFamily[0] = '\0';
}

CPvgMeta::CPvgMeta(const CPvgMeta &paused, StreamSink *output) : CPvgMeta(paused)
{
    sink = output;
    pauses = nullptr;
    stopAt = nullptr;
}

void CPvgMeta::setPauses(WalkPauses *walkPauses, int32_t every)
{
    pauses = walkPauses;
    pauseEvery = every > 1 ? every : 1;
}

int CPvgMeta::resume()
{
    if (cur != nullptr)
        walkBytes();
    flushSegments();
    return 1;
}

int CPvgMeta::render(SpanRect zoomArea, SpanRect fullPage)
{
    cur = input.data;
    const int32_t size = input.size > 0 ? input.size : 0;
    dataEnd = cur != nullptr ? cur + size : nullptr;

    background = detectBackground(cur, size, input.whiteBackground);
    zoomed = zoomArea.width > 0;
    pageRect = zoomed ? zoomArea : fullPage;
    segments = 0;

    if (sink != nullptr) {
        WalkStart start;
        start.backgroundIndex = background;
        start.zoomArea = zoomArea;
        start.pageRect = pageRect;
        start.zoomed = zoomed;
        sink->begin(start);
    }

    lineWidth = -1;
    setLineWidth(0);
    lineIndex = -1;
    setLineIndex(0);

    fontFamily[0] = '\0';
    fontSize = 0;
    textColour = 0;
    textX = 0;
    textY = 0;
    textFlags = 0;

    if (cur != nullptr)
        walk();
    flushSegments();
    if (sink != nullptr)
        sink->end();
    return 1;
}

void CPvgMeta::flushSegments()
{
    if (runLength == 0)
        return;
    if (sink != nullptr)
        sink->segments(run, runLength);
    runLength = 0;
}

void CPvgMeta::setLineWidth(int32_t width)
{
    if (width == lineWidth)
        return;
    lineWidth = width;
    flushSegments();
    if (sink != nullptr)
        sink->lineWidthChanged(width);
}

// The comparison is with the raw index, the stored value is the mapped one:
// an ML that selects 0 again after an unmapped index still counts as a change.
void CPvgMeta::setLineIndex(int32_t index)
{
    if (index == lineIndex)
        return;
    lineIndex = mapColour(index);
    flushSegments();
    if (sink != nullptr)
        sink->lineColourChanged(lineIndex);
}

void CPvgMeta::drawTextItem(char *text)
{
    const std::size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        text[length - 1] = '\0';
    flushSegments();
    if (sink == nullptr)
        return;
    StreamText item;
    item.text = text;
    item.fontFamily = fontFamily;
    item.pointSize = fontSize;
    item.flags = textFlags;
    item.x = textX;
    item.y = textY;
    sink->text(item);
}
