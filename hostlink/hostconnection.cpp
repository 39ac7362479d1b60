#include "hostlink/hostconnection.h"

#include "common/quitrequest.h"
#include "hostlink/hostframing.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QStringList>

namespace {

// A host that does not answer within this bound is treated as absent.
constexpr int kConnectWaitMs = 2000;
// Bound for pushing the last reply out when the process is about to end.
constexpr int kFinalWriteWaitMs = 2000;

// A received command line is parsed from a table of this many words; longer
// lines are cut to fit. Words are kept whole: a document name or -cf= too long
// for its buffer is refused there (cut, it could name another file).
constexpr int kMostWords = 100;

} // namespace

QLocalSocket *connectToHostServer(const char *serverName)
{
    auto *socket = new QLocalSocket();
    socket->connectToServer(QString::fromLocal8Bit(serverName), QIODevice::ReadWrite);
    if (socket->state() == QLocalSocket::ConnectingState)
        socket->waitForConnected(kConnectWaitMs);
    // A host with no room for us now is given up for good: left connecting,
    // the socket would join it later, ungreeted.
    if (socket->state() != QLocalSocket::ConnectedState)
        socket->abort();
    if (socket->isOpen())
        sendHostText(socket, QString::fromLatin1(kHostAcceptText));
    return socket;
}

void sendHostText(QLocalSocket *socket, const QString &text)
{
    if (socket == nullptr || !socket->isOpen()
        || socket->state() != QLocalSocket::ConnectedState)
        return;
    socket->write(encodeHostBlock(text));
    socket->flush();
    if (quitRequested() && socket->bytesToWrite() > 0)
        socket->waitForBytesWritten(kFinalWriteWaitMs);
}

std::vector<QByteArray> splitHostCommandLine(const QString &text)
{
    std::vector<QByteArray> words;
    const QStringList parts = text.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    for (const QString &part : parts) {
        if (int(words.size()) == kMostWords)
            break;
        words.push_back(part.toLocal8Bit());
    }
    return words;
}

void takeHostMessages(const std::function<bool()> &windowOpen, QLocalSocket *&socket, quint16 &blockSize,
                      const std::function<void(const QString &)> &handle, bool evenAfterQuit)
{
    const bool quitBefore = evenAfterQuit && quitRequested();
    for (;;) {
        QCoreApplication::processEvents();
        if (!windowOpen() || socket == nullptr || (quitRequested() && !quitBefore))
            return;
        QString text;
        if (!takeHostBlock(socket, blockSize, text))
            return;
        handle(text);
    }
}
