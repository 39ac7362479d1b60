// Closing the real kelvo binary with its Ctrl+Q shortcut on a private X server:
// what the close leaves behind (state file, temporary document).

#include "tests/support/pvgwriter.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

constexpr int kTimeoutMs = 20000;

// A process that is always ended: killed on expiry of its wait, and when the
// test leaves.
class GuardedProcess : public QProcess
{
public:
    ~GuardedProcess() override
    {
        if (state() != NotRunning) {
            kill();
            waitForFinished(5000);
        }
    }
};

PvgWriter lineDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(20);
    writer.moveTo(0, 1560).lineTo(4095, 1560).end();
    return writer;
}

} // namespace

class WindowCloseTest : public QObject
{
    Q_OBJECT

private:
    GuardedProcess xServer;
    QString display;
    QTemporaryDir home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("HOME", home.path());
        return env;
    }

    // Runs a short helper command on the test's display; its output, or null on failure.
    QByteArray run(const QString &program, const QStringList &arguments)
    {
        GuardedProcess process;
        process.setProcessEnvironment(environment());
        process.start(program, arguments);
        if (!process.waitForFinished(kTimeoutMs) || process.exitCode() != 0)
            return {};
        return process.readAllStandardOutput();
    }

    // Starts kelvo, waits for its window and presses Ctrl+Q in it. True when
    // kelvo then ended by itself.
    bool startAndQuit(const QStringList &arguments)
    {
        GuardedProcess kelvo;
        kelvo.setProcessEnvironment(environment());
        kelvo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        kelvo.start(qEnvironmentVariable("KELVO_BINARY"), arguments);
        if (!kelvo.waitForStarted(kTimeoutMs))
            return false;

        const QByteArray found =
            run("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^VORNA Viewer - "});
        const QByteArray windowId = found.split('\n').value(0).trimmed();
        if (windowId.isEmpty())
            return false;
        run("xdotool", {"windowfocus", "--sync", QString::fromLatin1(windowId)});
        run("xdotool", {"key", "ctrl+q"});
        if (!kelvo.waitForFinished(kTimeoutMs))
            return false;
        return kelvo.exitStatus() == QProcess::NormalExit && kelvo.exitCode() == 0;
    }

    QString writeDocument(const QString &name)
    {
        const QString path = home.filePath(name);
        lineDrawing().writeFile(path.toStdString());
        return path;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty()
            || QStandardPaths::findExecutable("xdotool").isEmpty())
            QSKIP("needs Xvfb and xdotool");
        QVERIFY(!qEnvironmentVariableIsEmpty("KELVO_BINARY"));
        // Xvfb picks a free display and writes its number to the descriptor given.
        xServer.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten",
                               "tcp"});
        QVERIFY(xServer.waitForStarted(kTimeoutMs));
        QByteArray number;
        while (!number.contains('\n') && xServer.waitForReadyRead(kTimeoutMs))
            number += xServer.readAllStandardOutput();
        QVERIFY2(number.contains('\n'), "Xvfb reported no display");
        display = ":" + QString::fromLatin1(number.trimmed());
    }

    void cleanupTestCase()
    {
        if (xServer.state() != QProcess::NotRunning) {
            xServer.terminate();
            xServer.waitForFinished(5000);
        }
    }

    void quitWithAutosaveWritesTheStateAndDeletesATemporaryDocument()
    {
        QFile config(home.filePath("kelvo.cfg"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("# saved on close\nautosave = yes\n");
        config.close();
        const QString document = writeDocument("plot.pvg");

        QVERIFY(startAndQuit({document, "-tmp"}));

        QVERIFY(!QFile::exists(document));
        QFile state(home.filePath(".kelvosettings"));
        QVERIFY(state.open(QIODevice::ReadOnly));
        const QByteArray bytes = state.readAll();
        QCOMPARE(bytes.size(), 35);
        QCOMPARE(bytes.left(11), QByteArray("1.0\0\0\0\0\0\0\0\1", 11));
        qint32 geometry[6];
        std::memcpy(geometry, bytes.constData() + 11, sizeof geometry);
        QCOMPARE(geometry[0], 200);
        QCOMPARE(geometry[1], 200);
        QCOMPARE(geometry[2], 840);
        QCOMPARE(geometry[3], 687);
        QCOMPARE(geometry[4], 640);
        QCOMPARE(geometry[5], 487);

        QVERIFY(config.remove());
        QVERIFY(state.remove());
    }

    void quitKeepsAnOrdinaryDocumentAndWritesNoStateWithoutAutosave()
    {
        const QString document = writeDocument("kept.pvg");
        QVERIFY(startAndQuit({document}));
        QVERIFY(QFile::exists(document));
        QVERIFY(!QFile::exists(home.filePath(".kelvosettings")));
    }
};

QTEST_GUILESS_MAIN(WindowCloseTest)
#include "window_close_test.moc"
