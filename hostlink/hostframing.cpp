#include "hostlink/hostframing.h"

#include <QDataStream>
#include <QIODevice>

namespace {
constexpr quint32 kNullTextLength = 0xFFFFFFFFu;
constexpr int kLengthFieldSize = 4;
}

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
        if (socket->bytesAvailable() < blockSize)
            return false;
        const QByteArray body = socket->read(blockSize);
        blockSize = 0;
        if (decodeHostBlockText(body, text))
            return true;
    }
}
