#include "tests/hostlink/hostpeer.h"

#include "tests/support/pvgwriter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QThread>
#include <QUuid>

namespace {

void appendBigEndian(QByteArray &bytes, quint64 value, int width)
{
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
}

} // namespace

QByteArray expectedAcceptBlock()
{
    QByteArray block = QByteArray::fromHex("0028" "00000024");
    for (const char c : QByteArray("vna-accept-connect")) {
        block.append('\0');
        block.append(c);
    }
    return block;
}

HostPeer::HostPeer()
{
    const QString name = QStringLiteral("kelvo-host-") + QUuid::createUuid().toString(QUuid::Id128);
    QLocalServer::removeServer(name);
    server.listen(name);
}

HostPeer::~HostPeer()
{
    if (kelvo.state() != QProcess::NotRunning) {
        kelvo.kill();
        kelvo.waitForFinished(5000);
    }
    delete connection;
}

bool HostPeer::writeDrawing(const QString &name) const
{
    PvgWriter writer;
    writer.lineColour(1).lineWidth(2).moveTo(100, 100).lineTo(4000, 3000).lineTo(4000, 100).end();
    return writer.writeFile(pathOf(name).toStdString());
}

bool HostPeer::start(const QStringList &words, bool withServer)
{
    const QString binary = qEnvironmentVariable("KELVO_BINARY");
    if (binary.isEmpty())
        return false;
    QStringList arguments = words;
    if (withServer)
        arguments << QStringLiteral("-svrname=") + server.serverName();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), scratch.path());
    // No print system: a print command opens no printer and prints nothing.
    environment.insert(QStringLiteral("CUPS_SERVER"), scratch.filePath(QStringLiteral("no-cups.sock")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    kelvo.setProcessEnvironment(environment);
    kelvo.setWorkingDirectory(scratch.path());
    kelvo.setProcessChannelMode(QProcess::ForwardedChannels);
    kelvo.start(binary, arguments);
    return kelvo.waitForStarted(10000);
}

bool HostPeer::hasPendingConnection(int waitMs)
{
    return server.hasPendingConnections() || server.waitForNewConnection(waitMs);
}

bool HostPeer::acceptConnection(int timeoutMs)
{
    if (!hasPendingConnection(timeoutMs))
        return false;
    connection = server.nextPendingConnection();
    if (connection == nullptr)
        return false;
    connection->setParent(nullptr);
    return true;
}

void HostPeer::hangUp()
{
    if (connection == nullptr)
        return;
    connection->disconnectFromServer();
    if (connection->state() != QLocalSocket::UnconnectedState)
        connection->waitForDisconnected(5000);
}

QByteArray HostPeer::frame(const QString &text)
{
    QByteArray block;
    appendBigEndian(block, quint64(4 + 2 * text.size()), 2);
    appendBigEndian(block, quint64(2 * text.size()), 4);
    for (const QChar c : text)
        appendBigEndian(block, c.unicode(), 2);
    return block;
}

bool HostPeer::sendRaw(const QByteArray &bytes)
{
    if (connection == nullptr)
        return false;
    connection->write(bytes);
    return connection->waitForBytesWritten(5000) || connection->bytesToWrite() == 0;
}

QByteArray HostPeer::readBytes(qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    if (connection == nullptr)
        return bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count) {
        bytes += connection->read(count - bytes.size());
        if (bytes.size() == count)
            break;
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || !connection->waitForReadyRead(int(left))) {
            bytes += connection->read(count - bytes.size());
            break;
        }
    }
    return bytes;
}

QByteArray HostPeer::readBlock(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    const QByteArray sizeField = readBytes(2, timeoutMs);
    if (sizeField.size() < 2)
        return {};
    const int size = (quint8(sizeField[0]) << 8) | quint8(sizeField[1]);
    const QByteArray rest = readBytes(size, int(qMax<qint64>(1, deadline.remainingTime())));
    if (rest.size() < size)
        return {};
    return sizeField + rest;
}

bool HostPeer::staysSilent(int waitMs)
{
    if (connection == nullptr)
        return true;
    if (connection->bytesAvailable() > 0)
        return false;
    connection->waitForReadyRead(waitMs);
    return connection->bytesAvailable() == 0;
}

bool HostPeer::finishesBy(int timeoutMs)
{
    return kelvo.state() == QProcess::NotRunning || kelvo.waitForFinished(timeoutMs);
}
