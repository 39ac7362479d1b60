#pragma once

#include <cstdint>

// Palette index for the byte after the second "RA1"; 15 for bytes not in the table.
int32_t backgroundCodeToIndex(unsigned char code);

// The picture's background: white when forced, else what the second "RA1" at or
// after offset 100 says (searching stops at the first NUL), white when there is none.
// data must be followed by at least one zero byte.
int32_t detectBackground(const unsigned char *data, int32_t size, bool forceWhite);
