#pragma once

#include <cstdint>

// White space as C's isspace sees it in the "C" locale.
bool isBlankChar(char c);
const char *skipBlanks(const char *text);

// One "%d"-style conversion: blanks, an optional sign, decimal digits. Values
// beyond 32 bits are held at the limits instead of overflowing. Returns the
// position after the number, or null (value untouched) when there are no digits.
const char *scanInt32(const char *text, int32_t &value);
