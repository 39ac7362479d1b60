// The window's side of the host link: what a host message means.
#include "app/appwindow.h"

#include "app/commandline.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "common/quitrequest.h"
#include "hostlink/hostconnection.h"
#include "view/drawview.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QPointer>

#include <vector>

namespace {
// Set once the event loop runs (hostStartupComplete). Until then messages
// wait: the Open dialog may run before the view exists, and the start-up
// command chain must act on the command line's document alone.
bool startupComplete = false;

// Neither deleted nor closed (a closed window waits for its deletion).
bool stillOpen(const QPointer<AppWindow> &window)
{
    return window != nullptr && !window->closed();
}
} // namespace

void AppWindow::connectToHost()
{
    blockSize = 0;
    socket = connectToHostServer(serverName);
    connect(socket, &QLocalSocket::readyRead, this, &AppWindow::readData);
}

void AppWindow::sendToHost(QString text)
{
    sendHostText(socket, text);
}

void AppWindow::handleHostMessage(const QString &text)
{
    // The window may be closed in any event pass or box from here on (and
    // deleted in a later one); its message then ends with it, unanswered.
    const QPointer<AppWindow> alive(this);
    // The previous message's temporary file is done with now.
    deleteTemporaryDocument();

    const std::vector<QByteArray> words = splitHostCommandLine(text);
    std::vector<const char *> pointers;
    pointers.reserve(words.size());
    for (const QByteArray &word : words)
        pointers.push_back(word.constData());
    parseCommandLine(int(pointers.size()), pointers.data(), 0);
    if (!stillOpen(alive))
        return;

    if (CurrentDocument.path[0] == '\0')
        return; // options stored, nothing to load, no reply

    // A copy: loading rewrites CurrentDocument.path while it uses the name.
    const QByteArray path(CurrentDocument.path);
    load(path.constData());
    QCoreApplication::processEvents();
    if (stillOpen(alive) && view != nullptr)
        view->PostCmdargDone(NoCommandFinished);
    if (stillOpen(alive))
        sendToHost(QString::fromLatin1(kHostAcceptText));
}

void AppWindow::readData()
{
    takeWaitingMessages(false);
}

void AppWindow::takeWaitingMessages(bool evenAfterQuit)
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
    const QPointer<AppWindow> alive(this);
    takeHostMessages([alive] { return stillOpen(alive); }, socket, blockSize,
                     [this](const QString &text) { handleHostMessage(text); }, evenAfterQuit);
    if (alive != nullptr)
        handlingHostMessage = false;
}

void AppWindow::hostStartupComplete()
{
    startupComplete = true;
    // A start-up chain that asked to quit (-q) has run its commands; messages
    // that came meanwhile still run theirs, and are answered, before the end.
    takeWaitingMessages(quitRequested());
}

void AppWindow::deleteSocket()
{
    if (socket != nullptr)
        socket->deleteLater();
    socket = nullptr;
}
