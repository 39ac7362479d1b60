// The host link end to end: the test plays the host on a local server and
// drives the real binary through it.
#include "tests/hostlink/hostpeer.h"

#include <QFile>
#include <QThread>
#include <QtTest>

class HostLinkTest : public QObject
{
    Q_OBJECT

    // Starts kelvo on start.pvg with plot.pvg beside it, and takes the greeting.
    static bool startConnected(HostPeer &peer)
    {
        return peer.writeDrawing("start.pvg") && peer.writeDrawing("plot.pvg") && peer.start({"start.pvg"})
               && peer.replyArrives();
    }

private Q_SLOTS:
    void theGreetingIsTheFirstThingSent()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.staysSilent());
    }

    void anExportAndQuitMessageWritesRepliesAndEnds()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.send("plot.pvg -c=2 -cf=out -q"));
        QVERIFY(peer.replyArrives());
        QVERIFY(QFile::exists(peer.pathOf("out.eps")));
        QVERIFY(peer.finishesBy(15000));
        QCOMPARE(peer.kelvo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(peer.kelvo.exitCode(), 0);
    }

    void commandsWithoutADocumentGetNoReplyAndWaitForTheNext()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        // With no printer the print opens nothing; the chain still completes.
        QVERIFY(peer.send("-p"));
        QVERIFY(peer.staysSilent());
        QVERIFY(peer.send("-c=2 -cf=stored"));
        QVERIFY(peer.staysSilent());
        QVERIFY(!QFile::exists(peer.pathOf("stored.eps")));
        QVERIFY(peer.send("plot.pvg"));
        QVERIFY(peer.replyArrives());
        QVERIFY(QFile::exists(peer.pathOf("stored.eps")));
    }

    void anEmptyLastWordLoadsNothing()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.send("plot.pvg  -cf=twospaces"));
        QVERIFY(peer.send("plot.pvg "));
        QVERIFY(peer.staysSilent());
        // A space in front is harmless when a path follows.
        QVERIFY(peer.send(" plot.pvg"));
        QVERIFY(peer.replyArrives());
        QVERIFY(peer.staysSilent());
    }

    void blocksAreHandledWholeAndEveryOneInOrder()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        // Cut inside the text, with a pause: the word must not be read half.
        const QByteArray split = HostPeer::frame("plot.pvg -c=2 -cf=wholename");
        QVERIFY(peer.sendRaw(split.left(30)));
        QThread::msleep(300);
        QVERIFY(peer.sendRaw(split.mid(30)));
        QVERIFY(peer.replyArrives());
        QVERIFY(QFile::exists(peer.pathOf("wholename.eps")));
        QVERIFY(!QFile::exists(peer.pathOf("wh.eps")));

        QVERIFY(peer.sendRaw(HostPeer::frame("plot.pvg -c=2 -cf=first") + HostPeer::frame("plot.pvg -c=2 -cf=second")));
        QVERIFY(peer.replyArrives());
        QVERIFY(peer.replyArrives());
        QVERIFY(QFile::exists(peer.pathOf("first.eps")) && QFile::exists(peer.pathOf("second.eps")));
        QVERIFY(peer.staysSilent());
    }

    void aTemporaryDocumentIsDeletedBeforeTheNextMessageIsParsed()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.writeDrawing("temp1.pvg"));
        QVERIFY(peer.send("temp1.pvg -tmp"));
        QVERIFY(peer.replyArrives());
        QVERIFY(QFile::exists(peer.pathOf("temp1.pvg")));
        // This names no document, so only a deletion made before parsing
        // (which empties the path) can remove the file.
        QVERIFY(peer.send("-cf=nothing"));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(peer.pathOf("temp1.pvg")), 10000);

        // A document that is not temporary is left alone.
        QVERIFY(peer.send("plot.pvg"));
        QVERIFY(peer.replyArrives());
        QVERIFY(peer.send("-cf=nothing"));
        QVERIFY(peer.staysSilent());
        QVERIFY(QFile::exists(peer.pathOf("plot.pvg")));
    }

    void malformedAndOversizedMessagesAreSurvived()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0002" "0000")));                         // too small for a length
        QVERIFY(peer.sendRaw(QByteArray::fromHex("000a" "00000064" "004100420043")));      // text beyond the block
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0007" "00000003" "004100")));            // odd length
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0000" "0004" "ffffffff")));             // size 0; a null text
        QVERIFY(peer.staysSilent());
        QVERIFY(peer.send("plot.pvg -c=2 -cf=after"));
        QVERIFY(peer.replyArrives());
        QVERIFY(QFile::exists(peer.pathOf("after.eps")));

        // 150 words (the first 100 are taken) and a word longer than any name buffer.
        QStringList words{"plot.pvg", "-c=2", "-cf=many"};
        while (words.size() < 150)
            words << "-cwd=";
        QVERIFY(peer.send(words.join(' ')));
        QVERIFY(peer.replyArrives());
        QVERIFY(QFile::exists(peer.pathOf("many.eps")));
        QVERIFY(peer.send("plot.pvg -cwd=" + QString(5000, 'x')));
        QVERIFY(peer.replyArrives());
        QCOMPARE(peer.kelvo.state(), QProcess::Running);
    }

    void aHostThatHangsUpIsIgnored()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        peer.hangUp();
        QVERIFY(!peer.finishesBy(1500));
    }

    void withoutServerNameNothingIsSent()
    {
        HostPeer peer;
        QVERIFY(peer.writeDrawing("start.pvg"));
        QVERIFY(peer.start({"start.pvg"}, false));
        QVERIFY(!peer.hasPendingConnection(3000));
        QCOMPARE(peer.kelvo.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(HostLinkTest)
#include "hostlink_test.moc"
