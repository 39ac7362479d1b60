// The real kelvo binary with no display at all: unattended print/export runs
// work and report failures through standard error and the exit status; every
// other start still needs a display.
#include "tests/support/pvgwriter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kRunTimeoutMs = 60000;

struct Run {
    bool finished = false; // ended by itself, normally, before the time-out
    bool crashed = false;
    int exitCode = -1;
    QString standardError;
};

class HeadlessBatchTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void epsExportWritesTheFileAndSucceeds();
    void jpegExportWritesTheFileAndSucceeds();
    void jpegExportDefaultsToTheDocumentsName();
    void failedLoadGoesToStandardErrorAndFails_data();
    void failedLoadGoesToStandardErrorAndFails();
    void unwritableExportFails_data();
    void unwritableExportFails();
    void printWithoutAPrintingSystemFails();
    void startsThatNeedAUserStillNeedADisplay_data();
    void startsThatNeedAUserStillNeedADisplay();
    void aChosenPlatformKeepsTheErrorBox();

private:
    // No DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM; a private HOME, and a
    // printing system that is not there.
    QProcessEnvironment headlessEnvironment() const;
    Run runKelvo(const QStringList &arguments, const QProcessEnvironment &environment,
                 int timeoutMs = kRunTimeoutMs) const;
    QString path(const QString &name) const { return work->filePath(name); }

    std::unique_ptr<QTemporaryDir> work;
};

void HeadlessBatchTest::init()
{
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(work->isValid());
    QVERIFY(QDir(work->path()).mkpath("home"));
    QVERIFY(QDir(work->path()).mkpath("sub"));
    PvgWriter drawing;
    drawing.lineColour(1).lineWidth(8).moveTo(200, 200).lineTo(3900, 2900).lineTo(3900, 200).end();
    QVERIFY(drawing.writeFile(path("plot.pvg").toStdString()));
    QVERIFY(drawing.writeFile(path("sub/plot.pvg").toStdString()));
    QFile notAPicture(path("notes.pvg"));
    QVERIFY(notAPicture.open(QIODevice::WriteOnly));
    notAPicture.write("plain words, no picture\n");
}

QProcessEnvironment HeadlessBatchTest::headlessEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert("HOME", path("home"));
    environment.insert("CUPS_SERVER", path("no-scheduler.sock"));
    return environment;
}

Run HeadlessBatchTest::runKelvo(const QStringList &arguments, const QProcessEnvironment &environment,
                                int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(work->path());
    process.start(qEnvironmentVariable("KELVO_BINARY"), arguments);
    Run run;
    if (!process.waitForStarted(timeoutMs))
        return run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.standardError = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.finished = !run.crashed;
    run.exitCode = process.exitCode();
    run.standardError = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

void HeadlessBatchTest::epsExportWritesTheFileAndSucceeds()
{
    const Run run = runKelvo({"plot.pvg", "-c=2", "-cf=out", "-q"}, headlessEnvironment());
    QVERIFY2(run.finished, qPrintable(run.standardError));
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(!run.standardError.contains("kelvo:"), qPrintable(run.standardError));
    QFile eps(path("out.eps"));
    QVERIFY(eps.open(QIODevice::ReadOnly));
    QVERIFY(eps.readAll().startsWith("%!PS-Adobe"));
}

void HeadlessBatchTest::jpegExportWritesTheFileAndSucceeds()
{
    const Run run = runKelvo({"plot.pvg", "-c=1", "-cf=pic", "-q"}, headlessEnvironment());
    QVERIFY2(run.finished, qPrintable(run.standardError));
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(!run.standardError.contains("kelvo:"), qPrintable(run.standardError));
    QImageReader reader(path("pic.jpg"));
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QImage image = reader.read();
    QVERIFY(!image.isNull());
    // The view's picture: a white page with the dark lines, not an empty grab.
    QVERIFY(image.width() > 100 && image.height() > 100);
    int inkedPixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inkedPixels += qGray(image.pixel(x, y)) < 230 ? 1 : 0;
    QVERIFY2(inkedPixels > 2 * image.width(), qPrintable(QString::number(inkedPixels)));
    QVERIFY(qGray(image.pixel(image.width() / 10, image.height() / 2)) > 200);
}

void HeadlessBatchTest::jpegExportDefaultsToTheDocumentsName()
{
    const Run run = runKelvo({"sub/plot.pvg", "-c=1", "-q"}, headlessEnvironment());
    QVERIFY2(run.finished, qPrintable(run.standardError));
    QCOMPARE(run.exitCode, 0);
    QVERIFY(QFile::exists(path("sub/plot.jpg")));
}

void HeadlessBatchTest::failedLoadGoesToStandardErrorAndFails_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file, EPS") << "missing.pvg" << "-c=2" << "kelvo: Error: Error opening file.";
    QTest::newRow("missing file, JPEG") << "missing.pvg" << "-c=1" << "kelvo: Error: Error opening file.";
    QTest::newRow("not a PVG file") << "notes.pvg" << "-c=2"
                                    << "kelvo: Error: File is not a recognized PVG graphic format.";
}

