#pragma once

#include "app/convert/convertoptions.h"

#include <QString>

// One file to convert, and how it is shown.
struct ConversionJob {
    QString input;
    QString output;
    OutputFormat format = OutputFormat::Png;
    QSize size{kDefaultWidth, kDefaultHeight};
    QSize drawnSize; // when not empty, pictures are drawn at this size and scaled down to size
    bool zoomed = false;
    SpanRect zoomArea;
};

// Reads, draws and writes one file. Safe on any thread once the settings have
// been read: it reads them, writes no process-wide state, and gives each
// output its own walk. False, with error saying why, when nothing was written
// (an earlier file of the output's name is then as it was).
bool convertFile(const ConversionJob &job, QString &error);

// Whether the two names are the same file (links and relative names
// followed); false when either does not exist.
bool isSameFile(const QString &a, const QString &b);
