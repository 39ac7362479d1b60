#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// Plays the host for one kelvo process: listens on a local server, starts the
// real binary in a scratch directory and talks to it in raw blocks. Frames
// are built here byte by byte, independently of kelvo's own code.
class HostPeer
{
public:
    HostPeer();
    ~HostPeer();

    QString pathOf(const QString &name) const { return scratch.filePath(name); }
    bool writeDrawing(const QString &name) const;

    // Starts kelvo with the given words (and -svrname= when withServer), with
    // no print system, and, with a server, takes its connection.
    bool start(const QStringList &words, bool withServer = true);
    bool hasPendingConnection(int waitMs) { return server.waitForNewConnection(waitMs); }
    void hangUp() { connection->disconnectFromServer(); }

    static QByteArray frame(const QString &text);
    bool sendRaw(const QByteArray &bytes);
    bool send(const QString &text) { return sendRaw(frame(text)); }

    // Reads exactly count bytes; returns what arrived before the time-out.
    QByteArray readBytes(qsizetype count, int timeoutMs = 15000);
    bool replyArrives() { return readBytes(42) == acceptBlock(); }
    // True when nothing at all arrives within waitMs.
    bool staysSilent(int waitMs = 1500);

    bool finishesBy(int timeoutMs) { return kelvo.state() == QProcess::NotRunning || kelvo.waitForFinished(timeoutMs); }
    QProcess kelvo;

    // "vna-accept-connect" as 42 bytes: size 40, text length 36, UTF-16BE.
    static QByteArray acceptBlock();

private:
    QTemporaryDir scratch;
    QLocalServer server;
    QLocalSocket *connection = nullptr;
};
