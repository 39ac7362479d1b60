#include "stream/signature.h"

#include <cstring>

const unsigned char pvgSignature[kPvgSignatureLength] = {
    0x1B, 'T', 'G', '1', '4', '0', '0', '0', '0', 0x1B, 'T', 'G', '1', '4', '1', '0',
};

bool hasPvgSignature(const unsigned char *data, long long size)
{
    return data != nullptr && size >= static_cast<long long>(kPvgSignatureLength)
        && std::memcmp(data, pvgSignature, kPvgSignatureLength) == 0;
}
