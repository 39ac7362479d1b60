// The host link: the test plays the host on a local server and drives the real
// binary through it; in-process, where a message can arrive during start-up or
// while a modal box is up; and the block reader fed a stream cut anywhere.
// Frames are built here byte by byte, independently of kelvo's own code.
#include "app/appwindow.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "hostlink/hostframing.h"
#include "tests/support/inprocessviewer.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QAbstractButton>
#include <QMessageBox>
#include <QProcess>
#include <QUuid>
#include <QtTest>

namespace {
QByteArray bigEndian(quint32 value, int width)
{
    QByteArray bytes;
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

QByteArray frame(const QString &text)
{
    QByteArray block = bigEndian(4 + 2 * text.size(), 2) + bigEndian(2 * text.size(), 4);
    for (const QChar c : text)
        block += bigEndian(c.unicode(), 2);
    return block;
}

// "vna-accept-connect": size 40, text length 36, UTF-16BE.
const QByteArray acceptBlock = frame("vna-accept-connect");

// Plays the host for one kelvo process started in a scratch directory.
struct HostPeer {
    QTemporaryDir scratch;
    QLocalServer server;
    QProcess kelvo;
    std::unique_ptr<QLocalSocket> connection;

    QString pathOf(const QString &name) const { return scratch.filePath(name); }
    bool exists(const QString &name) const { return QFile::exists(pathOf(name)); }
    bool writeDrawing(const QString &name) const { return redLineDrawing().writeFile(pathOf(name).toStdString()); }

    // Starts kelvo on start.pvg (plot.pvg beside it) with no print system and,
    // with a server, takes its connection and its greeting.
    bool start(bool withServer = true)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", scratch.path());
        environment.insert("CUPS_SERVER", pathOf("no-cups.sock"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        kelvo.setProcessEnvironment(environment);
        kelvo.setWorkingDirectory(scratch.path());
        kelvo.setProcessChannelMode(QProcess::ForwardedChannels);
        if (!writeDrawing("start.pvg") || !writeDrawing("plot.pvg")
            || !server.listen("kelvo-host-" + QUuid::createUuid().toString(QUuid::Id128)))
            return false;
        kelvo.start(qEnvironmentVariable("KELVO_BINARY"),
                    QStringList{"start.pvg"} + (withServer ? QStringList{"-svrname=" + server.serverName()} : QStringList{}));
        if (!kelvo.waitForStarted(10000))
            return false;
        if (!withServer)
            return true;
        if (!server.waitForNewConnection(15000))
            return false;
        connection.reset(server.nextPendingConnection());
        connection->setParent(nullptr);
        return replyArrives();
    }
    ~HostPeer()
    {
        if (kelvo.state() != QProcess::NotRunning) {
            kelvo.kill();
            kelvo.waitForFinished(5000);
        }
    }

    bool sendRaw(const QByteArray &bytes)
    {
        return connection->write(bytes) == bytes.size() && (connection->waitForBytesWritten(5000) || connection->bytesToWrite() == 0);
    }
    bool send(const QString &text) { return sendRaw(frame(text)); }
    bool replyArrives()
    {
        QByteArray bytes;
        QDeadlineTimer deadline(15000);
        while (bytes.size() < acceptBlock.size()) {
            bytes += connection->read(acceptBlock.size() - bytes.size());
            if (bytes.size() < acceptBlock.size() && !connection->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                break;
        }
        return bytes == acceptBlock;
    }
    // True when nothing at all arrives within waitMs.
    bool staysSilent(int waitMs = 1500)
    {
        if (connection->bytesAvailable() == 0)
            connection->waitForReadyRead(waitMs);
        return connection->bytesAvailable() == 0;
    }
};
} // namespace

class HostLinkTest : public QObject
{
    Q_OBJECT

    InProcessViewer viewer;
    QLocalServer server;
    QLocalSocket *host = nullptr;

    void send(const QString &text)
    {
        host->write(frame(text));
        host->flush();
    }
    bool replyArrives()
    {
        return QTest::qWaitFor([this] { return host->bytesAvailable() >= 42; }, 10000) && host->read(42) == acceptBlock;
    }
    bool nothingArrives()
    {
        QTest::qWait(800);
        return host->bytesAvailable() == 0;
    }

private Q_SLOTS:
    // Every cut of a stream of blocks, good and bad, gives the same texts in order.
    void theBlockReaderIsIndependentOfHowTheStreamIsCut()
    {
        const QByteArray stream = frame("plot.pvg -p") + QByteArray::fromHex("0002" "0000") + frame("")
            + QByteArray::fromHex("000a" "00000064" "004100420043") + QByteArray::fromHex("0007" "00000003" "004100")
            + QByteArray::fromHex("0000" "0004" "ffffffff") + frame(QString::fromUtf8("Grüße \u20ac")) + frame("last");
        const QStringList expected{"plot.pvg -p", "", "", QString::fromUtf8("Grüße \u20ac"), "last"};
        // Cut once at every position, and then byte by byte (cut -1).
        for (int cut = -1; cut <= stream.size(); ++cut) {
            QBuffer buffer;
            buffer.open(QIODevice::ReadWrite);
            quint16 blockSize = 0;
            QString text;
            QStringList texts;
            for (int at = 0; at < stream.size();) {
                const int next = cut < 0 ? at + 1 : at < cut ? cut : int(stream.size());
                const qint64 readAt = buffer.pos();
                buffer.seek(buffer.size());
                buffer.write(stream.mid(at, next - at));
                buffer.seek(readAt);
                at = next;
                while (takeHostBlock(&buffer, blockSize, text))
                    texts << text;
            }
            QCOMPARE(texts, expected);
        }
    }

    void anExportAndQuitMessageWritesRepliesAndEnds()
    {
        HostPeer peer;
        QVERIFY(peer.start());
        QVERIFY(peer.staysSilent()); // the greeting is the only thing sent first
        QVERIFY(peer.send("plot.pvg -c=2 -cf=out -q"));
        QVERIFY(peer.replyArrives());
        QVERIFY(peer.exists("out.eps"));
        QVERIFY(peer.kelvo.waitForFinished(15000));
        QVERIFY(peer.kelvo.exitStatus() == QProcess::NormalExit && peer.kelvo.exitCode() == 0);
    }

    void messagesAreReadWholeInOrderAndOnlyADocumentGetsAReply()
    {
        HostPeer peer;
        QVERIFY(peer.start());
        // Without a document the options are kept, nothing is done and there is no reply.
        QVERIFY(peer.send("-p") && peer.staysSilent());
        QVERIFY(peer.send("-c=2 -cf=stored") && peer.staysSilent());
        QVERIFY(!peer.exists("stored.eps"));
        QVERIFY(peer.send("plot.pvg") && peer.replyArrives());
        QVERIFY(peer.exists("stored.eps"));
        // An empty last word loads nothing; a space in front is harmless when a path follows.
        QVERIFY(peer.send("plot.pvg  -cf=twospaces") && peer.send("plot.pvg ") && peer.staysSilent());
        QVERIFY(peer.send(" plot.pvg") && peer.replyArrives() && peer.staysSilent());
        // Cut inside the text, with a pause: the word must not be read half.
        const QByteArray split = frame("plot.pvg -c=2 -cf=wholename");
        QVERIFY(peer.sendRaw(split.left(30)));
        QThread::msleep(300);
        QVERIFY(peer.sendRaw(split.mid(30)) && peer.replyArrives());
        QVERIFY(peer.exists("wholename.eps") && !peer.exists("wh.eps"));
        QVERIFY(peer.sendRaw(frame("plot.pvg -c=2 -cf=first") + frame("plot.pvg -c=2 -cf=second")));
        QVERIFY(peer.replyArrives() && peer.replyArrives() && peer.staysSilent());
        QVERIFY(peer.exists("first.eps") && peer.exists("second.eps"));
    }

    void aTemporaryDocumentIsDeletedBeforeTheNextMessageIsParsed()
    {
        HostPeer peer;
        QVERIFY(peer.start());
        QVERIFY(peer.writeDrawing("temp1.pvg"));
        QVERIFY(peer.send("temp1.pvg -tmp") && peer.replyArrives());
        QVERIFY(peer.exists("temp1.pvg"));
        // This names no document, so only a deletion made before parsing (which empties the path) removes it.
        QVERIFY(peer.send("-cf=nothing"));
        QTRY_VERIFY_WITH_TIMEOUT(!peer.exists("temp1.pvg"), 10000);
        // A document that is not temporary is left alone.
        QVERIFY(peer.send("plot.pvg") && peer.replyArrives());
        QVERIFY(peer.send("-cf=nothing") && peer.staysSilent());
        QVERIFY(peer.exists("plot.pvg"));
    }

    void malformedAndOversizedMessagesAreSurvived()
    {
        HostPeer peer;
        QVERIFY(peer.start());
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0002" "0000")));                    // too small for a length
        QVERIFY(peer.sendRaw(QByteArray::fromHex("000a" "00000064" "004100420043"))); // text beyond the block
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0007" "00000003" "004100")));       // odd length
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0000" "0004" "ffffffff")));        // size 0; a null text
        QVERIFY(peer.staysSilent());
        QVERIFY(peer.send("plot.pvg -c=2 -cf=after") && peer.replyArrives());
        QVERIFY(peer.exists("after.eps"));
        // 150 words (the first 100 are taken) and a word longer than any name buffer.
        QStringList words{"plot.pvg", "-c=2", "-cf=many"};
        while (words.size() < 150)
            words << "-cwd=";
        QVERIFY(peer.send(words.join(' ')) && peer.replyArrives());
        QVERIFY(peer.exists("many.eps"));
        QVERIFY(peer.send("plot.pvg -cwd=" + QString(5000, 'x')) && peer.replyArrives());
        // A host that hangs up is ignored.
        peer.connection->disconnectFromServer();
        QVERIFY(!peer.kelvo.waitForFinished(1500));
    }

    void withoutServerNameNothingIsSent()
    {
        HostPeer peer;
        QVERIFY(peer.start(false));
        QVERIFY(!peer.server.waitForNewConnection(3000));
        QCOMPARE(peer.kelvo.state(), QProcess::Running);
    }

    void messagesWaitUntilStartUpIsOver()
    {
        const QString start = viewer.writeDocument("start.pvg", redLineDrawing());
        viewer.writeDocument("plot.pvg", redLineDrawing());
        QVERIFY(server.listen("kelvo-window-host-" + QUuid::createUuid().toString(QUuid::Id128)));
        copyText(serverName, server.fullServerName().toLocal8Bit().constData());
        viewer.open(start, false);
        QVERIFY(server.waitForNewConnection(5000));
        host = server.nextPendingConnection();
        QVERIFY(replyArrives());
        send("plot.pvg");
        QVERIFY(nothingArrives());
        // main queues this call for the start of its event loop.
        QMetaObject::invokeMethod(viewer.window, [this] { viewer.window->hostStartupComplete(); }, Qt::QueuedConnection);
        QVERIFY(replyArrives());
        QVERIFY(QByteArray(CurrentDocument.path).endsWith("/plot.pvg"));
    }

    void aMessageArrivingDuringAModalBoxIsHandledAfterIt()
    {
        // Once the load's error box is up, the next message is sent; the box is answered a little later.
        QString title;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !title.isEmpty())
                return;
            title = box->windowTitle();
            send("plot.pvg");
            QTimer::singleShot(300, box, [box] { box->buttons().value(0)->click(); });
        });
        poll.start(20);
        send("missing.pvg");
        // The failed load still gets its reply, then the waiting message its own.
        QVERIFY(replyArrives() && replyArrives());
        QCOMPARE(title, QStringLiteral("Error"));
        QCOMPARE(viewer.window->windowTitle(), QStringLiteral("VORNA Viewer - plot.pvg"));
        QVERIFY(nothingArrives());
    }

    void aReleasedSocketIgnoresTheHost()
    {
        QVERIFY(QMetaObject::invokeMethod(viewer.window, "deleteSocket", Qt::DirectConnection));
        QVERIFY(viewer.window->socket == nullptr);
        send("plot.pvg");
        viewer.window->sendToHost(QStringLiteral("vna-accept-connect"));
        QVERIFY(nothingArrives());
    }

    void cleanupTestCase()
    {
        viewer.close();
        delete host;
    }
};

QTEST_MAIN(HostLinkTest)
#include "hostlink_test.moc"
