// The host link: the block reader fed a stream cut anywhere; the real binary
// holding one conversation with a host played on a local server; and the
// window in-process, where a message can arrive during start-up or while a
// modal box is up. Frames are built here byte by byte, independently of
// kelvo's own code.
#include "app/appwindow.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "common/quitrequest.h"
#include "hostlink/hostconnection.h"
#include "hostlink/hostframing.h"
#include "tests/support/inprocessviewer.h"

#include <QAbstractButton>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QtTest>

#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// Block size, text length in bytes, UTF-16BE text.
QByteArray frame(const QString &text)
{
    QByteArray block(6, '\0');
    qToBigEndian<quint16>(4 + 2 * text.size(), block.data());
    qToBigEndian<quint32>(2 * text.size(), block.data() + 2);
    return block + QByteArray(QStringEncoder(QStringEncoder::Utf16BE)(text));
}

// The same with a size field of 4: the text is still read by its own length.
QByteArray sizedShort(const QString &text)
{
    QByteArray block = frame(text);
    qToBigEndian<quint16>(4, block.data());
    return block;
}

// Blocks to be skipped: too small for a length, a length no block can hold,
// odd length, and a size 0 followed by a null text.
const QByteArray malformed = QByteArray::fromHex("0002" "0000" "000a" "00010000" "004100420043"
                                                 "0007" "00000003" "004100" "0000" "0004" "ffffffff");

// The host's end of the link: kelvo's connection to a local server.
struct Host {
    QLocalServer server;
    QLocalSocket *kelvo = nullptr;

    bool listen() { return server.listen("kelvo-host-" + QUuid::createUuid().toString(QUuid::Id128)); }
    // Takes kelvo's connection and its greeting.
    bool accept()
    {
        if (!QTest::qWaitFor([this] { return server.hasPendingConnections(); }, 15000))
            return false;
        kelvo = server.nextPendingConnection();
        return replies(1);
    }
    void send(const QByteArray &bytes) { kelvo->write(bytes); }
    // That many replies arrive; with none expected, nothing arrives for a while.
    bool replies(int count)
    {
        const QByteArray expected = frame("vna-accept-connect").repeated(count);
        const bool came = QTest::qWaitFor([&] { return count > 0 && kelvo->bytesAvailable() >= expected.size(); },
                                          count > 0 ? 15000 : 800);
        return came == (count > 0) && kelvo->read(expected.size()) == expected && kelvo->bytesAvailable() == 0;
    }
};
} // namespace

class HostLinkTest : public QObject
{
    Q_OBJECT

    // The conversation with the real binary, one message per row.
    QTemporaryDir scratch;
    QProcess kelvo;
    Host peer;
    // The window in-process.
    InProcessViewer viewer;
    Host host;

private Q_SLOTS:
    // Every cut of a stream of blocks, good and bad, gives the same texts in order.
    void theBlockReaderIsIndependentOfHowTheStreamIsCut()
    {
        const QByteArray stream = frame("plot.pvg -p") + frame("") + malformed + sizedShort("short")
                                  + frame(QString::fromUtf8("Grüße \u20ac"));
        const QStringList expected{"plot.pvg -p", "", "", "short", QString::fromUtf8("Grüße \u20ac")};
        // Cut once at every position, and then byte by byte (cut -1).
        for (int cut = -1; cut <= stream.size(); ++cut) {
            QByteArray arrived;
            QBuffer buffer(&arrived);
            buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
            quint16 blockSize = 0;
            QString text;
            QStringList texts;
            for (int at = 0; at < stream.size(); at = int(arrived.size())) {
                arrived += stream.mid(at, cut < 0 ? 1 : at < cut ? cut - at : stream.size());
                while (takeHostBlock(&buffer, blockSize, text))
                    texts << text;
            }
            QCOMPARE(texts, expected);
        }
    }

