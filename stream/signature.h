#pragma once

#include <cstddef>

// Every PVG file starts with these 16 bytes: ESC "TG140000" ESC "TG1410",
// two colour-map entries of which the first is black.
inline constexpr std::size_t kPvgSignatureLength = 16;
extern const unsigned char pvgSignature[kPvgSignatureLength];

// True when the first 16 bytes of data are the signature; shorter data never is.
bool hasPvgSignature(const unsigned char *data, long long size);
