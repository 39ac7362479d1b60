#pragma once

#include "stream/streamsink.h"

#include <cstdint>
#include <cstdio>

// The settings an EPS export reads.
struct EpsSettings {
    double scale = 0.25;             // eps_scalefactor
    bool includeBackground = false;  // eps_include_background
    bool linesToBlack = false;       // eps_cvt_lines_to_black
};

struct ViewerSettingsRecord;

// The EPS settings a configuration gives.
EpsSettings epsSettingsOf(const ViewerSettingsRecord &configured);

// Writes a walk as Encapsulated PostScript to an open file: the header when
// the walk begins, widths, colours and connected segments as they come, the
// trailer at its end. Text is not written. The caller owns the file.
class EpsSink final : public StreamSink
{
public:
    EpsSink(FILE *file, const EpsSettings &settings);

    void begin(const WalkStart &start) override;
    void lineWidthChanged(int32_t width) override;
    void lineColourChanged(int32_t index) override;
    void segments(const StreamSegment *list, int count) override;
    void text(const StreamText &) override {}
    void end() override;

private:
    FILE *cvtfp;
    EpsSettings settings;
    int32_t backgroundIndex = 15;
    // End point of the last segment written; lastX -1: no open subpath.
    int32_t lastX = -1;
    int32_t lastY = 0;
    // Segments on the current text line, counted from 1.
    int32_t epsItemsOnLine = 1;
};
