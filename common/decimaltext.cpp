#include "common/decimaltext.h"

bool isBlankChar(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char *skipBlanks(const char *text)
{
    while (isBlankChar(*text))
        ++text;
    return text;
}

const char *scanInt32(const char *text, int32_t &value)
{
    const char *p = skipBlanks(text);
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return nullptr;
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= INT32_MAX)
            magnitude = magnitude * 10 + (*p - '0');
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    value = static_cast<int32_t>(signedValue > INT32_MAX   ? INT32_MAX
                                 : signedValue < INT32_MIN ? INT32_MIN
                                                           : signedValue);
    return p;
}
