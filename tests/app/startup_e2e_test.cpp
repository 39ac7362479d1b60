// The real kelvo binary on a private X server (Xvfb), driven from outside with
// xdotool: what its command line does to the windows a user sees.

#include "tests/support/pvgwriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>

namespace {

constexpr int kWindowTimeout = 20000;

struct VisibleWindow {
    QString id;
    QString title;
};

} // namespace

class StartupEndToEndTest : public QObject
{
    Q_OBJECT

private:
    QProcess xserver;
    QString display;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<QProcess> kelvo;

    QString xdotool(const QStringList &arguments)
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        tool.setProcessEnvironment(env);
        tool.start("xdotool", arguments);
        if (!tool.waitForFinished(5000)) {
            tool.kill();
            tool.waitForFinished(1000);
            return QString();
        }
        return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    }

    // Every mapped window on the private display belongs to the kelvo under test.
    QList<VisibleWindow> visibleWindows()
    {
        QList<VisibleWindow> windows;
        // By class: a window whose title was never set has no name to search for.
        const QString ids = xdotool({"search", "--onlyvisible", "--class", "."});
        for (const QString &id : ids.split('\n', Qt::SkipEmptyParts))
            windows << VisibleWindow{id, xdotool({"getwindowname", id})};
        return windows;
    }

    QStringList visibleTitles()
    {
        QStringList titles;
        for (const VisibleWindow &w : visibleWindows())
            titles << w.title;
        return titles;
    }

    // Waits until a window with this title is shown; returns its id or "".
    QString waitForWindow(const QString &title)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kWindowTimeout) {
            for (const VisibleWindow &w : visibleWindows()) {
                if (w.title == title)
                    return w.id;
            }
            if (kelvo->state() == QProcess::NotRunning)
                return QString();
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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("HOME", work->filePath("home"));
        kelvo->setProcessEnvironment(env);
        kelvo->setWorkingDirectory(work->path());
        kelvo->setProcessChannelMode(QProcess::ForwardedChannels);
        kelvo->start(qEnvironmentVariable("KELVO_BINARY"), arguments);
        QVERIFY2(kelvo->waitForStarted(10000), "kelvo did not start");
    }

    // Waits for kelvo to end by itself; kills it when it does not.
    bool kelvoEndsWithin(int milliseconds)
    {
        if (kelvo->waitForFinished(milliseconds))
            return true;
        kelvo->kill();
        kelvo->waitForFinished(5000);
        return false;
    }

    void writeStateFile(int left, int top, int width, int height)
    {
        QByteArray bytes("1.0\0\0\0\0\0\0\0\x01", 11);
        for (qint32 v : {left, top, left + width, top + height, width, height})
            for (int i = 0; i < 4; ++i)
                bytes += char(quint32(v) >> (8 * i));
        QFile file(work->filePath("home/.kelvosettings"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // "Position: x,y" and "Geometry: wxh" of a window, as one "x,y wxh" text.
    QString placement(const QString &windowId)
    {
        QString position, size;
        for (const QString &line : xdotool({"getwindowgeometry", windowId}).split('\n')) {
            const QString trimmed = line.trimmed();
            if (trimmed.startsWith("Position: "))
                position = trimmed.mid(10).section(' ', 0, 0);
            if (trimmed.startsWith("Geometry: "))
                size = trimmed.mid(10);
        }
        return position + " " + size;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable("Xvfb").isEmpty(), "Xvfb is missing (install-deps.sh)");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(),
                 "xdotool is missing (install-deps.sh)");
        QVERIFY(!qEnvironmentVariable("KELVO_BINARY").isEmpty());

        // Xvfb picks a free display and writes its number to the given descriptor;
        // -noreset keeps it from restarting (and refusing clients) whenever the
        // last client leaves.
        xserver.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"});
        QVERIFY(xserver.waitForStarted(10000));
        QElapsedTimer clock;
        clock.start();
        while (!xserver.canReadLine() && clock.elapsed() < 20000)
            xserver.waitForReadyRead(500);
        const QString number = QString::fromLatin1(xserver.readLine()).trimmed();
        QVERIFY2(!number.isEmpty(), "Xvfb did not report its display");
        display = ":" + number;
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
        QVERIFY(QDir(work->path()).mkpath("home"));
        QVERIFY(QDir(work->path()).mkpath("plots"));
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

    void helpShowsTheUsageBoxAndEndsWithoutAWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("-?") << QStringList{"-?"};
        QTest::newRow("-h") << QStringList{"-h"};
        QTest::newRow("-? after a document and a print request")
            << QStringList{"a.pvg", "-p", "-?", "b.pvg"};
    }

    void helpShowsTheUsageBoxAndEndsWithoutAWindow()
    {
        QFETCH(QStringList, arguments);
        startKelvo(arguments);
        const QString box = waitForWindow("KELVO Usage");
        QVERIFY2(!box.isEmpty(), "no usage box");
        QCOMPARE(visibleTitles(), QStringList{"KELVO Usage"});

        pressKey(box, "Return");
        QVERIFY(kelvoEndsWithin(10000));
        QCOMPARE(kelvo->exitStatus(), QProcess::NormalExit);
        QCOMPARE(kelvo->exitCode(), 0);
    }

    void theNamedDocumentIsInTheTitle_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("title");
        QTest::newRow("one name") << QStringList{"a.pvg"} << "VORNA Viewer - a.pvg";
        QTest::newRow("two names: the last wins") << QStringList{"a.pvg", "b.pvg"}
                                                   << "VORNA Viewer - b.pvg";
        QTest::newRow("a path with -p inside is a name")
            << QStringList{"plots/a-p.pvg"} << "VORNA Viewer - a-p.pvg";
        QTest::newRow("-po=l before the name") << QStringList{"-po=l", "a.pvg"}
                                               << "VORNA Viewer - a.pvg";
    }

    void theNamedDocumentIsInTheTitle()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, title);
        startKelvo(arguments);
        QVERIFY2(!waitForWindow(title).isEmpty(), qPrintable(visibleTitles().join(" | ")));
        QCOMPARE(kelvo->state(), QProcess::Running);
    }

    void anUnknownOptionIsADocumentThatFailsToLoad()
    {
        startKelvo({"-x"});
        const QString box = waitForWindow("Error");
        QVERIFY2(!box.isEmpty(), "no error box");
        QVERIFY(!visibleTitles().contains("VORNA Viewer"));
        pressKey(box, "Return");
        QVERIFY2(!waitForWindow("VORNA Viewer").isEmpty(), qPrintable(visibleTitles().join(" | ")));
    }

    void withoutADocumentTheOpenDialogComesFirst()
    {
        startKelvo({});
        const QString dialog = waitForWindow("Open File");
        QVERIFY2(!dialog.isEmpty(), "no Open dialog");
        QVERIFY(!visibleTitles().contains("VORNA Viewer"));
        pressKey(dialog, "Escape");

        // No document, so no title was ever set; the window has the default geometry.
        QElapsedTimer clock;
        clock.start();
        QList<VisibleWindow> windows;
        while ((windows = visibleWindows()).size() != 1 && clock.elapsed() < kWindowTimeout)
            QThread::msleep(100);
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows[0].id != dialog);
        QTRY_COMPARE_WITH_TIMEOUT(placement(windows[0].id), QString("200,200 640x487"), 5000);
        QCOMPARE(kelvo->state(), QProcess::Running);
    }

    void quitWithNothingToDoEndsAtOnce()
    {
        startKelvo({"-q", "a.pvg"});
        QVERIFY2(kelvoEndsWithin(15000), "kelvo -q did not end");
        QCOMPARE(kelvo->exitStatus(), QProcess::NormalExit);
        QCOMPARE(kelvo->exitCode(), 0);
    }

    void theStateFileGeometryPlacesTheWindow()
    {
        writeStateFile(50, 60, 500, 400);
        startKelvo({"a.pvg"});
        const QString window = waitForWindow("VORNA Viewer - a.pvg");
        QVERIFY(!window.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(placement(window), QString("50,60 500x400"), 5000);
    }

    void windowPositionOnTheCommandLineOverridesTheStateFile()
    {
        writeStateFile(50, 60, 500, 400);
        startKelvo({"-wp=10,20", "a.pvg"});
        const QString window = waitForWindow("VORNA Viewer - a.pvg");
        QVERIFY(!window.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(placement(window), QString("10,20 640x487"), 5000);
    }
};

QTEST_GUILESS_MAIN(StartupEndToEndTest)
#include "startup_e2e_test.moc"
