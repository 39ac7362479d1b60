// Feeds an arbitrary byte stream, followed by a few well-formed blocks, through
// the host block reader in arbitrary pieces, on a sequential device as a socket
// is. Every text the reader returns must be the one an independent decoding
// of the stream by its size and length fields gives, in order; so whenever the
// arbitrary bytes end on a block boundary, the well-formed blocks after them
// come out whole. Each text is also split into words within the word table's limit.
#include "hostlink/hostconnection.h"
#include "hostlink/hostframing.h"

#include <QIODevice>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzzcheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A read-only sequential device that is handed its bytes piece by piece.
class FeedDevice final : public QIODevice
{
public:
    explicit FeedDevice(bool buffered)
    {
        open(buffered ? QIODevice::ReadOnly : QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    void feed(const unsigned char *bytes, std::size_t count)
    {
        pending.insert(pending.end(), bytes, bytes + count);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return qint64(pending.size() - offset) + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = std::min<qint64>(maxSize, qint64(pending.size() - offset));
        if (count <= 0)
            return 0;
        std::memcpy(data, pending.data() + offset, std::size_t(count));
        offset += std::size_t(count);
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::vector<unsigned char> pending;
    std::size_t offset = 0;
};

unsigned readBig16(const unsigned char *p)
{
    return unsigned(p[0]) << 8 | p[1];
}

uint32_t readBig32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The stream decoded independently: a block is its size field's bytes, or
// its text's when the text's own length (even, not null, one a block can
// hold) reaches further; blocks that cannot hold a text are passed over.
// pendingSize is the size field of a block still incomplete.
struct Decoded {
    std::vector<QString> texts;
    std::size_t boundary = 0; // end of the last complete block
    unsigned pendingSize = 0;
};

bool holdsText(uint32_t length)
{
    return length != 0xFFFFFFFFu && (length & 1u) == 0 && length <= 0xFFFFu - 4;
}

Decoded decodeStream(const std::vector<unsigned char> &stream)
{
    Decoded out;
    std::size_t at = 0;
    for (;;) {
        out.boundary = at;
        if (stream.size() - at < 2)
            return out;
        const unsigned size = readBig16(&stream[at]);
        if (size == 0) {
            at += 2;
            continue;
        }
        const std::size_t available = stream.size() - at - 2;
        std::size_t extent = size;
        if (size >= 4) {
            if (available < 4) {
                out.pendingSize = size;
                return out;
            }
            const uint32_t length = readBig32(&stream[at + 2]);
            if (holdsText(length))
                extent = std::max<std::size_t>(size, 4 + std::size_t(length));
        }
        if (available < extent) {
            out.pendingSize = size;
            return out;
        }
        const unsigned char *body = &stream[at + 2];
        at += 2 + extent;
        if (size < 4)
            continue;
        const uint32_t length = readBig32(body);
        if (length == 0xFFFFFFFFu) {
            out.texts.emplace_back();
            continue;
        }
        if (!holdsText(length))
            continue;
        QString text;
        for (uint32_t i = 0; i < length; i += 2)
            text.append(QChar(char16_t(readBig16(body + 4 + i))));
        out.texts.push_back(text);
    }
}

void appendBlock(std::vector<unsigned char> &stream, const QString *text)
{
    const uint32_t length = text == nullptr ? 0xFFFFFFFFu : uint32_t(text->size() * 2);
    const unsigned size = 4 + (text == nullptr ? 0 : length);
    const unsigned char head[6] = {uint8_t(size >> 8), uint8_t(size),        uint8_t(length >> 24),
                                   uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length)};
    const std::size_t start = stream.size();
    stream.insert(stream.end(), head, head + 6);
    if (text != nullptr) {
        for (QChar c : *text) {
            stream.push_back(uint8_t(c.unicode() >> 8));
            stream.push_back(uint8_t(c.unicode()));
        }
        const QByteArray encoded = encodeHostBlock(*text);
        check(encoded.size() == qsizetype(stream.size() - start)
                  && std::memcmp(encoded.constData(), &stream[start], std::size_t(encoded.size())) == 0,
              "the block encoder disagrees with the wire format");
    }
}

const QString &tailText(int which)
{
    static const QString texts[] = {
        QStringLiteral("plot.pvg -p"),
        QStringLiteral("vna-accept-connect"),
        QString(),
        QStringLiteral("r\u00e9sum\u00e9 \u20ac \U0001D11E -c=2 -cf=out -q"),
        QString(32765, QLatin1Char('w')), // the longest text a block holds
    };
    return texts[which];
}

std::size_t takeAll(FeedDevice &device, quint16 &blockSize, std::vector<QString> &texts, bool once)
{
    std::size_t taken = 0;
    QString text;
    while (takeHostBlock(&device, blockSize, text)) {
        texts.push_back(text);
        ++taken;
        if (once)
            break;
    }
    return taken;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    uint64_t seed = provider.ConsumeIntegral<uint64_t>();
    const uint8_t tailChoice = provider.ConsumeIntegral<uint8_t>();
    const std::vector<unsigned char> garbage = provider.ConsumeRemainingBytes<unsigned char>();

    std::vector<unsigned char> stream = garbage;
    std::vector<QString> tail;
    for (int i = 0; i < 3; ++i) {
        const int which = (tailChoice >> (2 * i)) & 3;
        // The longest text only now and then: it costs a 64 KiB block.
        const int pick = which == 3 && (tailChoice & 0xC0) == 0xC0 && i == 0 ? 4 : which;
        tail.push_back(tailText(pick));
        appendBlock(stream, pick == 2 ? nullptr : &tail.back());
    }

    const Decoded expected = decodeStream(stream);
    const Decoded garbageAlone = decodeStream(garbage);
    if (garbageAlone.boundary == garbage.size() && garbageAlone.pendingSize == 0) {
        check(expected.texts.size() >= tail.size(), "blocks after a boundary were lost");
        for (std::size_t i = 0; i < tail.size(); ++i)
            check(expected.texts[expected.texts.size() - tail.size() + i] == tail[i], "the decoding misreads a block");
    }

    // Pieces of 1 up to a limit chosen by the seed; one block per
    // notification, as the viewer reads, or all there are.
    static const std::size_t limits[] = {1, 2, 3, 5, 16, 100, 4096, 70000};
    const std::size_t limit = limits[seed & 7];
    const bool onePerPiece = (seed & 8) != 0;
    FeedDevice device((seed & 16) != 0);
    quint16 blockSize = 0;
    std::vector<QString> texts;
    for (std::size_t at = 0; at < stream.size();) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        const std::size_t piece = std::min<std::size_t>(stream.size() - at, 1 + seed % limit);
        device.feed(&stream[at], piece);
        at += piece;
        takeAll(device, blockSize, texts, onePerPiece);
    }
    takeAll(device, blockSize, texts, false);

    check(texts.size() == expected.texts.size(), "the reader lost or invented a block");
    for (std::size_t i = 0; i < texts.size(); ++i)
        check(texts[i] == expected.texts[i], "the reader returned a different text");
    check(blockSize == expected.pendingSize, "the reader is out of step with the size fields");
    const qint64 unread = qint64(stream.size() - expected.boundary) - (expected.pendingSize != 0 ? 2 : 0);
    check(device.bytesAvailable() == unread, "the reader took bytes beyond the last complete block");

    for (const QString &text : texts) {
        const std::vector<QByteArray> words = splitHostCommandLine(text);
        check(!words.empty() && words.size() <= 100, "the word table overflows");
    }
    return 0;
}
