// The byte loop: coordinate addresses between commands, ESC-introduced
// commands, and the byte handed back by a command (pendingByte).
#include "stream/pvgmeta.h"

#include "common/currentdocument.h"
#include "common/numeric.h"
#include "stream/addressblock.h"
#include "stream/bytes.h"
#include "stream/colourrules.h"

#include <array>
#include <bit>

namespace {
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

bool pvgWalkFastPath = true;

// An address being collected. It starts from the decoder's kept values, so a
// byte the address omits keeps its previous value; it is committed only when
// the Low-X arrives, so an ESC discards it without a trace.
struct CPvgMeta::AddressCollector {
    int hiX, hiY, loY, extra;
    int length;
    bool afterLowY; // a Low-Y came: a High byte is now High-X, a Low-Y the Extra
};

// The pen position and counters that nearly every address touches, held in
// locals while coordinate bytes are walked so that they stay in registers.
// The members are the truth around commands (which read and change them) and
// when the walk ends.
struct CPvgMeta::WalkState {
    int32_t curX, curY;
    int32_t segments;
    bool moveNext;
};

[[gnu::always_inline]] inline void CPvgMeta::storeWalkState(const WalkState &s)
{
    curX = s.curX;
    curY = s.curY;
    segments = s.segments;
    moveNext = s.moveNext;
}

[[gnu::always_inline]] inline void CPvgMeta::loadWalkState(WalkState &s) const
{
    s = WalkState{curX, curY, segments, moveNext};
}

// The per-address path runs for nearly every byte of a plot: keep it inside the loop.
[[gnu::always_inline]] inline void CPvgMeta::decodeAddress(WalkState &s, const AddressCollector &a,
                                                          int loX)
{
    hiX = a.hiX;
    hiY = a.hiY;
    loY = a.loY;
    extra = a.extra;
    const int32_t x = ((a.hiX * 32 + loX) * 4) + (a.extra & 3);
    const int32_t y = kPageHeight - (((a.hiY * 32 + a.loY) * 4) + ((a.extra >> 2) & 3));
    if (s.moveNext) {
        s.curX = x;
        s.curY = y;
        s.moveNext = false;
        return;
    }
    ++s.segments;
    run[runLength++] = StreamSegment{s.curX, s.curY, x, y};
    if (runLength == kRunCapacity)
        flushSegments();
    s.curX = x;
    s.curY = y;
}

void CPvgMeta::walk()
{
    for (auto &entry : colourMap)
        entry = 0;
    for (auto &triple : colourScratch)
        triple[0] = triple[1] = triple[2] = 0;
    pendingByte = 0;
    walkBytes();
}

bool CPvgMeta::pause()
{
    flushSegments();
    pausedAtSegments = segments;
    return pauses->paused(*this);
}

// Runs of whole addresses from p, which starts one, taken a block at a time
// with the same effect on the walk as byte by byte; returns where the run's
// bytes stop being whole addresses.
const unsigned char *CPvgMeta::countAddressBlocks(WalkState &s, AddressCollector &a, const unsigned char *p)
{
    // p never passes the NUL at dataEnd, and zero bytes follow it.
    static_assert(kZeroBytesAfterData >= 16);
    for (;;) {
        const AddressBlock block = scanAddressBlock(p, p + 16 <= dataEnd);
        // The last Low-X is drawn only when a byte other than NUL follows it.
        if (block.length == 0 || p[block.length] == kNul)
            return p;
        const AddressFields fields = fieldsAfter(block, p, AddressFields{a.hiX, a.hiY, a.loY, a.extra});
        a.hiX = fields.hiX;
        a.hiY = fields.hiY;
        a.loY = fields.loY;
        a.extra = fields.extra;
        // The address before the block was decoded, so none of the block's
        // is a move; the last is decoded as one here, having been counted.
        s.segments += std::popcount(block.lowX);
        s.moveNext = true;
        decodeAddress(s, a, p[block.length - 1] & 0x1F);
        p += block.length;
    }
}

void CPvgMeta::walkBytes()
{
    WalkState s;
    loadWalkState(s);
    AddressCollector a{hiX, hiY, loY, extra, 0, false};
    const unsigned char *p = cur;
    // An output that takes no segments needs only their count.
    const bool countOnly = sink == nullptr || !sink->takesSegments();

    for (;;) {
        const unsigned b = *p;
        // Coordinate bytes 0x20-0x7F: nearly every byte of a plot.
        if (b - 0x20u < 0x60u) {
            ++p;
            const int value = static_cast<int>(b & 0x1F);
            if ((b & 0x60) == 0x40) {
                // Low-X: the address is drawn when the next byte is taken,
                // which never happens when that byte is the NUL ending the walk.
                if (*p != kNul)
                    decodeAddress(s, a, value);
                a.length = 0;
                a.afterLowY = false;
                if (countOnly)
                    p = countAddressBlocks(s, a, p);
                // Most addresses of a plot are a Low-Y, or an Extra and a
                // Low-Y, then the Low-X: take those whole while they come,
                // with the same effect as byte by byte. Each byte read follows
                // a non-zero one, so the zero bytes after the data end it.
                while (pvgWalkFastPath) {
                    const unsigned c0 = p[0], c1 = p[1];
                    if ((c0 & 0xE0) != 0x60)
                        break;
                    if ((c1 & 0xE0) == 0x40 && p[2] != kNul) {
                        a.loY = static_cast<int>(c0 & 0x1F);
                        decodeAddress(s, a, static_cast<int>(c1 & 0x1F));
                        p += 2;
                    } else if ((c1 & 0xE0) == 0x60 && (p[2] & 0xE0) == 0x40 && p[3] != kNul) {
                        a.extra = static_cast<int>(c0 & 0x1F);
                        a.loY = static_cast<int>(c1 & 0x1F);
                        decodeAddress(s, a, static_cast<int>(p[2] & 0x1F));
                        p += 3;
                    } else {
                        break;
                    }
                }
                continue;
            }
            if (a.length == kAddressLimit)
                continue; // beyond the collector: dropped
            ++a.length;
            if (b >= 0x60) {
                a.extra = a.afterLowY ? a.loY : a.extra;
                a.loY = value;
                a.afterLowY = true;
            } else if (a.afterLowY) {
                a.hiX = value;
            } else {
                a.hiY = value;
            }
            continue;
        }
        switch (kByteClass[b]) {
        case ClassEsc:
            // Between commands everything the walk knows is in the members:
            // where a piece of a walk ends, or a pause is made.
            if (p == stopAt || (pauses != nullptr && s.segments - pausedAtSegments >= pauseEvery)) {
                storeWalkState(s);
                cur = p;
                if (p == stopAt || !pause())
                    return;
            }
            break;
        case ClassGs:
            ++p;
            s.moveNext = true;
            continue;
        case ClassEnd:
            storeWalkState(s);
            cur = p + 1;
            return;
        case ClassNul:
            storeWalkState(s);
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
            a = AddressCollector{hiX, hiY, loY, extra, 0, false};
            const ByteClass handedClass = kByteClass[handed];
            if (handedClass == ClassEsc) {
                storeWalkState(s);
                if (!readCommand())
                    return;
                loadWalkState(s);
            } else if (handedClass == ClassEnd) {
                storeWalkState(s);
                return;
            } else if (handedClass == ClassGs) {
                s.moveNext = true;
            } else if (handedClass >= ClassHigh) {
                if (handedClass == ClassLowX) {
                    if (*cur != kNul)
                        decodeAddress(s, a, static_cast<int>(handed & 0x1F));
                } else {
                    // A first address byte: High-Y or Low-Y.
                    a.length = 1;
                    if (handedClass == ClassHigh) {
                        a.hiY = static_cast<int>(handed & 0x1F);
                    } else {
                        a.loY = static_cast<int>(handed & 0x1F);
                        a.afterLowY = true;
                    }
                }
            }
            if (pendingByte == 0)
                break;
            if (*cur == kNul) {
                storeWalkState(s);
                return;
            }
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
