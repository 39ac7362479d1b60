// The host link inside one process, with the window classes as start-up builds
// them: where a message can arrive during start-up or while a modal box is up.

#include "app/appwindow.h"
#include "common/optionstate.h"
#include "common/currentdocument.h"
#include "tests/hostlink/hostpeer.h"
#include "tests/support/inprocessviewer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QUuid>
#include <QtTest>

class HostLinkWindowTest : public QObject
{
    Q_OBJECT

    InProcessViewer viewer;
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
               && host->read(42) == HostPeer::acceptBlock();
    }
    bool nothingArrives()
    {
        QTest::qWait(800);
        return host->bytesAvailable() == 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString start = viewer.writeDocument("start.pvg", redLineDrawing());
        viewer.writeDocument("plot.pvg", redLineDrawing());
        QVERIFY(server.listen("kelvo-window-host-" + QUuid::createUuid().toString(QUuid::Id128)));
        copyText(serverName, server.fullServerName().toLocal8Bit().constData());
        viewer.open(start, false);
        QVERIFY(server.waitForNewConnection(5000));
        host = server.nextPendingConnection();
        QVERIFY(replyArrives());
    }

    void messagesWaitUntilStartUpIsOver()
    {
        send("plot.pvg");
        QVERIFY(nothingArrives());
        // main queues this call for the start of its event loop.
        QMetaObject::invokeMethod(viewer.window, [this] { viewer.window->hostStartupComplete(); }, Qt::QueuedConnection);
        QVERIFY(replyArrives());
        QVERIFY(QByteArray(CurrentDocument.path).endsWith("/plot.pvg"));
    }

    void aMessageArrivingDuringAModalBoxIsHandledAfterIt()
    {
        // Once the load's error box is up, the next message is sent; the box
        // is answered a little later.
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
        QVERIFY(replyArrives());
        QVERIFY(replyArrives());
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

QTEST_MAIN(HostLinkWindowTest)
#include "hostlink_window_test.moc"
