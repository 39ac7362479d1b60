#include "tests/hostlink/hostpeer.h"

#include "tests/support/pvgwriter.h"

#include <QDeadlineTimer>
#include <QUuid>

QByteArray HostPeer::acceptBlock()
{
    QByteArray block = QByteArray::fromHex("002800000024");
    for (const char c : QByteArray("vna-accept-connect"))
        block.append('\0').append(c);
    return block;
}

HostPeer::HostPeer()
{
    server.listen(QStringLiteral("kelvo-host-") + QUuid::createUuid().toString(QUuid::Id128));
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
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", scratch.path());
    environment.insert("CUPS_SERVER", pathOf("no-cups.sock"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    kelvo.setProcessEnvironment(environment);
    kelvo.setWorkingDirectory(scratch.path());
    kelvo.setProcessChannelMode(QProcess::ForwardedChannels);
    kelvo.start(qEnvironmentVariable("KELVO_BINARY"),
                words + (withServer ? QStringList{"-svrname=" + server.serverName()} : QStringList{}));
    if (!server.isListening() || !kelvo.waitForStarted(10000))
        return false;
    if (!withServer)
        return true;
    if (!server.waitForNewConnection(15000) || (connection = server.nextPendingConnection()) == nullptr)
        return false;
    connection->setParent(nullptr);
    return true;
}

QByteArray HostPeer::frame(const QString &text)
{
    const auto bigEndian = [](quint32 value, int width) {
        QByteArray bytes;
        for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
            bytes.append(char((value >> shift) & 0xFF));
        return bytes;
    };
    QByteArray block = bigEndian(4 + 2 * text.size(), 2) + bigEndian(2 * text.size(), 4);
    for (const QChar c : text)
        block += bigEndian(c.unicode(), 2);
    return block;
}

bool HostPeer::sendRaw(const QByteArray &bytes)
{
    return connection != nullptr && connection->write(bytes) == bytes.size()
           && (connection->waitForBytesWritten(5000) || connection->bytesToWrite() == 0);
}

QByteArray HostPeer::readBytes(qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (connection != nullptr && bytes.size() < count) {
        bytes += connection->read(count - bytes.size());
        if (bytes.size() < count && !connection->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    return bytes;
}

bool HostPeer::staysSilent(int waitMs)
{
    if (connection != nullptr && connection->bytesAvailable() == 0)
        connection->waitForReadyRead(waitMs);
    return connection == nullptr || connection->bytesAvailable() == 0;
}
