#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class QLocalSocket;

// The reply the viewer sends when it connects and after each handled message.
inline constexpr const char *kHostAcceptText = "vna-accept-connect";

// Opens a socket to the host's local server (no parent). A real connection is
// completed before this returns, and the greeting sent, so that it precedes the
// window; an empty name or a missing server leaves the socket unconnected.
QLocalSocket *connectToHostServer(const char *serverName);

// Sends one framed text when connected; after a quit request it also waits
// (bounded) until the text is out, since no event loop will write it later.
void sendHostText(QLocalSocket *socket, const QString &text);

// A received command line as words: split at every single space (two in a
// row give an empty word), at most 100 words, each whole.
std::vector<QByteArray> splitHostCommandLine(const QString &text);

// Handles every complete block buffered on the socket, in order, passing each
// text to handle. Event passes run between blocks, so a message arriving
// meanwhile is taken by this same loop; the loop ends when windowOpen (asked
// after every pass) says the window holding socket and blockSize is closed or
// gone, when the socket goes (it may be released during a pass, hence the
// reference), after a quit request, or when no complete block is left.
// blockSize keeps a size field already read across calls. With evenAfterQuit,
// a quit requested before the call does not stop it.
void takeHostMessages(const std::function<bool()> &windowOpen, QLocalSocket *&socket, quint16 &blockSize,
                      const std::function<void(const QString &)> &handle, bool evenAfterQuit = false);