void HeadlessBatchTest::failedLoadGoesToStandardErrorAndFails()
{
    QFETCH(QString, document);
    QFETCH(QString, command);
    QFETCH(QString, message);
    const Run run = runKelvo({document, command, "-cf=out", "-q"}, headlessEnvironment());
    QVERIFY2(run.finished, "kelvo hung or crashed instead of reporting the failed load");
    QVERIFY2(run.exitCode != 0, qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(message), qPrintable(run.standardError));
    QVERIFY(!QFile::exists(path("out.eps")));
}

void HeadlessBatchTest::unwritableExportFails_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("EPS") << "-c=2" << "kelvo: Export failed for file: nodir/out.eps";
    QTest::newRow("JPEG") << "-c=1" << "kelvo: Save failed: Export failed for file: nodir/out.jpg";
}

void HeadlessBatchTest::unwritableExportFails()
{
    QFETCH(QString, command);
    QFETCH(QString, message);
    const Run run = runKelvo({"plot.pvg", command, "-cf=nodir/out", "-q"}, headlessEnvironment());
    QVERIFY2(run.finished, qPrintable(run.standardError));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.standardError.contains(message), qPrintable(run.standardError));
}

void HeadlessBatchTest::printWithoutAPrintingSystemFails()
{
    const Run run = runKelvo({"plot.pvg", "-p", "-q"}, headlessEnvironment());
    QVERIFY2(run.finished, qPrintable(run.standardError));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.standardError.contains("kelvo: Print failed"), qPrintable(run.standardError));
}

void HeadlessBatchTest::startsThatNeedAUserStillNeedADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("document only") << QStringList{"plot.pvg"};
    QTest::newRow("export without -q") << QStringList{"plot.pvg", "-c=2", "-cf=out"};
    QTest::newRow("-q without a command") << QStringList{"plot.pvg", "-q"};
    QTest::newRow("no document: the Open dialog") << QStringList{"-c=2", "-cf=out", "-q"};
    QTest::newRow("-po= is no print request") << QStringList{"plot.pvg", "-po=p", "-q"};
    QTest::newRow("host link") << QStringList{"plot.pvg", "-c=2", "-cf=out", "-q", "-svrname=host"};
    QTest::newRow("help") << QStringList{"plot.pvg", "-c=2", "-cf=out", "-q", "-?"};
    QTest::newRow("toolkit option") << QStringList{"-reverse", "plot.pvg", "-c=2", "-cf=out", "-q"};
}

void HeadlessBatchTest::startsThatNeedAUserStillNeedADisplay()
{
    QFETCH(QStringList, arguments);
    const Run run = runKelvo(arguments, headlessEnvironment());
    QVERIFY2(run.crashed || (run.finished && run.exitCode != 0),
             "kelvo started without a display for a run that needs a user");
    QVERIFY2(run.standardError.contains("platform plugin"), qPrintable(run.standardError));
    QVERIFY(!QFile::exists(path("out.eps")));
}

void HeadlessBatchTest::aChosenPlatformKeepsTheErrorBox()
{
    // With the platform given, the run is an ordinary one: the failed load's
    // box waits for a user, and nothing goes to standard error.
    QProcessEnvironment environment = headlessEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    const Run run = runKelvo({"missing.pvg", "-c=2", "-q"}, environment, 3000);
    QVERIFY(!run.finished && !run.crashed);
    QVERIFY2(!run.standardError.contains("kelvo:"), qPrintable(run.standardError));
}

} // namespace

QTEST_GUILESS_MAIN(HeadlessBatchTest)
#include "headless_batch_test.moc"
