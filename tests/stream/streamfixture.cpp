#include "tests/stream/streamfixture.h"

#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"

#include <fstream>
#include <sstream>

LoadedDocument::LoadedDocument(const std::string &bytes)
{
    buffer.assign(bytes.begin(), bytes.end());
    buffer.resize(bytes.size() + kZeroBytesAfterData, 0);
    CurrentDocument.data = buffer.data();
    CurrentDocument.size = static_cast<int32_t>(bytes.size());
    copyText(CurrentDocument.path, "test.pvg");
    fillPaletteFractions();
}

LoadedDocument::~LoadedDocument()
{
    CurrentDocument.data = nullptr;
    CurrentDocument.size = 0;
    CurrentDocument.path[0] = '\0';
}

void restoreDefaultSettings()
{
    ViewerSettings = ViewerSettingsRecord();
}

SpanRect fullPageRect()
{
    return rectFromCorners(0, 0, 4096, 3120);
}

SpanRect rectFromCorners(int left, int top, int right, int bottom)
{
    SpanRect rect;
    rect.setCorners(left, top, right, bottom);
    return rect;
}

void renderDocument(QPainter *painter, QPrinter *printer, double lineWidthScale, int cvtflag,
                    SpanRect zoomArea)
{
    CPvgMeta meta(CurrentDocument.path, painter, printer, lineWidthScale, cvtflag);
    meta.render(zoomArea, fullPageRect());
}

std::string readWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
