#pragma once

// Whole addresses taken sixteen or thirty-two bytes at a time, for a walk
// whose output wants no segments (the first walk of a latest-first frame):
// such a walk only needs how many addresses a run of coordinate bytes holds
// and what the last of them leaves in the decoder, not each segment.

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The coordinate bytes at the start of a block, as bit masks by kind.
struct AddressBytes {
    uint32_t high = 0; // 0x20-0x3F
    uint32_t lowX = 0; // 0x40-0x5F
    uint32_t lowY = 0; // 0x60-0x7F
};

// The decoder's fields an address may set.
struct AddressFields {
    int hiX, hiY, loY, extra;
};

// A block's bytes up to its last Low-X, as masks of the bytes that set
// each field when walked byte by byte.
struct AddressBlock {
    uint32_t lowX = 0;   // the addresses' ends; none when the block starts no whole address
    uint32_t highX = 0;  // High bytes after a Low-Y of their address
    uint32_t highY = 0;  // the other High bytes
    uint32_t lowY = 0;
    uint32_t extra = 0;  // Low-Y bytes whose address had a Low-Y before them: it became the Extra
    uint32_t marks = 0;  // Low-X and Low-Y bytes
    int length = 0;      // bytes up to and including the last Low-X
};

#if defined(__SSE2__)
inline AddressBytes addressBytes16(const unsigned char *p)
{
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i kind = _mm_and_si128(bytes, _mm_set1_epi8(char(0xE0)));
    auto maskOf = [&](int top) {
        return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(kind, _mm_set1_epi8(char(top)))));
    };
    return AddressBytes{maskOf(0x20), maskOf(0x40), maskOf(0x60)};
}
#else
inline AddressBytes addressBytes16(const unsigned char *p)
{
    AddressBytes masks;
    for (int i = 0; i < 16; ++i) {
        const uint32_t bit = 1u << i;
        const unsigned kind = p[i] & 0xE0;
        masks.high |= kind == 0x20 ? bit : 0;
        masks.lowX |= kind == 0x40 ? bit : 0;
        masks.lowY |= kind == 0x60 ? bit : 0;
    }
    return masks;
}
#endif

// The block at p, which starts a new address: 32 bytes when wide, else 16,
// all of which must be readable; only the coordinate bytes before the first
// other byte count.
inline AddressBlock scanAddressBlock(const unsigned char *p, bool wide)
{
    AddressBytes m = addressBytes16(p);
    if (wide) {
        const AddressBytes upper = addressBytes16(p + 16);
        m.high |= upper.high << 16;
        m.lowX |= upper.lowX << 16;
        m.lowY |= upper.lowY << 16;
    }
    const uint32_t coordinate = m.high | m.lowX | m.lowY;
    // The bits below the first byte that is not a coordinate (all when none is).
    const uint32_t firstOther = ~coordinate & (coordinate + 1);
    AddressBlock block;
    block.lowX = m.lowX & (firstOther - 1);
    if (block.lowX == 0)
        return block;
    const int last = 31 - std::countl_zero(block.lowX);
    block.length = last + 1;
    // Bytes that follow a Low-Y of their own address: right after one, or
    // after High bytes that follow one. A carry added at the start of each
    // run of High bytes after a Low-Y clears the run and stops on the byte
    // after it. Carries only run to later bytes, so the bytes after the
    // first other one change nothing before it.
    const uint32_t before = (1u << last) - 1;
    const uint32_t afterLowY = m.lowY << 1;
    const uint32_t sum = m.high + (afterLowY & m.high);
    const uint32_t markAfterLowY = (afterLowY & ~m.high) | (sum & ~m.high);
    block.highX = m.high & ~sum & before;
    block.highY = m.high & sum & before;
    block.lowY = m.lowY & before;
    block.extra = m.lowY & markAfterLowY & before;
    block.marks = (m.lowX | m.lowY) & before;
    return block;
}

// The fields once the block at p is walked: the last byte of each kind sets
// its field; a field without one keeps its value.
inline AddressFields fieldsAfter(const AddressBlock &block, const unsigned char *p, AddressFields fields)
{
    auto highest = [](uint32_t bits) { return 31 - std::countl_zero(bits | 1); };
    auto lastOf = [&](uint32_t bits, int kept) {
        const int value = p[highest(bits)] & 0x1F;
        return bits != 0 ? value : kept;
    };
    fields.hiX = lastOf(block.highX, fields.hiX);
    fields.hiY = lastOf(block.highY, fields.hiY);
    fields.loY = lastOf(block.lowY, fields.loY);
    // The Extra is the Low-Y before the last such Low-Y, the mark before it.
    const uint32_t earlier = block.marks & ((1u << highest(block.extra)) - 1);
    fields.extra = lastOf(block.extra != 0 ? earlier : 0, fields.extra);
    return fields;
}
