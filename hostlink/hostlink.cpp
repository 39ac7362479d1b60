#include "app/appwindow.h"

#include "app/commandline.h"
#include "app/optionstate.h"
#include "app/postcommands.h"
#include "commands/currentdocument.h"
#include "hostlink/hostframing.h"
#include "view/drawview.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QLocalSocket>
#include <QStringList>

#include <vector>

namespace {

const QString kAcceptText = QStringLiteral("vna-accept-connect");

// The greeting must be out before the window shows; a host that does not
// answer within this bound is treated as absent.
constexpr int kConnectWaitMs = 2000;
// Bound for pushing the last reply out when the process is about to end.
constexpr int kFinalWriteWaitMs = 2000;

// A received command line is parsed from a table of this many words, each a
// text buffer; longer lines and words are cut to fit.
constexpr int kMostWords = 100;
constexpr int kLongestWord = int(kTextBufferSize) - 1;

// Set once the event loop runs (hostStartupComplete). Until then messages wait: the Open dialog may run before the view exists, and the
// start-up command chain must act on the command line's document alone.
bool startupComplete = false;

// Cuts a word to what a text buffer holds without splitting a multi-byte
// character.
QByteArray fitWord(const QString &word)
{
    QByteArray bytes = word.toLocal8Bit();
    if (bytes.size() <= kLongestWord)
        return bytes;
    qsizetype end = kLongestWord;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
        --end;
    bytes.truncate(end);
    return bytes;
}

// Words are separated by every single space; two in a row give an empty word.
std::vector<QByteArray> splitCommandLine(const QString &text)
{
    std::vector<QByteArray> words;
    const QStringList parts = text.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    for (const QString &part : parts) {
        if (int(words.size()) == kMostWords)
            break;
        words.push_back(fitWord(part));
    }
    return words;
}

void handleHostMessage(AppWindow *window, const QString &text)
{
    // The previous message's temporary file is done with now.
    window->deleteTemporaryDocument();

    const std::vector<QByteArray> words = splitCommandLine(text);
    std::vector<const char *> pointers;
    pointers.reserve(words.size());
    for (const QByteArray &word : words)
        pointers.push_back(word.constData());
    parseCommandLine(int(pointers.size()), pointers.data(), 0);

    if (CurrentDocument.path[0] == '\0')
        return; // options stored, nothing to load, no reply

    // A copy: loading rewrites CurrentDocument.path while it uses the name.
    const QByteArray path(CurrentDocument.path);
    window->load(path.constData());
    QCoreApplication::processEvents();
    if (mainView != nullptr)
        mainView->PostCmdargDone(NoCommandFinished);
    window->sendToHost(kAcceptText);
}

} // namespace

void AppWindow::connectToHost()
{
    blockSize = 0;
    socket = new QLocalSocket();
    socket->connectToServer(QString::fromLocal8Bit(serverName), QIODevice::ReadWrite);
    connect(socket, &QLocalSocket::readyRead, this, &AppWindow::readData);
    // An empty name or a missing server fails at once; a real connection is
    // completed here so the greeting goes out before the window is shown.
    if (socket->state() == QLocalSocket::ConnectingState)
        socket->waitForConnected(kConnectWaitMs);
    if (socket->isOpen())
        sendToHost(kAcceptText);
}

void AppWindow::sendToHost(QString text)
{
    if (socket == nullptr || !socket->isOpen()
        || socket->state() != QLocalSocket::ConnectedState)
        return;
    socket->write(encodeHostBlock(text));
    socket->flush();
    // After a quit request no event loop will write what is still buffered.
    if (quitRequested() && socket->bytesToWrite() > 0)
        socket->waitForBytesWritten(kFinalWriteWaitMs);
}

void AppWindow::readData()
{
    if (socket == nullptr)
        return;
    // A message that comes while another is being handled (inside its event
    // passes or a modal box), or before start-up is over, waits in the socket
    // buffer; the running handler, or the call made once start-up is done,
    // takes it from there.
    if (handlingHostMessage || !startupComplete)
        return;

    handlingHostMessage = true;
    for (;;) {
        QCoreApplication::processEvents();
        if (socket == nullptr || quitRequested())
            break;
        QString text;
        if (!takeHostBlock(socket, blockSize, text))
            break;
        handleHostMessage(this, text);
    }
    handlingHostMessage = false;
}

void AppWindow::hostStartupComplete()
{
    startupComplete = true;
    readData();
}

void AppWindow::deleteSocket()
{
    if (socket != nullptr)
        socket->deleteLater();
    socket = nullptr;
}
