#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// One host block: a big-endian 16-bit size of what follows, then the text as
// a data-stream QString (32-bit byte length, UTF-16BE), stream version Qt_4_0.
QByteArray encodeHostBlock(const QString &text);

// Reads the text from a block body (the bytes after the size field). A null
// text (length 0xFFFFFFFF) comes back empty. Returns false when the body
// cannot hold a text: shorter than the length field, an odd byte length, or a
// length reaching beyond the body. Bytes after the text are ignored.
bool decodeHostBlockText(const QByteArray &body, QString &text);

// Takes the next complete, well-formed block from what the device has buffered.
// Returns false when no complete block is there yet (blockSize then keeps a size
// already read). The text is read by its own length, even where the size field
// falls short of it; bytes the size field counts beyond the text are dropped.
// Blocks that cannot hold a text (a size under 4, an odd length, a length no
// block could hold) are consumed by their size field and skipped.
bool takeHostBlock(QIODevice *socket, quint16 &blockSize, QString &text);
