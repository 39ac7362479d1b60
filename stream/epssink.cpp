#include "stream/epssink.h"

#include "common/viewersettings.h"
#include "stream/epswriter.h"
#include "stream/palette.h"

EpsSettings epsSettingsOf(const ViewerSettingsRecord &configured)
{
    EpsSettings eps;
    eps.scale = configured.eps_scalefactor;
    eps.includeBackground = configured.eps_include_background != 0;
    eps.linesToBlack = configured.eps_cvt_lines_to_black != 0;
    return eps;
}

EpsSink::EpsSink(FILE *file, const EpsSettings &epsSettings) : cvtfp(file), settings(epsSettings)
{
}

void EpsSink::begin(const WalkStart &start)
{
    backgroundIndex = start.backgroundIndex;
    lastX = -1;
    epsItemsOnLine = 1;
    fillPaletteFractions();
    EpsHeaderOptions options;
    options.pageRect = start.pageRect;
    options.zoomed = start.zoomed;
    options.scale = settings.scale;
    options.includeBackground = settings.includeBackground;
    writeEpsHeader(cvtfp, options);
}

void EpsSink::lineWidthChanged(int32_t width)
{
    writeEpsWidth(cvtfp, width);
    lastX = -1;
}

void EpsSink::lineColourChanged(int32_t index)
{
    writeEpsColour(cvtfp, index, backgroundIndex, settings.linesToBlack);
    lastX = -1;
}

// A segment that starts where the last one ended continues its subpath.
// Coordinates go out as file coordinates (y upward).
void EpsSink::segments(const StreamSegment *list, int count)
{
    for (int i = 0; i < count; ++i) {
        const StreamSegment &s = list[i];
        if (s.x0 == lastX && s.y0 == lastY)
            writeEpsLineTo(cvtfp, s.x1, kPageHeight - s.y1);
        else
            writeEpsMoveSegment(cvtfp, s.x0, kPageHeight - s.y0, s.x1, kPageHeight - s.y1);
        if (++epsItemsOnLine > 4) {
            writeEpsLineBreak(cvtfp);
            epsItemsOnLine = 1;
        }
        lastX = s.x1;
        lastY = s.y1;
    }
}

void EpsSink::end()
{
    writeEpsTrailer(cvtfp);
}
