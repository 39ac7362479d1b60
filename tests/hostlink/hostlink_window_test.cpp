// The host link inside one process: the window classes as start-up builds
// them, and the host's end of the connection on a local server beside them.
// This is where modal boxes can be answered while a message is handled.

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "commands/currentdocument.h"
#include "tests/hostlink/hostpeer.h"
#include "tests/support/pvgwriter.h"
#include "view/drawview.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <QtTest>

#include <functional>

namespace {

bool writeDrawing(const QString &path)
{
    PvgWriter writer;
    writer.lineColour(1).moveTo(200, 200).lineTo(3000, 2500).end();
    return writer.writeFile(path.toStdString());
}

// Watches for the next modal message box; hands it to onShown once, then
// presses its first button after a short pause.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(std::function<void(QMessageBox *)> onShown)
        : onShown(std::move(onShown))
    {
        connect(&poll, &QTimer::timeout, this, [this] { look(); });
        poll.start(20);
    }

    QString title;
    QString text;
    bool answered = false;

private:
    void look()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || seen)
            return;
        seen = true;
        title = box->windowTitle();
        text = box->text();
        if (onShown)
            onShown(box);
        QTimer::singleShot(300, box, [this, box] {
            answered = true;
            box->buttons().value(0)->click();
        });
    }

    std::function<void(QMessageBox *)> onShown;
    QTimer poll;
    bool seen = false;
};

} // namespace

class HostLinkWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir scratch;
    QLocalServer server;
    QLocalSocket *host = nullptr;

    void send(const QString &text)
    {
        host->write(HostPeer::frame(text));
        host->flush();
    }
    bool replyArrives()
    {
        return QTest::qWaitFor([this] { return host->bytesAvailable() >= 42; }, 10000)
            && host->read(42) == expectedAcceptBlock();
    }
    bool nothingArrives(int waitMs = 800)
    {
        QTest::qWait(waitMs);
        return host->bytesAvailable() == 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        QVERIFY(writeDrawing(scratch.filePath("start.pvg")));
        QVERIFY(writeDrawing(scratch.filePath("plot.pvg")));
        copyText(startDir, scratch.path().toLocal8Bit().constData());
        copyText(homeDir, scratch.path().toLocal8Bit().constData());
        copyText(CurrentDocument.path, scratch.filePath("start.pvg").toLocal8Bit().constData());

        const QString name = QStringLiteral("kelvo-window-host-") + QUuid::createUuid().toString(QUuid::Id128);
        QVERIFY(server.listen(name));
        copyText(serverName, server.fullServerName().toLocal8Bit().constData());

        // Start-up as main does it, up to the event loop.
        mainWindow = new AppWindow();
        mainView = new DrawView(mainWindow);
        mainWindow->setCentralWidget(mainView);

        QVERIFY(server.waitForNewConnection(5000));
        host = server.nextPendingConnection();
        QVERIFY(host != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(host->bytesAvailable() >= 42, 5000);
        QCOMPARE(host->read(42), expectedAcceptBlock());
    }

    void messagesWaitUntilStartUpIsOver()
    {
        send("plot.pvg");
        QVERIFY(nothingArrives());
        // main queues this call for the start of its event loop.
        QMetaObject::invokeMethod(
            mainWindow, [] { mainWindow->hostStartupComplete(); }, Qt::QueuedConnection);
        QVERIFY(replyArrives());
        QVERIFY(QByteArray(CurrentDocument.path).endsWith("/plot.pvg"));
    }

    void aMessageArrivingDuringAModalBoxIsHandledAfterIt()
    {
        ModalAnswerer answerer([this](QMessageBox *) { send("plot.pvg"); });
        send("missing.pvg");
        // The failed load still gets its reply, then the waiting message its own.
        QVERIFY(replyArrives());
        QVERIFY(replyArrives());
        QVERIFY(answerer.answered);
        QCOMPARE(answerer.title, QStringLiteral("Error"));
        QVERIFY(QByteArray(CurrentDocument.path).endsWith("/plot.pvg"));
        QCOMPARE(mainWindow->windowTitle(), QStringLiteral("VORNA Viewer - plot.pvg"));
        QVERIFY(nothingArrives());
    }

    void theUsageBoxShowsAndTheLinkGoesOn()
    {
        {
            ModalAnswerer answerer(nullptr);
            send("-? plot.pvg");
            QTRY_VERIFY_WITH_TIMEOUT(answerer.answered, 10000);
            QCOMPARE(answerer.title, QStringLiteral("KELVO Usage"));
            QVERIFY(nothingArrives());
        }
        {
            // The path came before the help word, so the document is loaded.
            ModalAnswerer answerer(nullptr);
            send("plot.pvg -?");
            QVERIFY(replyArrives());
            QVERIFY(answerer.answered);
        }
    }

    void aReleasedSocketIgnoresTheHost()
    {
        QVERIFY(QMetaObject::invokeMethod(mainWindow, "deleteSocket", Qt::DirectConnection));
        QVERIFY(mainWindow->socket == nullptr);
        send("plot.pvg");
        QVERIFY(nothingArrives());
        mainWindow->sendToHost(QStringLiteral("vna-accept-connect"));
        QVERIFY(nothingArrives());
    }

    void cleanupTestCase()
    {
        delete mainWindow;
        mainWindow = nullptr;
        mainView = nullptr;
        delete host;
    }
};

QTEST_MAIN(HostLinkWindowTest)
#include "hostlink_window_test.moc"
