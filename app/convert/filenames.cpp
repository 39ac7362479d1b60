#include "app/convert/filenames.h"

#include <cstring>

namespace {
constexpr char16_t kEscapedByte = 0xDC00;

// The code point of the UTF-8 sequence at text, and its length; 0 when the
// bytes there are not one (a stray byte, an overlong form, a surrogate, past
// U+10FFFF, or cut off).
int decodeUtf8(const unsigned char *text, std::size_t available, char32_t &codePoint)
{
    const unsigned char lead = text[0];
    int length = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (available < std::size_t(length))
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (text[i] & 0x3F);
    }
    if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void appendUtf8(QByteArray &bytes, char32_t codePoint)
{
    if (codePoint < 0x80) {
        bytes += char(codePoint);
    } else if (codePoint < 0x800) {
        bytes += char(0xC0 | codePoint >> 6);
        bytes += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        bytes += char(0xE0 | codePoint >> 12);
        bytes += char(0x80 | (codePoint >> 6 & 0x3F));
        bytes += char(0x80 | (codePoint & 0x3F));
    } else {
        bytes += char(0xF0 | codePoint >> 18);
        bytes += char(0x80 | (codePoint >> 12 & 0x3F));
        bytes += char(0x80 | (codePoint >> 6 & 0x3F));
        bytes += char(0x80 | (codePoint & 0x3F));
    }
}
} // namespace

QString wordFromArgument(const char *argument)
{
    const auto *text = reinterpret_cast<const unsigned char *>(argument);
    const std::size_t size = std::strlen(argument);
    QString word;
    word.reserve(qsizetype(size));
    for (std::size_t at = 0; at < size;) {
        char32_t codePoint = 0;
        const int length = text[at] < 0x80 ? 1 : decodeUtf8(text + at, size - at, codePoint);
        if (length == 0) {
            word += QChar(char16_t(kEscapedByte + text[at]));
            ++at;
            continue;
        }
        if (length == 1)
            codePoint = text[at];
        if (codePoint < 0x10000) {
            word += QChar(char16_t(codePoint));
        } else {
            word += QChar(QChar::highSurrogate(codePoint));
            word += QChar(QChar::lowSurrogate(codePoint));
        }
        at += std::size_t(length);
    }
    return word;
}

QByteArray fileSystemName(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < name.size() && QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, name.at(i + 1).unicode()));
            ++i;
        } else if (unit >= kEscapedByte + 0x80 && unit <= kEscapedByte + 0xFF) {
            bytes += char(unit - kEscapedByte);
        } else {
            // Any other lone surrogate cannot come from a name; write what
            // the toolkit would.
            appendUtf8(bytes, QChar::isSurrogate(unit) ? char32_t(0xFFFD) : char32_t(unit));
        }
    }
    return bytes;
}
