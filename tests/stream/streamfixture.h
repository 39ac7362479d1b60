#pragma once

#include "common/viewersettings.h"
#include "common/spanrect.h"

#include <QString>

#include <string>
#include <vector>

class QPainter;
class QPrinter;

// Holds bytes as the loaded document (followed by its 16 zero bytes) for as
// long as it lives.
class LoadedDocument
{
public:
    explicit LoadedDocument(const std::string &bytes);
    ~LoadedDocument();
    LoadedDocument(const LoadedDocument &) = delete;
    LoadedDocument &operator=(const LoadedDocument &) = delete;

private:
    std::vector<unsigned char> buffer;
};

inline void restoreDefaultSettings() { ViewerSettings = ViewerSettingsRecord(); }

SpanRect corners(int left, int top, int right, int bottom);

// One render of the loaded document, as the view's drawIt runs it.
void renderDocument(QPainter *painter, QPrinter *printer, double lineWidthScale, int cvtflag,
                    SpanRect zoomArea = SpanRect());

// Walks bytes onto a 1280x975 recording device and returns what reached the
// painter, one event per call, "; " between them:
//   "bg p15"                        background fill of the whole page (palette 15)
//   "p12/2 0,3120-10,3110 ..."      one line-list call: pen colour / width, lines
//   "'text' 100,2920 Sans 20 bold italic p12"
// then "window ..." and "viewport ..." where they differ from the page and
// the device, and "segments N" (segmentCount). Colours are palette indices.
std::string paintLog(const std::string &bytes, double scale = 1.0, SpanRect zoom = SpanRect(),
                     QPrinter *printer = nullptr);

// Exports bytes as EPS to path (a temporary file if empty) and returns the text.
std::string exportEps(const std::string &bytes, SpanRect zoom = SpanRect(), double scale = 1.0,
                      const QString &path = QString());

std::string readWholeFile(const std::string &path);

// Comment bytes that push what follows beyond offset 100.
std::string pastOffset100();
