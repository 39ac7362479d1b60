#pragma once

#include <QByteArray>
#include <QString>

// One host block: a big-endian 16-bit size of what follows, then the text as
// a data-stream QString (32-bit byte length, UTF-16BE), stream version Qt_4_0.
QByteArray encodeHostBlock(const QString &text);
