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
// The buffer is size + 32 bytes; larger files cannot be held in a 32-bit size.
inline constexpr long long kLargestDocument = 0x7FFFFFFFLL - 32;

inline constexpr const char *openErrorMessage = "Error opening file.";
inline constexpr const char *notPvgMessage = "File is not a recognized PVG graphic format.";

// Reads path whole into CurrentDocument.data (releasing the old bytes first) and
// checks the signature. 0 on success; -1 with message (1024 bytes) filled in.
int readDocumentFile(const char *path, char *message);

// The path readDocumentFile was last asked to read, whether or not it loaded.
// Exports must not write over it: after a failed load the export base still
// names that file.
extern TextBuffer lastReadPath;

// Frees CurrentDocument.data and sets it to null.
void releaseDocumentData();
