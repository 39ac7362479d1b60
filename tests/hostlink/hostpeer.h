#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QString>
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

    bool listening() const { return server.isListening(); }
    QString dir() const { return scratch.path(); }
    QString pathOf(const QString &name) const { return scratch.filePath(name); }
    // Writes a small valid drawing into the scratch directory.
    bool writeDrawing(const QString &name) const;

    // Starts kelvo with the given words; withServer adds -svrname=.
    bool start(const QStringList &words, bool withServer = true);
    // Waits for kelvo to connect; false on time-out.
    bool acceptConnection(int timeoutMs = 15000);
    bool hasPendingConnection(int waitMs);
    // Closes the host's end of the connection.
    void hangUp();

    // The frame of a text as the host writes it.
    static QByteArray frame(const QString &text);
    bool sendRaw(const QByteArray &bytes);
    bool send(const QString &text) { return sendRaw(frame(text)); }

    // Reads exactly count bytes; returns what arrived before the time-out.
    QByteArray readBytes(qsizetype count, int timeoutMs);
    // Reads one whole block (size field included); empty on time-out.
    QByteArray readBlock(int timeoutMs = 15000);
    // True when nothing at all arrives within waitMs.
    bool staysSilent(int waitMs);

    bool finishesBy(int timeoutMs);
    QProcess &process() { return kelvo; }

private:
    QTemporaryDir scratch;
    QLocalServer server;
    QLocalSocket *connection = nullptr;
    QProcess kelvo;
};

// "vna-accept-connect" as 42 bytes: size 40, text length 36, UTF-16BE.
QByteArray expectedAcceptBlock();
