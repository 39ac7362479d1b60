// The real kelvo binary with no display at all: unattended runs report
// failures through standard error and the exit status (the successful exports
// are export_cli_test's); every other start still needs a display.
#include "tests/support/pvgwriter.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    bool ended = false;    // by itself, before the time-out
    bool finished = false; // ended, and normally
    int exitCode = -1;
    QString standardError;
};

} // namespace

class HeadlessBatchTest : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString path(const QString &name) const { return work.filePath(name); }

    // No DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM (unless platform is given),
    // a private HOME and a printing system that is not there.
    Run runKelvo(const QStringList &arguments, const QString &platform = {}, int timeoutMs = 60000)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        if (!platform.isEmpty())
            environment.insert("QT_QPA_PLATFORM", platform);
        environment.insert("HOME", path("home"));
        environment.insert("CUPS_SERVER", path("no-scheduler.sock"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(work.path());
        process.start(qEnvironmentVariable("KELVO_BINARY"), arguments);
        Run run;
        run.ended = process.waitForFinished(timeoutMs);
        run.finished = run.ended && process.exitStatus() == QProcess::NormalExit;
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
        run.exitCode = process.exitCode();
        run.standardError = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir(work.path()).mkpath("home"));
        PvgWriter drawing;
        drawing.lineColour(1).lineWidth(8).moveTo(200, 200).lineTo(3900, 2900).end();
        QVERIFY(drawing.writeFile(path("plot.pvg").toStdString()));
        QFile notAPicture(path("notes.pvg"));
        QVERIFY(notAPicture.open(QIODevice::WriteOnly) && notAPicture.write("plain words\n") > 0);
    }

    void failuresGoToStandardErrorAndTheExitStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << QStringList{"missing.pvg", "-c=2", "-cf=bad", "-q"}
                                      << "kelvo: Error: Error opening file.";
        QTest::newRow("not a PVG file") << QStringList{"notes.pvg", "-c=2", "-cf=bad", "-q"}
                                        << "kelvo: Error: File is not a recognized PVG graphic format.";
        QTest::newRow("unwritable EPS") << QStringList{"plot.pvg", "-c=2", "-cf=nodir/out", "-q"}
                                        << "kelvo: Export failed for file: nodir/out.eps";
        QTest::newRow("unwritable JPEG") << QStringList{"plot.pvg", "-c=1", "-cf=nodir/out", "-q"}
                                         << "kelvo: Save failed: Export failed for file: nodir/out.jpg";
        QTest::newRow("no printing system") << QStringList{"plot.pvg", "-p", "-q"} << "kelvo: Print failed";
    }

    void failuresGoToStandardErrorAndTheExitStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run run = runKelvo(arguments);
        QVERIFY2(run.finished, "kelvo hung or crashed instead of reporting the failure");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.standardError.contains(message), qPrintable(run.standardError));
        QVERIFY(!QFile::exists(path("bad.eps")));
    }

    void startsThatNeedAUserStillNeedADisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("document only") << QStringList{"plot.pvg"};
        QTest::newRow("no document: the Open dialog") << QStringList{"-c=2", "-cf=out2", "-q"};
        QTest::newRow("host link") << QStringList{"plot.pvg", "-c=2", "-cf=out2", "-q", "-svrname=host"};
        QTest::newRow("toolkit option") << QStringList{"-reverse", "plot.pvg", "-c=2", "-cf=out2", "-q"};
    }

    void startsThatNeedAUserStillNeedADisplay()
    {
        QFETCH(QStringList, arguments);
        const Run run = runKelvo(arguments);
        QVERIFY2(run.ended && (!run.finished || run.exitCode != 0), "started without a display for a run that needs a user");
        QVERIFY2(run.standardError.contains("platform plugin"), qPrintable(run.standardError));
        QVERIFY(!QFile::exists(path("out2.eps")));
    }

    void aChosenPlatformKeepsTheErrorBox()
    {
        // An ordinary run: the failed load's box waits for a user, nothing on stderr.
        const Run run = runKelvo({"missing.pvg", "-c=2", "-q"}, "offscreen", 3000);
        QVERIFY(!run.ended);
        QVERIFY2(!run.standardError.contains("kelvo:"), qPrintable(run.standardError));
    }
};

QTEST_GUILESS_MAIN(HeadlessBatchTest)
#include "headless_batch_test.moc"
