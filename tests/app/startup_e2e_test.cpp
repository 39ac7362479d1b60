// The real kelvo binary on a private X server (Xvfb), driven from outside with
// xdotool: what its command line, state file and Ctrl+Q do to the windows a
// user sees and the files left behind.
#include "tests/support/pvgwriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {
constexpr int kTimeoutMs = 20000;

// The 35-byte state file: version "1.0", white background on, the geometry.
QByteArray stateFile(int left, int top, int width, int height)
{
    QByteArray bytes("1.0\0\0\0\0\0\0\0\x01", 11);
    for (qint32 v : {left, top, left + width, top + height, width, height})
        for (int i = 0; i < 4; ++i)
            bytes += char(quint32(v) >> (8 * i));
    return bytes;
}
} // namespace

class StartupEndToEndTest : public QObject
{
    Q_OBJECT

    QProcess xserver;
    QString display;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<QProcess> kelvo;

    QString home() const { return work->filePath("home"); }
    void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("HOME", home());
        return env;
    }

    QString xdotool(const QStringList &arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start("xdotool", arguments);
        if (!tool.waitForFinished(5000)) {
            tool.kill();
            tool.waitForFinished(1000);
        }
        return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    }

    // Titles by window id of every mapped window on the private display, all
    // kelvo's; searched by class, as a window whose title was never set has none.
    QMap<QString, QString> visibleWindows()
    {
        QMap<QString, QString> windows;
        for (const QString &id : xdotool({"search", "--onlyvisible", "--class", "."}).split('\n', Qt::SkipEmptyParts))
            windows.insert(id, xdotool({"getwindowname", id}));
        return windows;
    }

    // Waits until a window with this title is shown; returns its id or "".
    QString waitForWindow(const QString &title)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kTimeoutMs && kelvo->state() != QProcess::NotRunning) {
            if (const QString id = visibleWindows().key(title); !id.isEmpty())
                return id;
            QThread::msleep(100);
        }
        return QString();
    }

    void pressKey(const QString &windowId, const QString &key)
    {
        xdotool({"windowfocus", "--sync", windowId});
        xdotool({"key", key});
    }

    void startKelvo(const QStringList &arguments)
    {
        kelvo = std::make_unique<QProcess>();
        kelvo->setProcessEnvironment(environment());
        kelvo->setWorkingDirectory(work->path());
        kelvo->setProcessChannelMode(QProcess::ForwardedChannels);
        kelvo->start(qEnvironmentVariable("KELVO_BINARY"), arguments);
        QVERIFY2(kelvo->waitForStarted(kTimeoutMs), "kelvo did not start");
    }

    // True when kelvo ends by itself with status 0; killed otherwise.
    bool kelvoEndsCleanlyWithin(int milliseconds)
    {
        if (kelvo->waitForFinished(milliseconds))
            return kelvo->exitStatus() == QProcess::NormalExit && kelvo->exitCode() == 0;
        kelvo->kill();
        kelvo->waitForFinished(5000);
        return false;
    }

    // "x,y wxh" of a window's frame.
    QString placement(const QString &windowId)
    {
        QMap<QString, QString> shell; // X=, Y=, WIDTH=, HEIGHT= lines
        for (const QString &line : xdotool({"getwindowgeometry", "--shell", windowId}).split('\n'))
            shell.insert(line.section('=', 0, 0), line.section('=', 1));
        return QString("%1,%2 %3x%4").arg(shell["X"], shell["Y"], shell["WIDTH"], shell["HEIGHT"]);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"Xvfb", "xdotool"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), "missing; see install-deps.sh");
        // Xvfb picks a free display and writes its number to the given descriptor;
        // -noreset keeps it from restarting whenever the last client leaves.
        xserver.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"});
        QVERIFY(xserver.waitForStarted(kTimeoutMs));
        QElapsedTimer clock;
        clock.start();
        while (!xserver.canReadLine() && clock.elapsed() < kTimeoutMs)
            xserver.waitForReadyRead(500);
        display = ":" + QString::fromLatin1(xserver.readLine()).trimmed();
        QVERIFY2(display != ":", "Xvfb did not report its display");
    }

    void cleanupTestCase()
    {
        xserver.terminate();
        if (!xserver.waitForFinished(5000)) {
            xserver.kill();
            xserver.waitForFinished(5000);
        }
    }

    void init()
    {
        work = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(work->path()).mkpath("home") && QDir(work->path()).mkpath("plots"));
        PvgWriter picture;
        picture.lineColour(1).moveTo(0, 0).lineTo(4095, 3119).end();
        for (const char *name : {"a.pvg", "b.pvg", "plots/a-p.pvg"})
            QVERIFY(picture.writeFile(work->filePath(name).toStdString()));
    }

    void cleanup()
    {
        if (kelvo && kelvo->state() != QProcess::NotRunning) {
            kelvo->kill();
            kelvo->waitForFinished(5000);
        }
        kelvo.reset();
    }

    void helpShowsTheUsageBoxAndEndsWithoutAWindow()
    {
        startKelvo({"a.pvg", "-p", "-?", "b.pvg"});
        const QString box = waitForWindow("KELVO Usage");
        QVERIFY2(!box.isEmpty(), "no usage box");
        QCOMPARE(visibleWindows().values(), QStringList{"KELVO Usage"});
        pressKey(box, "Return");
        QVERIFY(kelvoEndsCleanlyWithin(10000));
    }

    void theNamedDocumentIsInTheTitle_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("title");
        QTest::newRow("the last name wins") << QStringList{"a.pvg", "-po=l", "b.pvg"} << "VORNA Viewer - b.pvg";
        QTest::newRow("-p inside a path") << QStringList{"plots/a-p.pvg"} << "VORNA Viewer - a-p.pvg";
    }

    void theNamedDocumentIsInTheTitle()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, title);
        startKelvo(arguments);
        QVERIFY2(!waitForWindow(title).isEmpty(), qPrintable(visibleWindows().values().join(" | ")));
    }

    void anUnknownOptionIsADocumentThatFailsToLoad()
    {
        startKelvo({"-x"});
        const QString box = waitForWindow("Error");
        QVERIFY2(!box.isEmpty(), "no error box");
        QVERIFY(!visibleWindows().values().contains("VORNA Viewer"));
        pressKey(box, "Return");
        QVERIFY2(!waitForWindow("VORNA Viewer").isEmpty(), qPrintable(visibleWindows().values().join(" | ")));
    }

    void withoutADocumentTheOpenDialogComesFirst()
    {
        startKelvo({});
        const QString dialog = waitForWindow("Open File");
        QVERIFY2(!dialog.isEmpty(), "no Open dialog");
        QCOMPARE(visibleWindows().values(), QStringList{"Open File"});
        pressKey(dialog, "Escape");
        // No document, so no title was ever set; the window has the default geometry.
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows().size(), 1, kTimeoutMs);
        const QString window = visibleWindows().firstKey();
        QVERIFY(window != dialog);
        QTRY_COMPARE_WITH_TIMEOUT(placement(window), QString("200,200 640x487"), 5000);
    }

    void quitWithNothingToDoEndsAtOnce()
    {
        startKelvo({"-q", "a.pvg"});
        QVERIFY2(kelvoEndsCleanlyWithin(15000), "kelvo -q did not end");
    }

    void theStateFilePlacesTheWindowUnlessTheCommandLineDoes()
    {
        writeFile(home() + "/.kelvosettings", stateFile(50, 60, 500, 400));
        for (const auto &[arguments, expected] : {std::pair{QStringList{"a.pvg"}, QString("50,60 500x400")},
                                                  std::pair{QStringList{"-wp=10,20", "a.pvg"}, QString("10,20 640x487")}}) {
            startKelvo(arguments);
            const QString window = waitForWindow("VORNA Viewer - a.pvg");
            QVERIFY(!window.isEmpty());
            QTRY_COMPARE_WITH_TIMEOUT(placement(window), expected, 5000);
            cleanup();
        }
    }

    // Ctrl+Q saves the state only with autosave and deletes only a temporary document.
    void ctrlQ()
    {
        for (bool autosaveAndTmp : {true, false}) {
            if (autosaveAndTmp)
                writeFile(home() + "/kelvo.cfg", "# saved on close\nautosave = yes\n");
            startKelvo(autosaveAndTmp ? QStringList{"a.pvg", "-tmp"} : QStringList{"b.pvg"});
            const QString window = waitForWindow(autosaveAndTmp ? "VORNA Viewer - a.pvg" : "VORNA Viewer - b.pvg");
            QVERIFY(!window.isEmpty());
            pressKey(window, "ctrl+q");
            QVERIFY(kelvoEndsCleanlyWithin(kTimeoutMs));
            QCOMPARE(QFile::exists(work->filePath(autosaveAndTmp ? "a.pvg" : "b.pvg")), !autosaveAndTmp);
            QFile saved(home() + "/.kelvosettings");
            QCOMPARE(saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray(),
                     autosaveAndTmp ? stateFile(200, 200, 640, 487) : QByteArray());
            QVERIFY(!autosaveAndTmp || (saved.remove() && QFile::remove(home() + "/kelvo.cfg")));
        }
    }
};

QTEST_GUILESS_MAIN(StartupEndToEndTest)
#include "startup_e2e_test.moc"
