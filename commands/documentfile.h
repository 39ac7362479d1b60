#pragma once

#include "common/currentdocument.h"

// The buffer is size + 32 bytes; larger files cannot be held in a 32-bit size.
inline constexpr long long kLargestDocument = 0x7FFFFFFFLL - 32;

inline constexpr const char *openErrorMessage = "Error opening file.";
inline constexpr const char *notPvgMessage = "File is not a recognized PVG graphic format.";

// Reads path whole into CurrentDocument.data (releasing the old bytes first) and
// checks the signature. 0 on success; -1 with message (1024 bytes) filled in.
int readDocumentFile(const char *path, char *message);
