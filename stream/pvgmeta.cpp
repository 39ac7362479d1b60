#include "stream/pvgmeta.h"

int32_t segmentCount = 0;
int32_t backgroundIndex = 15;

CPvgMeta::CPvgMeta(const char *, QPainter *p, QPrinter *pr, double s, int c)
    : lineWidthScale(s), cvtflag(c), painter(p), printer(pr) {}
CPvgMeta::~CPvgMeta() = default;
int CPvgMeta::render(SpanRect, SpanRect) { return 1; }
