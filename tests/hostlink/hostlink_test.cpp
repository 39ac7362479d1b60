#include "tests/hostlink/hostpeer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <QtTest>

namespace {

constexpr int kSilenceMs = 1500;

// Polls until the file's existence matches; false on time-out.
bool fileExistenceBecomes(const QString &path, bool exists, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (QFile::exists(path) != exists) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

} // namespace

class HostLinkTest : public QObject
{
    Q_OBJECT

private:
    // Starts kelvo on start.pvg with plot.pvg beside it, and takes the greeting.
    bool startConnected(HostPeer &peer)
    {
        if (!peer.listening() || !peer.writeDrawing("start.pvg") || !peer.writeDrawing("plot.pvg"))
            return false;
        return peer.start({"start.pvg"}) && peer.acceptConnection()
            && peer.readBlock() == expectedAcceptBlock();
    }

private Q_SLOTS:
    void theGreetingIsTheFirstThingSent()
    {
        HostPeer peer;
        QVERIFY(peer.listening());
        QVERIFY(peer.writeDrawing("start.pvg"));
        QVERIFY(peer.start({"start.pvg"}));
        QVERIFY(peer.acceptConnection());
        const QByteArray first = peer.readBytes(42, 15000);
        QCOMPARE(first.toHex(), expectedAcceptBlock().toHex());
        QCOMPARE(first.left(6), QByteArray::fromHex("002800000024"));
        QVERIFY(peer.staysSilent(kSilenceMs));
    }

    void anExportAndQuitMessageWritesRepliesAndEnds()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.send("plot.pvg -c=2 -cf=out -q"));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(QFile::exists(peer.pathOf("out.eps")));
        QVERIFY(peer.finishesBy(15000));
        QCOMPARE(peer.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(peer.process().exitCode(), 0);
    }

    void aMessageWithoutDocumentGetsNoReplyButItsCommandWaits()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        // Sent at once, it may come while start-up runs its own commands;
        // it still waits for the next document, not the start-up one.
        QVERIFY(peer.send("-c=2 -cf=stored"));
        QVERIFY(peer.staysSilent(kSilenceMs));
        QVERIFY(!QFile::exists(peer.pathOf("stored.eps")));

        QVERIFY(peer.send("plot.pvg"));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(QFile::exists(peer.pathOf("stored.eps")));
    }

    void aPrintRequestAloneWaitsForTheNextDocument()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.send("-p"));
        QVERIFY(peer.staysSilent(kSilenceMs));
        // With no printer the print opens nothing; the chain still completes.
        QVERIFY(peer.send("plot.pvg"));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
    }

    void anEmptyLastWordLoadsNothing()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.send("plot.pvg  -cf=twospaces"));
        QVERIFY(peer.staysSilent(kSilenceMs));
        QVERIFY(peer.send("plot.pvg "));
        QVERIFY(peer.staysSilent(kSilenceMs));
        // A space in front is harmless when a path follows.
        QVERIFY(peer.send(" plot.pvg"));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
    }

    void aBlockWrittenInPiecesIsHandledOnceComplete()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));

        // The size field alone, then the rest.
        const QByteArray block = HostPeer::frame("plot.pvg -c=2 -cf=sizefirst");
        QVERIFY(peer.sendRaw(block.left(2)));
        QThread::msleep(300);
        QVERIFY(peer.sendRaw(block.mid(2)));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(QFile::exists(peer.pathOf("sizefirst.eps")));

        // Cut in the middle of the text: the word must not be read half.
        const QByteArray split = HostPeer::frame("plot.pvg -c=2 -cf=wholename");
        QVERIFY(peer.sendRaw(split.left(30)));
        QVERIFY(peer.staysSilent(300));
        QVERIFY(peer.sendRaw(split.mid(30)));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(QFile::exists(peer.pathOf("wholename.eps")));
        QVERIFY(!QFile::exists(peer.pathOf("wh.eps")));
    }

    void twoBlocksInOneWriteGetTwoRepliesInOrder()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.sendRaw(HostPeer::frame("plot.pvg -c=2 -cf=first")
                             + HostPeer::frame("plot.pvg -c=2 -cf=second")));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(QFile::exists(peer.pathOf("first.eps")));
        QVERIFY(QFile::exists(peer.pathOf("second.eps")));
        QVERIFY(peer.staysSilent(kSilenceMs));
    }

    void aTemporaryDocumentIsDeletedWhenTheNextMessageArrives()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        QVERIFY(peer.writeDrawing("temp1.pvg"));
        QVERIFY(peer.send("temp1.pvg -tmp"));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(QFile::exists(peer.pathOf("temp1.pvg")));

        // This message names no document, so only a deletion made before it
        // is parsed (which empties the path) can remove the file.
        QVERIFY(peer.send("-cf=nothing"));
        QVERIFY(fileExistenceBecomes(peer.pathOf("temp1.pvg"), false));
        QVERIFY(peer.staysSilent(kSilenceMs));

        // A document that is not temporary is left alone.
        QVERIFY(peer.send("plot.pvg"));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(peer.send("-cf=nothing"));
        QVERIFY(peer.staysSilent(kSilenceMs));
        QVERIFY(QFile::exists(peer.pathOf("plot.pvg")));
    }

    void malformedBlocksAreSkippedAndTheNextIsHandled()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        // Size 2: too small to hold a text length.
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0002" "0000")));
        // Size 10 whose text claims 100 bytes.
        QVERIFY(peer.sendRaw(QByteArray::fromHex("000a" "00000064" "004100420043")));
        // An odd text length cannot be UTF-16.
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0007" "00000003" "004100")));
        // An empty size field, and a null text, which is an empty message.
        QVERIFY(peer.sendRaw(QByteArray::fromHex("0000" "0004" "ffffffff")));
        QVERIFY(peer.staysSilent(kSilenceMs));

        QVERIFY(peer.send("plot.pvg -c=2 -cf=after"));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(QFile::exists(peer.pathOf("after.eps")));
        QCOMPARE(peer.process().state(), QProcess::Running);
    }

    void oversizedCommandLinesDoNotOverflow()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        // 150 words: the first 100 are taken.
        QStringList words{"plot.pvg", "-c=2", "-cf=many"};
        while (words.size() < 150)
            words << "-cwd=";
        QVERIFY(peer.send(words.join(' ')));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QVERIFY(QFile::exists(peer.pathOf("many.eps")));

        // A 5000-character word is cut to what a name buffer holds.
        QVERIFY(peer.send("plot.pvg -cwd=" + QString(5000, QLatin1Char('x'))));
        QCOMPARE(peer.readBlock().toHex(), expectedAcceptBlock().toHex());
        QCOMPARE(peer.process().state(), QProcess::Running);
    }

    void aHostThatHangsUpIsIgnored()
    {
        HostPeer peer;
        QVERIFY(startConnected(peer));
        peer.hangUp();
        QVERIFY(!peer.finishesBy(kSilenceMs));
        QCOMPARE(peer.process().state(), QProcess::Running);
    }

    void withoutServerNameNothingIsSent()
    {
        HostPeer peer;
        QVERIFY(peer.listening());
        QVERIFY(peer.writeDrawing("start.pvg"));
        QVERIFY(peer.start({"start.pvg"}, false));
        QVERIFY(!peer.hasPendingConnection(3000));
        QCOMPARE(peer.process().state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(HostLinkTest)
#include "hostlink_test.moc"
