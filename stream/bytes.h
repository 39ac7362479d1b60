#pragma once

// Byte values with a meaning of their own in the stream.
inline constexpr unsigned char kNul = 0x00;
inline constexpr unsigned char kBel = 0x07;
inline constexpr unsigned char kEsc = 0x1B;
inline constexpr unsigned char kGs = 0x1D;
inline constexpr unsigned char kEndByte = 0xFF;

// Bytes are signed 8-bit characters: below 0x20 once sign-extended, which
// makes 0x80-0xFE (and 0xFF) control bytes too.
inline bool isControlByte(unsigned char b)
{
    return b < 0x20 || b >= 0x80;
}

inline bool isCommandLetter(unsigned char b)
{
    return b >= 'A' && b <= 'Z';
}
