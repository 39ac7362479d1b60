// The real kelvo binary run as scripts run it, without any display: exports
// named and placed by the options, the JPEG quality, failures reported through
// standard error and the exit status, and starts that still need a display.
#include "tests/support/pvgwriter.h"

#include <QDir>
#include <QImage>
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

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first entry of a baseline JPEG's first quantisation table; -1 if none.
int firstQuantiser(const QByteArray &jpeg)
{
    const auto byteAt = [&](qsizetype i) { return i < jpeg.size() ? int(quint8(jpeg.at(i))) : -1; };
    for (qsizetype at = 2; byteAt(at) == 0xFF && byteAt(at + 1) != 0xDA; at += 2 + byteAt(at + 2) * 256 + byteAt(at + 3))
        if (byteAt(at + 1) == 0xDB)
            return byteAt(at + 5);
    return -1;
}
} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString path(const QString &name) const { return root.filePath(name); }

    // No DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM (unless platform is given),
    // HOME root/home and a printing system that is not there.
    Run runKelvo(const QStringList &arguments, const QString &workingDirectory = "work", const QString &platform = {},
                 int timeoutMs = 60000)
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
        process.setWorkingDirectory(path(workingDirectory));
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
    bool succeeds(const QStringList &arguments, const QString &workingDirectory = "work")
    {
        const Run run = runKelvo(arguments, workingDirectory);
        return run.finished && run.exitCode == 0 && run.standardError.isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *directory : {"home", "data", "work", "reports"})
            QVERIFY(QDir(root.path()).mkpath(directory));
        PvgWriter writer;
        writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100).moveTo(400, 1560).lineTo(3700, 1560).end();
        for (const char *name : {"plot.pvg", "data/run1.pvg", "work/plot.pvg"})
            QVERIFY(writer.writeFile(path(name).toStdString()));
        QFile notAPicture(path("work/notes.pvg"));
        QVERIFY(notAPicture.open(QIODevice::WriteOnly) && notAPicture.write("plain words\n") > 0);
    }

    void aJpegExportIsTheViewShowingTheDrawing()
    {
        QVERIFY(succeeds({"plot.pvg", "-c=1", "-q"}, "."));
        const QImage image(path("plot.jpg"), "JPEG");
        // The view: the client width of the window, less height than the window.
        QCOMPARE(image.width(), 640);
        QVERIFY(image.height() > 300 && image.height() < 487);
        const QRgb centre = image.pixel(image.width() / 2, image.height() / 2);
        QVERIFY(qRed(centre) > 180 && qGreen(centre) < 100 && qBlue(centre) < 100);
        QVERIFY(qGray(image.pixel(3, 3)) > 230);
    }

    void theExportIsNamedAndPlacedByTheOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("written");
        QTest::newRow("beside a document in a directory") << QStringList{path("data/run1.pvg"), "-c=1", "-q"}
                                                          << "data/run1.jpg";
        QTest::newRow("-cf= in the directory of -cwd=")
            << QStringList{path("plot.pvg"), "-c=1", "-cf=summary", "-cwd=" + path("reports"), "-q"} << "reports/summary.jpg";
        QTest::newRow("-cf= in the current directory") << QStringList{path("plot.pvg"), "-c=2", "-cf=summary", "-q"}
                                                       << "work/summary.eps";
    }

    void theExportIsNamedAndPlacedByTheOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, written);
        QVERIFY(succeeds(arguments));
        const QByteArray bytes = readWholeFile(path(written));
        QVERIFY(bytes.startsWith("\xFF\xD8\xFF") || (bytes.startsWith("%!PS-Adobe") && bytes.endsWith("\nstroke\n")));
        // Nothing lands in the current directory unless it is the place named.
        const QStringList inWork = QDir(path("work")).entryList({"*.jpg", "*.eps"}, QDir::Files);
        QCOMPARE(inWork, written.startsWith("work/") ? QStringList{"summary.eps"} : QStringList{});
        QFile::remove(path(written));
    }

    void theJpegQualityIsTheSettingTimesTen()
    {
        QVERIFY(succeeds({"plot.pvg", "-c=1", "-cf=default", "-q"}, "."));
        QFile config(path("home/kelvo.cfg"));
        QVERIFY(config.open(QIODevice::WriteOnly) && config.write("export_quality = 7\n") > 0);
        config.close();
        QVERIFY(succeeds({"plot.pvg", "-c=1", "-cf=seventy", "-q"}, "."));
        QVERIFY(config.remove());
        // Quality 100 quantises by 1; 70 scales the first step of 16 to 10 (7 would give 114).
        QCOMPARE(firstQuantiser(readWholeFile(path("default.jpg"))), 1);
        QCOMPARE(firstQuantiser(readWholeFile(path("seventy.jpg"))), 10);
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
        QVERIFY(!QFile::exists(path("work/bad.eps")));
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
        QVERIFY(!QFile::exists(path("work/out2.eps")));
    }

    void aChosenPlatformKeepsTheErrorBox()
    {
        // An ordinary run: the failed load's box waits for a user, nothing on stderr.
        const Run run = runKelvo({"missing.pvg", "-c=2", "-q"}, "work", "offscreen", 3000);
        QVERIFY(!run.ended);
        QVERIFY2(!run.standardError.contains("kelvo:"), qPrintable(run.standardError));
    }
};

QTEST_GUILESS_MAIN(BatchTest)
#include "batch_test.moc"
