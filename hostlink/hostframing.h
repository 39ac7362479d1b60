#pragma once

#include <QByteArray>
#include <QString>

// One host block: a big-endian 16-bit size of what follows, then the text as
// a data-stream QString (32-bit byte length, UTF-16BE), stream version Qt_4_0.
QByteArray encodeHostBlock(const QString &text);

// Reads the text from a block body (the bytes after the size field). A null
// text (length 0xFFFFFFFF) comes back empty. Returns false when the body
// cannot hold a text: shorter than the length field, an odd byte length, or a
// length reaching beyond the body. Bytes after the text are ignored.
bool decodeHostBlockText(const QByteArray &body, QString &text);
