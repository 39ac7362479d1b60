// The byte loop: coordinate addresses between commands, ESC-introduced
// commands, and the byte handed back by a command (pendingByte).
#include "stream/pvgmeta.h"

#include "stream/bytes.h"
#include "stream/colourrules.h"
#include "stream/epswriter.h"
#include "stream/numeric.h"

#include <array>

namespace {
constexpr int32_t kPageHeight = 3120;
// The address collector holds 51 bytes; the last of them is the Low-X, so
// bytes beyond the 50th before it are dropped.
constexpr int kAddressLimit = 50;

enum ByteClass : unsigned char {
    ClassNul,
    ClassEnd,     // BEL, 0xFF
    ClassEsc,
    ClassGs,
    ClassControl, // other 0x01-0x1F, 0x80-0xFE
    ClassHigh,    // 0x20-0x3F: High-Y, or High-X after a 0x60-0x7F byte
    ClassLowX,    // 0x40-0x5F: completes an address
    ClassLowY,    // 0x60-0x7F: Low-Y, or Extra when a second one follows
};

constexpr std::array<ByteClass, 256> makeByteClasses()
{
    std::array<ByteClass, 256> classes{};
    for (int b = 0; b < 256; ++b) {
        ByteClass c = ClassControl;
        if (b == kNul)
            c = ClassNul;
        else if (b == kBel || b == kEndByte)
            c = ClassEnd;
        else if (b == kEsc)
            c = ClassEsc;
        else if (b == kGs)
            c = ClassGs;
        else if (b >= 0x20 && b < 0x40)
            c = ClassHigh;
        else if (b >= 0x40 && b < 0x60)
            c = ClassLowX;
        else if (b >= 0x60 && b < 0x80)
            c = ClassLowY;
        classes[static_cast<std::size_t>(b)] = c;
    }
    return classes;
}

constexpr std::array<ByteClass, 256> kByteClass = makeByteClasses();

} // namespace

// An address being collected. It starts from the decoder's kept values, so a
// byte the address omits keeps its previous value; it is committed only when
// the Low-X arrives, so an ESC discards it without a trace.
struct CPvgMeta::AddressCollector {
    int hiX, hiY, loY, extra;
    int length;
    int loYCount;
};

// The per-address path runs for nearly every byte of a plot: keep it inside the loop.
#define KELVO_HOT_INLINE [[gnu::always_inline]] inline

KELVO_HOT_INLINE void CPvgMeta::drawSegment(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    ++segmentCount;
    if (painter != nullptr)
        paintSegment(x0, y0, x1, y1);
    if (cvtfp != nullptr) {
        writeEpsMoveSegment(cvtfp, x0, kPageHeight - y0, x1, kPageHeight - y1);
        if (++epsItemsOnLine > 4) {
            writeEpsLineBreak(cvtfp);
            epsItemsOnLine = 1;
        }
    }
}

KELVO_HOT_INLINE void CPvgMeta::continueSegment(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    ++segmentCount;
    if (painter != nullptr)
        paintSegment(x0, y0, x1, y1);
    if (cvtfp != nullptr) {
        writeEpsLineTo(cvtfp, x1, kPageHeight - y1);
        if (++epsItemsOnLine > 4) {
            writeEpsLineBreak(cvtfp);
            epsItemsOnLine = 1;
        }
    }
}

KELVO_HOT_INLINE void CPvgMeta::decodeAddress(int newHiX, int newHiY, int newLoY, int newExtra, int loX)
{
    hiX = newHiX;
    hiY = newHiY;
    loY = newLoY;
    extra = newExtra;
    loYCount = 0;
    const int32_t x = ((hiX * 32 + loX) * 4) + (extra & 3);
    const int32_t y = kPageHeight - (((hiY * 32 + loY) * 4) + ((extra >> 2) & 3));
    if (moveNext) {
        curX = x;
        curY = y;
        moveNext = false;
        return;
    }
    if (curX == lastX && curY == lastY)
        continueSegment(curX, curY, x, y);
    else
        drawSegment(curX, curY, x, y);
    curX = lastX = x;
    curY = lastY = y;
}