    // kelvo on start.pvg (plot.pvg beside it) with no print system and autosave
    // on, its greeting the only thing it sends first.
    void initTestCase()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", scratch.path());
        environment.insert("CUPS_SERVER", scratch.filePath("no-cups.sock"));
        kelvo.setProcessEnvironment(environment);
        kelvo.setWorkingDirectory(scratch.path());
        for (const char *name : {"start.pvg", "plot.pvg", "temp1.pvg", "temp2.pvg"})
            QVERIFY(redLineDrawing().writeFile(scratch.filePath(name).toStdString()));
        QFile config(scratch.filePath("kelvo.cfg"));
        QVERIFY(config.open(QIODevice::WriteOnly) && config.write("autosave = yes\n") > 0);
        config.close();
        QVERIFY(peer.listen());
        kelvo.start(qEnvironmentVariable("KELVO_BINARY"), {"start.pvg", "-svrname=" + peer.server.serverName()});
        QVERIFY(peer.accept() && peer.replies(0));
    }

    // Only a message naming a document is answered; the options of others are
    // kept for it. "!name" is a file that must not exist.
    void theRealBinaryAnswersInOrder_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("replies");
        QTest::addColumn<QString>("files");
        const QByteArray split = frame("plot.pvg -c=2 -cf=wholename");
        QTest::newRow("print option") << frame("-p") << 0 << "";
        QTest::newRow("export options") << frame("-c=2 -cf=stored") << 0 << "!stored.eps";
        QTest::newRow("a document") << frame("plot.pvg") << 1 << "stored.eps";
        QTest::newRow("half a block") << split.left(30) << 0 << "";
        QTest::newRow("its rest: the word is not read half") << split.mid(30) << 1 << "wholename.eps !wh.eps";
        QTest::newRow("two at once") << frame("plot.pvg -c=2 -cf=first") + frame("plot.pvg -c=2 -cf=second") << 2
                                     << "first.eps second.eps";
        QTest::newRow("a temporary document") << frame("temp1.pvg -tmp") << 1 << "temp1.pvg";
        // This names no document: only a deletion made before parsing (which empties the path) removes it.
        QTest::newRow("deleted at the next message") << frame("-cf=nothing") << 0 << "!temp1.pvg";
        QTest::newRow("not a temporary one") << frame("plot.pvg") + frame("-cf=nothing") << 1 << "plot.pvg";
        QTest::newRow("malformed blocks") << malformed << 0 << "";
        QTest::newRow("and after them") << frame("plot.pvg -c=2 -cf=after") << 1 << "after.eps";
        QTest::newRow("a size field short of its text") << sizedShort("plot.pvg -c=2 -cf=short") + frame("plot.pvg")
                                                        << 2 << "short.eps";
        QStringList words{"plot.pvg", "-c=2", "-cf=many"};
        while (words.size() < 150) // only the first 100 are taken
            words << (words.size() == 100 ? "-cf=dropped" : "-cwd=");
        QTest::newRow("150 words") << frame(words.join(' ')) << 1 << "many.eps !dropped.eps";
        QTest::newRow("export and quit") << frame("temp2.pvg -tmp -c=2 -cf=out -q") << 1 << "out.eps";
    }

    void theRealBinaryAnswersInOrder()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, replies);
        QFETCH(QString, files);
        peer.send(message);
        QVERIFY(peer.replies(replies));
        for (const QString &file : files.split(' ', Qt::SkipEmptyParts))
            QTRY_COMPARE(QFile::exists(scratch.filePath(file.mid(file.startsWith('!')))), !file.startsWith('!'));
    }

    // A quit is not a close: no state saved, the temporary document kept.
    void theRealBinaryEndsAfterQuit()
    {
        QTRY_COMPARE_WITH_TIMEOUT(kelvo.state(), QProcess::NotRunning, 15000);
        QVERIFY(kelvo.exitStatus() == QProcess::NormalExit && kelvo.exitCode() == 0);
        QVERIFY(QFile::exists(scratch.filePath("temp2.pvg")));
        QVERIFY(!QFile::exists(scratch.filePath(".kelvosettings")));
    }

    // In-process: a message waits until start-up is over, and one arriving
    // while a modal box is up is handled after it.
    void theWindowTakesMessagesInTurn()
    {
        const QString start = viewer.writeDocument("start.pvg", redLineDrawing());
        viewer.writeDocument("plot.pvg", redLineDrawing());
        QVERIFY(host.listen());
        copyText(serverName, host.server.fullServerName().toLocal8Bit().constData());
        viewer.open(start, false);
        QVERIFY(host.accept());
        host.send(frame("plot.pvg"));
        QVERIFY(host.replies(0));
        // main queues this call for the start of its event loop.
        QMetaObject::invokeMethod(viewer.window, [this] { viewer.window->hostStartupComplete(); }, Qt::QueuedConnection);
        QVERIFY(host.replies(1));
        QVERIFY(QByteArray(CurrentDocument.path).endsWith("/plot.pvg"));

        // Once the load's error box is up, the next message is sent; the box is answered once that is in.
        QString title;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !title.isEmpty())
                return;
            title = box->windowTitle();
            host.send(frame("plot.pvg"));
            QTimer::singleShot(300, box, [box] { box->buttons().value(0)->click(); });
        });
        poll.start(20);
        host.send(frame("missing.pvg"));
        // The failed load still gets its reply, then the waiting message its own.
        QVERIFY(host.replies(2));
        QCOMPARE(title, QStringLiteral("Error"));
        QCOMPARE(viewer.window->windowTitle(), QStringLiteral("VORNA Viewer - plot.pvg"));
    }

    // Ctrl+Q while a message is handled: the window is closed at once and
    // deleted only in some later event pass. Meanwhile the message ends with
    // it, unanswered, and its export does not run. (The deletion is held back
    // here, so that the closed window is what the handling meets.)
    void aWindowClosedDuringAMessageEndsIt()
    {
        viewer.window->show();
        viewer.window->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(viewer.window, &QWidget::windowTitleChanged, qApp, &QApplication::closeAllWindows);
        host.send(frame(viewer.writeDocument("closing.pvg", redLineDrawing()) + " -c=1 -cf=closing -cwd=" + viewer.home.path()));
        QTRY_VERIFY(viewer.window->isHidden());
        QVERIFY(host.replies(0));
        QVERIFY(!QFile::exists(viewer.home.filePath("closing.jpg")));
        viewer.close();
    }

    // Messages that came while a start-up chain with -q ran still run their
    // commands and get their replies before the end. Last: the quit stays.
    void messagesWaitingAtAQuittingStartUpHaveTheirTurn()
    {
        viewer.open(viewer.writeDocument("start.pvg", redLineDrawing()), false);
        QVERIFY(host.accept());
        host.send(frame(viewer.writeDocument("waited.pvg", redLineDrawing()) + " -c=2 -cf=waited -cwd=" + viewer.home.path()));
        QVERIFY(host.kelvo->waitForBytesWritten(5000));
        requestQuit(); // as the chain does for -q, before the event loop
        viewer.window->hostStartupComplete();
        QVERIFY(host.replies(1));
        QVERIFY(QFileInfo(viewer.home.filePath("waited.eps")).size() > 0);
    }

    // A host whose queue is full as kelvo starts is given up: no greeting,
    // and no joining it later when there is room.
    void aFullHostIsNeverJoinedLater()
    {
        const QByteArray path = QFile::encodeName(scratch.filePath("full.sock"));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(std::size_t(path.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        const auto *where = reinterpret_cast<const sockaddr *>(&address);
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0), filler = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(::bind(server, where, sizeof address) == 0 && ::listen(server, 0) == 0);
        QVERIFY(::connect(filler, where, sizeof address) == 0);
        std::unique_ptr<QLocalSocket> socket(connectToHostServer(path.constData()));
        QCOMPARE(socket->state(), QLocalSocket::UnconnectedState);
        const int first = ::accept(server, nullptr, nullptr);
        QVERIFY(first >= 0);
        QTest::qWait(600);
        QCOMPARE(::accept(server, nullptr, nullptr), -1);
        for (int fd : {first, filler, server})
            ::close(fd);
    }

    void cleanupTestCase() { viewer.close(); }
};

QTEST_MAIN(HostLinkTest)
#include "hostlink_test.moc"
