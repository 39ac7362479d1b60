#pragma once

#include <cstdint>

// An integer rectangle kept as both corners and extent. Setting it from two
// corners never normalises: a rectangle dragged leftwards has a negative width.
struct SpanRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t width = 0;
    int32_t height = 0;

    void setCorners(int32_t newLeft, int32_t newTop, int32_t newRight, int32_t newBottom);
    // Keeps width and height, moves the top-left corner and recomputes the rest.
    void moveTopLeft(int32_t newLeft, int32_t newTop);
};

bool operator==(const SpanRect &a, const SpanRect &b);
