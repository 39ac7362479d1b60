#pragma once

#include <cstddef>

// Paths, names and option values are 8-bit texts of at most 1023 characters,
// kept in 1024-byte buffers with a terminating zero.
inline constexpr std::size_t kTextBufferSize = 1024;
using TextBuffer = char[kTextBufferSize];

// Copies src into dst (capacity bytes including the terminator). Returns false
// when src did not fit; dst then holds as much of it as fits. A null src gives "".
bool copyText(char *dst, std::size_t capacity, const char *src);

template <std::size_t N>
bool copyText(char (&dst)[N], const char *src)
{
    return copyText(dst, N, src);
}
