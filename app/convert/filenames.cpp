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
    // Runs between escaped bytes are encoded as the toolkit encodes names.
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        const char16_t unit = i < name.size() ? name.at(i).unicode() : 0;
        // A pair's second half may fall in the same range; it is no byte.
        const bool escaped = unit >= kEscapedByte + 0x80 && unit <= kEscapedByte + 0xFF
                             && !(i > 0 && QChar::isHighSurrogate(name.at(i - 1).unicode()));
        if (!escaped && i < name.size())
            continue;
        bytes += QStringView(name).sliced(runStart, i - runStart).toUtf8();
        if (escaped)
            bytes += char(unit - kEscapedByte);
        runStart = i + 1;
    }
    return bytes;
}
