#include "common/fixedtext.h"

#include <cstring>

bool copyText(char *dst, std::size_t capacity, const char *src)
{
    if (capacity == 0)
        return false;
    dst[0] = '\0';
    if (src == nullptr)
        return true;
    const std::size_t length = std::strlen(src);
    const std::size_t taken = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(dst, src, taken);
    dst[taken] = '\0';
    return taken == length;
}
