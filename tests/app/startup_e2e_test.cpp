// The real kelvo binary on a private X server (Xvfb), driven from outside with
// xdotool: what its command line, state file and keys do to the windows a user
// sees and the files left behind.
#include "tests/support/pvgwriter.h"
#include "tests/support/testfiles.h"

#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class StartupEndToEndTest : public QObject
{
    Q_OBJECT

    static constexpr int kTimeoutMs = 20000;
    // Declared first, so that the X server is the last to go: destroying a
    // QProcess kills what it runs.
    QProcess xserver;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<QProcess> kelvo;
    QProcessEnvironment environment; // of kelvo and xdotool

    QString xdotool(const QStringList &arguments)
    {
        return QString::fromLocal8Bit(runBinary(arguments, {}, environment, "xdotool", 5000).out).trimmed();
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

    // "x,y wxh" of the one window shown.
    QString placement()
    {
        QMap<QString, QString> shell; // X=, Y=, WIDTH=, HEIGHT= lines
        for (const QString &line : xdotool({"getwindowgeometry", "--shell", visibleWindows().keys().value(0)}).split('\n'))
            shell.insert(line.section('=', 0, 0), line.section('=', 1));
        return QString("%1,%2 %3x%4").arg(shell["X"], shell["Y"], shell["WIDTH"], shell["HEIGHT"]);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Xvfb picks a free display and writes its number to the given descriptor;
        // -noreset keeps it from restarting whenever the last client leaves.
        xserver.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"});
        QTRY_VERIFY_WITH_TIMEOUT(xserver.canReadLine(), kTimeoutMs);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", ":" + QString::fromLatin1(xserver.readLine()).trimmed());
        environment.insert("QT_QPA_PLATFORM", "xcb");
    }

    void init()
    {
        work = std::make_unique<QTemporaryDir>();
        kelvo = std::make_unique<QProcess>(); // ends the one before
        environment.insert("HOME", work->filePath("home"));
        PvgWriter picture;
        picture.lineColour(1).moveTo(0, 0).lineTo(4095, 3119).end();
        for (const char *name : {"a.pvg", "b.pvg", "plots/a-p.pvg"})
            QVERIFY(writeFile(work->filePath(name), QByteArray::fromStdString(picture.bytes())));
    }

    // The first window shown alone, where the main window is, and what the key
    // leaves: kelvo ended, or another window at the default place. The state
    // file places the window unless the command line does; Ctrl+Q saves the
    // state only with autosave and deletes only a temporary document.
    void startedAndAnswered_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("placement");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QByteArray>("saved");
        // Bytes past the 35 of a state file show whether it was rewritten.
        const QByteArray placed = stateFileBytes("1.0", 1, {50, 60, 550, 460, 500, 400}) + "unread";
        const QByteArray none;
        QTest::newRow("help") << QStringList{"a.pvg", "-p", "-?", "b.pvg"} << none << none << "KELVO Usage" << ""
                              << "Return" << "" << none;
        // No document, so no title was ever set: the toolkit shows the program's name.
        QTest::newRow("without a document") << QStringList() << none << none << "Open File" << "200,200 640x487"
                                            << "Escape" << "kelvo" << none;
        QTest::newRow("placed by the state file; no autosave") << QStringList{"a.pvg", "-po=l", "b.pvg"} << none << placed
            << "VORNA Viewer - b.pvg" << "50,60 500x400" << "ctrl+q" << "" << placed;
        QTest::newRow("placed by -wp=; autosave, -tmp") << QStringList{"-wp=10,20", "plots/a-p.pvg", "-tmp"}
            << QByteArray("autosave = yes\n") << placed << "VORNA Viewer - a-p.pvg" << "10,20 640x487" << "ctrl+q" << ""
            << stateFileBytes("1.0", 1, {10, 20, 650, 507, 640, 487});
    }

    void startedAndAnswered()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, config);
        QFETCH(QByteArray, state);
        QFETCH(QString, first);
        QFETCH(QString, placement);
        QFETCH(QString, key);
        QFETCH(QString, left);
        QFETCH(QByteArray, saved);
        QVERIFY(writeFile(work->filePath("home/kelvo.cfg"), config));
        if (!state.isEmpty())
            QVERIFY(writeFile(work->filePath("home/.kelvosettings"), state));
        kelvo->setProcessEnvironment(environment);
        kelvo->setWorkingDirectory(work->path());
        kelvo->start(qEnvironmentVariable("KELVO_BINARY"), arguments);
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows().values(), first.isEmpty() ? QStringList() : QStringList{first}, kTimeoutMs);
        if (left.isEmpty() && !placement.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(this->placement(), placement, 5000);
        if (!key.isEmpty())
            xdotool({"windowfocus", "--sync", visibleWindows().keys().value(0), "key", key});
        if (!left.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(visibleWindows().values() << this->placement(), QStringList({left, placement}),
                                      kTimeoutMs);
            return;
        }
        QVERIFY(kelvo->waitForFinished(kTimeoutMs) && kelvo->exitStatus() == QProcess::NormalExit && kelvo->exitCode() == 0);
        for (const char *name : {"a.pvg", "b.pvg", "plots/a-p.pvg"})
            QCOMPARE(QFile::exists(work->filePath(name)), !(arguments.contains("-tmp") && arguments.contains(name)));
        QCOMPARE(readWholeFile(work->filePath("home/.kelvosettings")), saved);
    }

    // A HOME longer than a name buffer is used whole: its first 1023 bytes
    // name another directory, whose settings are neither read nor written.
    void aLongHomeIsUsedWhole()
    {
        const QString home = work->filePath("h") + QString("/" + QString(99, 'd')).repeated(11);
        const QString cut = home.left(1023);
        QVERIFY(writeFile(home + "/kelvo.cfg", "autosave = yes\n") && writeFile(cut + "/kelvo.cfg", "autosave = no\n"));
        QProcessEnvironment longHome = environment;
        longHome.insert("HOME", home);
        kelvo->setProcessEnvironment(longHome);
        kelvo->setWorkingDirectory(work->path());
        kelvo->start(qEnvironmentVariable("KELVO_BINARY"), {"a.pvg"});
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows().values(), QStringList{"VORNA Viewer - a.pvg"}, kTimeoutMs);
        xdotool({"windowfocus", "--sync", visibleWindows().keys().value(0), "key", "ctrl+q"});
        QVERIFY(kelvo->waitForFinished(kTimeoutMs) && kelvo->exitCode() == 0);
        QCOMPARE(readWholeFile(home + "/.kelvosettings").size(), 35);
        QVERIFY(!QFile::exists(cut + "/.kelvosettings"));
    }
};

QTEST_GUILESS_MAIN(StartupEndToEndTest)
#include "startup_e2e_test.moc"
