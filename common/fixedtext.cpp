#include "common/fixedtext.h"

#include <cstring>

bool copyText(char *dst, std::size_t capacity, const char *src)
{
    if (capacity == 0)
        return false;
    dst[0] = '\0';
    return appendText(dst, capacity, src);
}

bool appendText(char *dst, std::size_t capacity, const char *src)
{
    if (capacity == 0)
        return false;
    const std::size_t used = strnlen(dst, capacity - 1);
    if (src == nullptr) {
        dst[used] = '\0';
        return true;
    }
    const std::size_t length = std::strlen(src);
    const std::size_t room = capacity - 1 - used;
    const std::size_t taken = length < room ? length : room;
    std::memcpy(dst + used, src, taken);
    dst[used + taken] = '\0';
    return taken == length;
}
