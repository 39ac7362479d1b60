#pragma once

#include "common/spanrect.h"
#include "common/viewersettings.h"

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

// One render of the loaded document, as the view's drawIt runs it: onto the
// painter (with the printer's layout when printer is set) and, with cvtflag 3,
// into an EPS file at exportPath.
void renderDocument(QPainter *painter, QPrinter *printer, double lineWidthScale, int cvtflag,
                    SpanRect zoomArea = SpanRect());

// Walks bytes onto a recording sink and returns the events as text, one word
// each, in order:
//   bg15 [zoom l,t,r,b]   begin: background palette index, zoom area when zoomed
//   w4  c12               width, palette colour
//   0,3120-10,3110        one segment (logical units, y = 3120 - Y)
//   'Hello' 100,2920 Sans 20 3   a text with font, size, flags
//   end                   end of the walk; "miscount N" follows when walkedSegments differs
std::string eventLog(const std::string &bytes, double scale = 1.0, SpanRect zoom = SpanRect(),
                     bool whiteBackground = true);

// Exports bytes as EPS to path (a temporary file if empty) and returns the text.
std::string exportEps(const std::string &bytes, SpanRect zoom = SpanRect(), double scale = 1.0,
                      const QString &path = QString());

std::string readWholeFile(const std::string &path);

// Comment bytes that push what follows beyond offset 100.
std::string pastOffset100();
