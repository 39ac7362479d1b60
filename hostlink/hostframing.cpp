#include "hostlink/hostframing.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>

namespace {
constexpr quint32 kNullTextLength = 0xFFFFFFFFu;
constexpr int kLengthFieldSize = 4;
// The most text bytes a block can hold: the size field is 16 bits.
constexpr quint32 kLongestText = 0xFFFFu - kLengthFieldSize;

// How many bytes after the size field the block takes, or -1 while its text's
// length has not arrived. The text is read by its own length, so a size field
// that falls short of it still ends the block after the text; one that goes
// beyond it ends the block where it says. A length no block could hold, an odd
// one or a null text leave the size field to decide.
qint64 blockExtent(QIODevice *socket, quint16 blockSize)
{
    if (blockSize < kLengthFieldSize)
        return blockSize;
    if (socket->bytesAvailable() < kLengthFieldSize)
        return -1;
    const QByteArray field = socket->peek(kLengthFieldSize);
    if (field.size() < kLengthFieldSize)
        return -1;
    const quint32 length = qFromBigEndian<quint32>(field.constData());
    if (length == kNullTextLength || (length & 1u) != 0 || length > kLongestText)
        return blockSize;
    return std::max<qint64>(blockSize, kLengthFieldSize + qint64(length));
}
} // namespace

QByteArray encodeHostBlock(const QString &text)
{
    QByteArray block;
    QDataStream out(&block, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_4_0);
    out << quint16(0) << text;
    // The size field counts what follows it; fill it in now that it is known.
    out.device()->seek(0);
    out << quint16(block.size() - 2);
    return block;
}

bool decodeHostBlockText(const QByteArray &body, QString &text)
{
    text.clear();
    if (body.size() < kLengthFieldSize)
        return false;

    QDataStream in(body);
    in.setVersion(QDataStream::Qt_4_0);
    quint32 length = 0;
    in >> length;
    if (length == kNullTextLength)
        return true;
    // Checked before the stream reads it, so a lying length never reads on.
    if ((length & 1u) != 0 || length > quint32(body.size() - kLengthFieldSize))
        return false;

    in.device()->seek(0);
    in >> text;
    if (in.status() != QDataStream::Ok) {
        text.clear();
        return false;
    }
    return true;
}

bool takeHostBlock(QIODevice *socket, quint16 &blockSize, QString &text)
{
    for (;;) {
        if (blockSize == 0) {
            if (socket->bytesAvailable() < qint64(sizeof(quint16)))
                return false;
            QDataStream in(socket);
            in.setVersion(QDataStream::Qt_4_0);
            in >> blockSize;
            if (blockSize == 0)
                continue; // nothing follows an empty size field
        }
        // Wait for the whole block: a text read half would lose the rest.
        const qint64 extent = blockExtent(socket, blockSize);
        if (extent < 0 || socket->bytesAvailable() < extent)
            return false;
        const QByteArray body = socket->read(extent);
        blockSize = 0;
        if (decodeHostBlockText(body, text))
            return true;
    }
}