void CPvgMeta::walk()
{
    for (auto &entry : colourMap)
        entry = 0;
    for (auto &triple : colourScratch)
        triple[0] = triple[1] = triple[2] = 0;
    pendingByte = 0;
    loYCount = 0;

    // The address being collected, kept in locals so that the loop runs in
    // registers; committed to the decoder state by decodeAddress.
    AddressCollector a{hiX, hiY, loY, extra, 0, 0};
    const unsigned char *p = cur;

    for (;;) {
        unsigned b = *p;
        // Coordinate bytes 0x20-0x7F: nearly every byte of a plot.
        if (b - 0x20u < 0x60u) {
            ++p;
            const int value = static_cast<int>(b & 0x1F);
            if ((b & 0x60) == 0x40) {
                // Low-X: the address is drawn when the next byte is taken,
                // which never happens when that byte is the NUL ending the walk.
                if (*p != kNul)
                    decodeAddress(a.hiX, a.hiY, a.loY, a.extra, value);
                a.length = 0;
                a.loYCount = 0;
                continue;
            }
            // High-Y/High-X and Low-Y/Extra told apart without branches.
            const bool lowY = b >= 0x60;
            const bool kept = a.length < kAddressLimit;
            const bool afterLowY = a.loYCount > 0;
            a.length += kept;
            a.hiX = (kept && !lowY && afterLowY) ? value : a.hiX;
            a.hiY = (kept && !lowY && !afterLowY) ? value : a.hiY;
            a.extra = (kept && lowY && afterLowY) ? a.loY : a.extra;
            a.loY = (kept && lowY) ? value : a.loY;
            a.loYCount += kept && lowY;
            continue;
        }
        switch (kByteClass[b]) {
        case ClassEsc:
            break;
        case ClassGs:
            ++p;
            moveNext = true;
            continue;
        case ClassEnd:
            cur = p + 1;
            return;
        case ClassNul:
            cur = p;
            return;
        default:
            // Other control bytes, also inside an address: ignored, the
            // address stays as collected.
            ++p;
            continue;
        }

        // ESC: a command, which may hand a byte back; the walker takes that
        // byte next, after the usual NUL test on the document.
        cur = p + 1;
        unsigned handed = kEsc;
        for (;;) {
            a = AddressCollector{hiX, hiY, loY, extra, 0, 0};
            const ByteClass handedClass = kByteClass[handed];
            if (handedClass == ClassEsc) {
                if (!readCommand())
                    return;
            } else if (handedClass == ClassEnd) {
                return;
            } else if (handedClass == ClassGs) {
                moveNext = true;
            } else if (handedClass >= ClassHigh) {
                if (handedClass == ClassLowX) {
                    if (*cur != kNul)
                        decodeAddress(a.hiX, a.hiY, a.loY, a.extra, static_cast<int>(handed & 0x1F));
                } else {
                    // A first address byte: High-Y or Low-Y.
                    a.length = 1;
                    if (handedClass == ClassHigh) {
                        a.hiY = static_cast<int>(handed & 0x1F);
                    } else {
                        a.loY = static_cast<int>(handed & 0x1F);
                        a.loYCount = 1;
                    }
                }
            }
            if (pendingByte == 0)
                break;
            if (*cur == kNul)
                return;
            handed = static_cast<unsigned char>(pendingByte);
            pendingByte = 0;
        }
        p = cur;
    }
}

// Collects the command letters after an ESC and dispatches the command.
// Returns false when the picture ends.
bool CPvgMeta::readCommand()
{
    unsigned char collected[3];
    int count = 0;
    for (;;) {
        if (*cur == kNul)
            return false;
        const unsigned char b = *cur++;
        if (b == kBel || b == kEndByte)
            return false;
        if (b == kGs)
            moveNext = true;
        if (b == kEsc)
            pendingByte = kEsc;
        collected[count++] = b;
        if (count < 3 && isCommandLetter(b))
            continue;
        char second = 0;
        if (count == 3) {
            // The byte after the letters is the first operand byte, or left
            // to the walker by commands without operands.
            pendingByte = b;
            second = static_cast<char>(collected[1]);
        }
        dispatch(count, static_cast<char>(collected[0]), second);
        return true;
    }
}

void CPvgMeta::dispatch(int collected, char first, char second)
{
    if (collected == 1)
        return;
    switch (first) {
    case 'G':
        if (second == 'T') {
            const int32_t width = readOperand();
            setLineWidth(truncToInt32(width * lineWidthScale));
        } else {
            setLineWidth(0);
        }
        break;
    case 'L':
        if (second == 'T')
            readShortText();
        break;
    case 'M': {
        const int32_t index = readOperand();
        if (second == 'L') {
            if (index >= 0 && index < kColourMapSize)
                setLineIndex(colourMap[index]);
        } else if (second == 'C') {
            readOperand();
            readOperand();
            emptyComponent = false;
            inColourMap = false;
        } else if (second == 'R') {
            readOperand();
        }
        break;
    }
    case 'R':
        if (second == 'A') {
            readOperand();
            readOperand();
        }
        break;
    case 'T':
        if (second == 'G')
            runColourMapCommand();
        else
            readSkippedOperands();
        break;
    case 'Z':
        switch (second) {
        case 'A':
            textFlags = readOperand();
            break;
        case 'C':
            textColour = mapColour(readOperand());
            break;
        case 'D': {
            TextBuffer text;
            readRawText(text);
            drawTextItem(text);
            break;
        }
        case 'F':
            readRawText(fontFamily);
            break;
        case 'O':
            readOperand();
            break;
        case 'P':
            readDecimalPair();
            break;
        case 'S':
            fontSize = readOperand();
            break;
        default:
            break;
        }
        break;
    default:
        readSkippedOperands();
        break;
    }
}

// TG: surface, count, index, then hue, lightness and saturation. A "," for a
// component reads as 0 and leaves the next component unread. Indices without
// a scratch triple are read but change nothing.
void CPvgMeta::runColourMapCommand()
{
    readOperand(); // surface
    readOperand(); // count
    const int32_t index = readOperand();
    const bool known = index >= 0 && index < kColourScratchSize;
    int32_t ignored[3];
    int32_t *triple = known ? colourScratch[index] : ignored;
    inColourMap = true;
    for (int component = 0; component < 3; ++component) {
        if (emptyComponent) {
            emptyComponent = false;
            continue;
        }
        triple[component] = readOperand();
    }
    inColourMap = false;
    if (known)
        colourMap[index] = hlsToPalette(triple[0], triple[1], triple[2], colourMap[index]);
}
