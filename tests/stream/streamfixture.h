#pragma once

#include "common/spanrect.h"

#include <string>
#include <vector>

class QPainter;
class QPrinter;

// Holds bytes as the loaded document (followed by 16 zero bytes) for as long
// as it lives, and restores the default settings.
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

void restoreDefaultSettings();

SpanRect fullPageRect();
SpanRect rectFromCorners(int left, int top, int right, int bottom);

// One render of the loaded document, as the view's drawIt runs it.
void renderDocument(QPainter *painter, QPrinter *printer, double lineWidthScale, int cvtflag,
                    SpanRect zoomArea = SpanRect());

std::string readWholeFile(const std::string &path);
