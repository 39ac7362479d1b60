// Operand readers. Each first takes the byte handed back to the walker (the
// byte after the command letters) as an ordinary operand byte; only bytes read
// from the document are tested for being control bytes, and such a byte ends
// the operand and is handed back in its turn.
#include "stream/pvgmeta.h"

#include "stream/bytes.h"
#include "stream/page.h"
#include "common/numeric.h"
#include "common/decimaltext.h"

#include <cstring>

namespace {
constexpr std::size_t kRawTextLimit = kTextBufferSize - 1;
constexpr std::size_t kDecimalPairLimit = 63;
constexpr int32_t kShortTextLimit = 80;

} // namespace

int32_t CPvgMeta::readOperand()
{
    return readInteger(false);
}

int32_t CPvgMeta::readCount()
{
    return readInteger(true);
}

// High digits carry 6 bits each, the low digit 4 bits and the sign. The
// arithmetic wraps modulo 2^32, so any number of high digits is defined.
// A count (short text) takes only 0x41-0x7F as high digits: 0x40 is its low digit.
int32_t CPvgMeta::readInteger(bool countDigits)
{
    emptyComponent = false;
    const int firstHighDigit = countDigits ? 0x41 : 0x40;
    uint32_t high = 0;
    bool anyHigh = false;
    for (;;) {
        int c;
        if (pendingByte != 0) {
            c = static_cast<signed char>(pendingByte);
            pendingByte = 0;
        } else {
            const unsigned char b = *cur++;
            if (isControlByte(b)) {
                // A NUL is consumed and handed back as "nothing".
                pendingByte = b;
                operandCut = true;
                // A missing low digit reads as a zero byte: 32 - 16 H.
                return anyHigh ? static_cast<int32_t>(32u - 16u * high) : 0;
            }
            c = b;
        }
        if (inColourMap && c == ',') {
            emptyComponent = true;
            return 0;
        }
        if (c >= firstHighDigit) {
            high = high * 64u + static_cast<uint32_t>(c - 0x40);
            anyHigh = true;
            continue;
        }
        if (c >= 0x30)
            return static_cast<int32_t>(16u * high + static_cast<uint32_t>(c - 0x30));
        return static_cast<int32_t>(0u - (16u * high + static_cast<uint32_t>(c - 0x20)));
    }
}

// A count and that many text bytes (at most 80); a count of 0 or less takes none.
void CPvgMeta::readShortText()
{
    operandCut = false;
    const int32_t count = readCount();
    if (operandCut)
        return;
    const int32_t limit = count < kShortTextLimit ? count : kShortTextLimit;
    for (int32_t taken = 0; taken < limit; ++taken) {
        const unsigned char b = *cur++;
        if (isControlByte(b)) {
            pendingByte = b;
            return;
        }
    }
}

void CPvgMeta::readSkippedOperands()
{
    pendingByte = 0;
    for (;;) {
        const unsigned char b = *cur++;
        if (isControlByte(b)) {
            pendingByte = b;
            return;
        }
    }
}

// Every byte up to the next ESC, which is handed back to start the next command.
// Text beyond 1023 bytes is consumed but not kept; the end of the data ends the
// text. A text whose first byte is ESC is empty (it does not swallow the next command).
void CPvgMeta::readRawText(char *text)
{
    std::size_t length = 0;
    if (pendingByte != 0) {
        const unsigned char first = static_cast<unsigned char>(pendingByte);
        pendingByte = 0;
        if (first == kEsc) {
            text[0] = '\0';
            pendingByte = kEsc;
            return;
        }
        text[length++] = static_cast<char>(first);
    }
    while (cur < dataEnd) {
        const unsigned char b = *cur++;
        if (b == kEsc) {
            pendingByte = kEsc;
            break;
        }
        if (length < kRawTextLimit)
            text[length++] = static_cast<char>(b);
    }
    text[length] = '\0';
}

// "x,y" up to ';' or ESC, parsed like "%d,%d". After it the walker goes on as
// if an ESC had just been read. A value that does not parse keeps the previous
// position coordinate.
void CPvgMeta::readDecimalPair()
{
    char text[kDecimalPairLimit + 1];
    std::size_t length = 0;
    bool ended = false;
    if (pendingByte != 0) {
        const unsigned char first = static_cast<unsigned char>(pendingByte);
        pendingByte = 0;
        if (first == kEsc || first == ';')
            ended = true;
        else
            text[length++] = static_cast<char>(first);
    }
    while (!ended && cur < dataEnd) {
        const unsigned char b = *cur++;
        if (b == ';' || b == kEsc)
            break;
        if (length < kDecimalPairLimit)
            text[length++] = static_cast<char>(b);
    }
    text[length] = '\0';
    pendingByte = kEsc;

    int32_t x = 0;
    const char *p = scanInt32(text, x);
    if (p == nullptr)
        return;
    textX = x;
    if (*p != ',')
        return;
    int32_t y = 0;
    if (scanInt32(p + 1, y) == nullptr)
        return;
    textY = clampToInt32(int64_t(kPageHeight) - y);
}
