#pragma once

#include "common/fixedtext.h"

#include <cstdint>

// The one loaded document. data holds the file followed by 16 zero bytes, so a
// walk that runs off the end of the file meets a NUL.
struct CurrentDocumentRecord {
    unsigned char *data = nullptr;
    int32_t size = 0;
    TextBuffer path = {};
    TextBuffer name = {};
    TextBuffer exportBase = {};
};

extern CurrentDocumentRecord CurrentDocument;

inline constexpr int kZeroBytesAfterData = 16;

// The path the loader was last asked to read, whether or not it loaded.
// Exports must not write over it: after a failed load the export base still
// names that file.
extern TextBuffer lastReadPath;

// Frees CurrentDocument.data and sets it to null.
void releaseDocumentData();
