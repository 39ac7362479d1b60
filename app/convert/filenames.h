#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes, and not every name is UTF-8 (files from older
// systems, archives). The toolkit decodes the command line as UTF-8 and
// replaces what is not, which names another file or none. These two carry
// any name through a QString unchanged: each byte that is not part of UTF-8
// becomes an unpaired surrogate, U+DC80 to U+DCFF, and turns back into
// itself.
QString wordFromArgument(const char *argument);
QByteArray fileSystemName(const QString &name);
