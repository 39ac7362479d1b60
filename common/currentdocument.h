#pragma once

#include "common/fixedtext.h"

#include <cstdint>
#include <memory>
#include <string>

// The one loaded document. data holds the file followed by at least 16 zero
// bytes, so a walk that runs off the end of the file meets a NUL.
struct CurrentDocumentRecord {
    unsigned char *data = nullptr;
    int32_t size = 0;
    TextBuffer path = {};
    TextBuffer name = {};
    TextBuffer exportBase = {};
    // A document word too long for path, whole: path holds a cut copy only as
    // a placeholder, and loading it is refused (a cut name could be another
    // file, to be loaded, written over or deleted as temporary).
    std::string refusedPath;
    // The export base a refused path or -cf= value would have given: a
    // command-line export then fails as too long and the chain goes on,
    // instead of waiting for a name that never comes or using a cut one.
    std::string refusedExportBase;
    // The file the export base was taken from (the run's first document):
    // exports named after it must not write over it, whatever was loaded since.
    std::string exportBaseSource;
    // Owns data when the loader allocated it, so that a render running on
    // another thread can keep the bytes alive after the document is replaced.
    std::shared_ptr<unsigned char[]> owner;
    // Changes whenever data is replaced or released.
    uint64_t generation = 0;
};

extern CurrentDocumentRecord CurrentDocument;

// A document is loaded and its bytes are held.
inline bool documentHeld()
{
    return CurrentDocument.path[0] != '\0' && CurrentDocument.data != nullptr;
}

inline constexpr int kZeroBytesAfterData = 16;

// The path the loader was last asked to read, whether or not it loaded.
// Exports must not write over it: after a failed load the export base still
// names that file.
extern TextBuffer lastReadPath;

// Makes base the export base; one too long for its buffer is kept aside whole
// in refusedExportBase instead (and the buffer left empty).
void setExportBase(const std::string &base);

// Gives up CurrentDocument.data (freed once no render holds it) and sets it to null.
void releaseDocumentData();
