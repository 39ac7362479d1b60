#pragma once

#include "common/spanrect.h"
#include "common/viewersettings.h"

#include <string>

class QPainter;
class StreamSink;

inline void restoreDefaultSettings() { ViewerSettings = ViewerSettingsRecord(); }

SpanRect corners(int left, int top, int right, int bottom);

// Walks bytes (followed by the zero bytes a loaded document has) over the
// whole page onto sink, with White Background from ViewerSettings unless
// given; returns the walk's segment count.
int walk(const std::string &bytes, StreamSink *sink, double scale = 1.0, SpanRect zoom = SpanRect(),
         bool whiteBackground = ViewerSettings.whiteBackground != 0);

// Walks bytes onto a recording sink and returns the events as text, one word
// each, in order:
//   bg15 [zoom l,t,r,b]   begin: background palette index, zoom area when zoomed
//   w4  c12               width, palette colour
//   0,3120-10,3110        one segment (logical units, y = 3120 - Y)
//   'Hello' 100,2920 Sans 20 3   a text with font, size, flags
//   end                   end of the walk; "miscount N" follows when the walk counted N segments otherwise
std::string eventLog(const std::string &bytes, double scale = 1.0, SpanRect zoom = SpanRect(),
                     bool whiteBackground = true);

// The same, walked in pieces: paused after every segment, each piece taken up
// from a copy of the paused walker and stopped where the next begins.
std::string eventLogInPieces(const std::string &bytes, double scale = 1.0, SpanRect zoom = SpanRect(),
                             bool whiteBackground = true);

// The EPS export of bytes under the EPS settings of ViewerSettings.
std::string exportEps(const std::string &bytes, SpanRect zoom = SpanRect(), double scale = 1.0);

// Comment bytes that push what follows beyond offset 100.
std::string pastOffset100();
