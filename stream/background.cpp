#include "stream/background.h"

#include "stream/palette.h"

#include <cstring>

namespace {
constexpr int32_t kSearchStart = 100;
constexpr char kMarker[] = "RA1";
constexpr std::size_t kMarkerLength = 3;

const unsigned char *findMarker(const unsigned char *from, const unsigned char *end)
{
    if (from >= end)
        return nullptr;
    return static_cast<const unsigned char *>(
        memmem(from, static_cast<std::size_t>(end - from), kMarker, kMarkerLength));
}
} // namespace

int32_t backgroundCodeToIndex(unsigned char code)
{
    switch (code) {
    case ' ': return 0;
    case '4': return 1;
    case '3': return 2;
    case '5': return 3;
    case '2': return 4;
    case '6': return 5;
    case '8': return 6;
    case '?': return 7;
    case '>': return 8;
    case ';': return 9;
    case '9': return 10;
    case ':': return 11;
    case '=': return 12;
    case '<': return 13;
    case '7': return 14;
    case '1': return 15;
    default: return kPaletteWhite;
    }
}

int32_t detectBackground(const unsigned char *data, int32_t size, bool forceWhite)
{
    if (forceWhite || data == nullptr || size <= kSearchStart)
        return kPaletteWhite;
    const unsigned char *begin = data + kSearchStart;
    const std::size_t length = static_cast<std::size_t>(size - kSearchStart);
    const void *nul = std::memchr(begin, 0, length);
    const unsigned char *end = nul ? static_cast<const unsigned char *>(nul) : begin + length;

    const unsigned char *first = findMarker(begin, end);
    if (first == nullptr)
        return kPaletteWhite;
    const unsigned char *second = findMarker(first + kMarkerLength, end);
    if (second == nullptr)
        return kPaletteWhite;
    // At most data[size], one of the zero bytes after the data.
    return backgroundCodeToIndex(second[kMarkerLength]);
}
