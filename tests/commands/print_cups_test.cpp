// Prints with the real binary through a real printing system: a CUPS scheduler
// with a cups-pdf queue as the default printer. The PDF that cups-pdf writes
// is rendered and the drawing measured on it. Without any printing system the
// print command prints nothing, says nothing and the program still quits.

#include "tests/commands/pdfmeasure.h"
#include "tests/commands/printsupport.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTransform>

#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kRenderDpi = 100;
constexpr int kTolerance = 3;

struct ToolRun {
    bool finished = false;
    int exitCode = -1;
    QString output;
    QString errors;
};

QString findTool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/local/sbin"});
    return path;
}

// Runs a program to its end, killing it after timeoutMs.
ToolRun runTool(const QString &program, const QStringList &arguments,
                const QProcessEnvironment &environment, int timeoutMs = 30000,
                const QString &workingDirectory = QString())
{
    ToolRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(findTool(program), arguments);
    if (!process.waitForStarted(10000))
        return run;
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QString expandUserVariables(QString text)
{
    const passwd *user = getpwuid(geteuid());
    if (user != nullptr) {
        text.replace("${HOME}", QString::fromLocal8Bit(user->pw_dir));
        text.replace("${USER}", QString::fromLocal8Bit(user->pw_name));
    }
    return text;
}

// Where cups-pdf puts its files: the Out and AnonDirName keys of its
// configuration (the queue's own file first), or their built-in defaults.
QStringList cupsPdfOutputDirectories(const QString &queue)
{
    QStringList directories;
    for (const QString &config : {QString("/etc/cups/cups-pdf-%1.conf").arg(queue),
                                  QString("/etc/cups/cups-pdf.conf")}) {
        QFile file(config);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        for (const QString &line : QString::fromLocal8Bit(file.readAll()).split('\n')) {
            const auto match = QRegularExpression("^\\s*(Out|AnonDirName)\\s+(\\S.*?)\\s*$").match(line);
            if (match.hasMatch())
                directories << expandUserVariables(match.captured(2));
        }
    }
    directories << expandUserVariables("/var/spool/cups-pdf/${USER}") << "/var/spool/cups-pdf/ANONYMOUS";
    directories.removeDuplicates();
    return directories;
}

using PdfSnapshot = QMap<QString, QDateTime>;

PdfSnapshot pdfFilesIn(const QStringList &directories)
{
    PdfSnapshot files;
    for (const QString &directory : directories)
        for (const QFileInfo &info : QDir(directory).entryInfoList({"*.pdf"}, QDir::Files))
            files.insert(info.absoluteFilePath(), info.lastModified());
    return files;
}

// The PDF that appeared or changed since before, waiting up to timeoutMs.
QString newPdf(const QStringList &directories, const PdfSnapshot &before, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    do {
        const PdfSnapshot now = pdfFilesIn(directories);
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            if (!before.contains(it.key()) || before.value(it.key()) != it.value())
                if (QFileInfo(it.key()).size() > 0)
                    return it.key();
        QThread::msleep(200);
    } while (clock.elapsed() < timeoutMs);
    return {};
}
} // namespace

class CupsPrintTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir scratch;
    QProcess scheduler;          // our own cupsd, when none was running
    QString serverSocket;        // its socket; empty when using the running one
    QString queue = QString("kelvo_test_%1").arg(getpid());
    QString previousDefault;
    QString notReady;            // why CUPS printing cannot be tested here
    QStringList outputDirectories;
    QStringList pdfsWritten;

    QProcessEnvironment clientEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("LPDEST");
        environment.remove("PRINTER");
        if (!serverSocket.isEmpty())
            environment.insert("CUPS_SERVER", serverSocket);
        return environment;
    }

    bool schedulerAnswers(const QProcessEnvironment &environment) const
    {
        const ToolRun run = runTool("lpstat", {"-r"}, environment, 10000);
        return run.finished && run.output.contains("scheduler is running");
    }

    bool startOwnScheduler()
    {
        // Filters run as an unprivileged user: they must reach the spool.
        const QString root = scratch.filePath("cups");
        ::chmod(QFile::encodeName(scratch.path()).constData(), 0755);
        for (const char *sub : {"etc/ppd", "spool/tmp", "cache", "state", "log"})
            QDir().mkpath(root + "/" + sub);
        for (const char *sub : {"", "/etc", "/etc/ppd", "/spool", "/cache", "/state", "/log"})
            ::chmod(QFile::encodeName(root + sub).constData(), 0755);
        ::chmod(QFile::encodeName(root + "/spool/tmp").constData(), 01777);
        serverSocket = root + "/cups.sock";
        QFile conf(root + "/etc/cupsd.conf");
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QString("LogLevel warn\nListen %1\nBrowsing No\nWebInterface No\n"
                           "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                           "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                           "  </Limit>\n</Policy>\n")
                       .arg(serverSocket)
                       .toLocal8Bit());
        conf.close();
        QFile files(root + "/etc/cups-files.conf");
        if (!files.open(QIODevice::WriteOnly))
            return false;
        files.write(QString("ServerRoot %1/etc\nRequestRoot %1/spool\nTempDir %1/spool/tmp\n"
                            "CacheDir %1/cache\nStateDir %1/state\nErrorLog %1/log/error_log\n"
                            "AccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                            "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\nSystemGroup root\n")
                        .arg(root)
                        .toLocal8Bit());
        files.close();

        scheduler.setProcessChannelMode(QProcess::MergedChannels);
        // Should this test be killed, its scheduler must not outlive it.
        scheduler.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        scheduler.start(findTool("cupsd"), {"-f", "-c", root + "/etc/cupsd.conf", "-s",
                                            root + "/etc/cups-files.conf"});
        if (!scheduler.waitForStarted(10000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            if (scheduler.state() != QProcess::Running)
                return false;
            if (schedulerAnswers(clientEnvironment()))
                return true;
            QThread::msleep(200);
        }
        return false;
    }

    QString cupsPdfDriver()
    {
        const ToolRun run = runTool("lpinfo", {"-m"}, clientEnvironment(), 60000);
        for (const QString &line : run.output.split('\n'))
            if (line.contains("CUPS-PDF_opt.ppd"))
                return line.section(' ', 0, 0);
        return {};
    }

    void waitForJobsToFinish()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 120000) {
            const ToolRun run = runTool("lpstat", {"-o", queue}, clientEnvironment(), 10000);
            if (run.finished && run.output.trimmed().isEmpty())
                return;
            QThread::msleep(300);
        }
        QFAIL("print job still unfinished after two minutes");
    }

    // Runs kelvo in a fresh directory holding plot.pvg (the frame drawing),
    // with a private HOME holding config as kelvo.cfg.
    ToolRun runKelvo(const QStringList &arguments, const QProcessEnvironment &base,
                     const QString &config, QString *directory)
    {
        static int runNumber = 0;
        *directory = scratch.filePath(QString("run%1").arg(++runNumber));
        QDir().mkpath(*directory);
        frameDrawing().writeFile((*directory + "/plot.pvg").toStdString());
        if (!config.isEmpty()) {
            QFile file(*directory + "/kelvo.cfg");
            if (file.open(QIODevice::WriteOnly))
                file.write(config.toLocal8Bit());
        }
        QProcessEnvironment environment = base;
        environment.insert("HOME", *directory);
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess kelvo;
        kelvo.setProcessEnvironment(environment);
        kelvo.setWorkingDirectory(*directory);
        ToolRun run;
        kelvo.start(qEnvironmentVariable("KELVO_BINARY"), arguments);
        if (!kelvo.waitForStarted(10000))
            return run;
        run.finished = kelvo.waitForFinished(60000);
        if (!run.finished) {
            kelvo.kill();
            kelvo.waitForFinished(5000);
        }
        run.exitCode = kelvo.exitStatus() == QProcess::NormalExit ? kelvo.exitCode() : -1;
        run.errors = QString::fromLocal8Bit(kelvo.readAllStandardError());
        return run;
    }

    // Where the printed drawing must lie on the paper, in inches: its place in
    // printer dots from the printable area of this queue's page.
    QRectF expectedDrawingInches(QPageLayout::Orientation orientation, QPageSize::PageSizeId paper,
                                 QPoint shiftDots, QSizeF sizeFactors)
    {
        QPrinter printer(QPrinterInfo::printerInfo(queue), QPrinter::HighResolution);
        printer.setPageOrientation(orientation);
        printer.setPageSize(QPageSize(paper));
        const QRectF printable = printer.pageLayout().paintRect(QPageLayout::Inch);
        const double dpi = printer.resolution();
        return QRectF(printable.left() + 0.8 + shiftDots.x() / dpi,
                      printable.top() + 0.6 + shiftDots.y() / dpi, 9.0 * sizeFactors.width(),
                      6.855 * sizeFactors.height());
    }

    // Prints plot.pvg with the given words and configuration, then checks the
    // page cups-pdf wrote.
    void printAndCheck(const QStringList &arguments, const QString &config,
                       QPageLayout::Orientation orientation, QPageSize::PageSizeId paper, QPoint shift,
                       QSizeF sizeFactors)
    {
        if (!notReady.isEmpty())
            QSKIP(qPrintable(notReady));
        const PdfSnapshot before = pdfFilesIn(outputDirectories);
        QString directory;
        const ToolRun run = runKelvo(arguments, clientEnvironment(), config, &directory);
        QVERIFY2(run.finished, "kelvo did not quit after printing");
        QCOMPARE(run.exitCode, 0);
        waitForJobsToFinish();
        const QString pdf = newPdf(outputDirectories, before, 30000);
        QVERIFY2(!pdf.isEmpty(), qPrintable("no PDF in " + outputDirectories.join(", ")));
        pdfsWritten << pdf;
        QCOMPARE(pdfPageCount(pdf), 1);

        QImage page = renderPdfPage(pdf, kRenderDpi);
        QVERIFY(!page.isNull());
        const QSizeF paperInches = QPageSize(paper).size(QPageSize::Inch);
        const QSizeF portraitPixels = paperInches * kRenderDpi;
        const auto fits = [](QSize size, QSizeF wanted) {
            return std::abs(size.width() - wanted.width()) <= 1 && std::abs(size.height() - wanted.height()) <= 1;
        };
        QVERIFY2(fits(page.size(), portraitPixels) || fits(page.size(), portraitPixels.transposed()),
                 qPrintable(QString("page is %1x%2 pixels").arg(page.width()).arg(page.height())));
        // cups-pdf puts a landscape page on upright paper, turned a quarter to the
        // left; turn the rendering back before measuring.
        if (orientation == QPageLayout::Landscape && page.height() > page.width())
            page = page.transformed(QTransform().rotate(90));
        const QRect expected =
            inchesToPixels(expectedDrawingInches(orientation, paper, shift, sizeFactors), kRenderDpi);
        const QString mismatch = frameMismatch(page, expected, kTolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        QVERIFY(!qEnvironmentVariable("KELVO_BINARY").isEmpty());
        for (const char *tool : {"cupsd", "lpadmin", "lpstat", "lpinfo", "pdftoppm", "pdfinfo"})
            if (findTool(tool).isEmpty()) {
                notReady = QString("%1 is not installed").arg(tool);
                return;
            }
        if (!schedulerAnswers(clientEnvironment())) {
            // The cups-pdf backend only runs under a scheduler started by root.
            if (geteuid() != 0) {
                notReady = "no scheduler running, and starting one with cups-pdf needs root";
                return;
            }
            if (!startOwnScheduler()) {
                notReady = "cupsd did not start: " + QString::fromLocal8Bit(scheduler.readAll());
                return;
            }
            // This process asks the same scheduler about the queue's page.
            qputenv("CUPS_SERVER", serverSocket.toLocal8Bit());
        } else {
            const ToolRun current = runTool("lpstat", {"-d"}, clientEnvironment());
            const auto match = QRegularExpression("destination:\\s*(\\S+)").match(current.output);
            if (match.hasMatch())
                previousDefault = match.captured(1);
        }
        qunsetenv("LPDEST");
        qunsetenv("PRINTER");

        const QString driver = cupsPdfDriver();
        QVERIFY2(!driver.isEmpty(), "lpinfo lists no CUPS-PDF_opt.ppd");
        const ToolRun added = runTool("lpadmin", {"-p", queue, "-E", "-v", "cups-pdf:/", "-m", driver},
                                      clientEnvironment());
        if (!(added.finished && added.exitCode == 0) && geteuid() != 0) {
            // A running scheduler that this user may not administer.
            notReady = "cannot add a queue: " + added.errors;
            return;
        }
        QVERIFY2(added.finished && added.exitCode == 0, qPrintable(added.errors));
        const ToolRun madeDefault = runTool("lpadmin", {"-d", queue}, clientEnvironment());
        QVERIFY2(madeDefault.finished && madeDefault.exitCode == 0, qPrintable(madeDefault.errors));
        outputDirectories = cupsPdfOutputDirectories(queue);
    }

    void cleanupTestCase()
    {
        for (const QString &pdf : pdfsWritten)
            QFile::remove(pdf);
        if (scheduler.state() != QProcess::NotRunning) {
            scheduler.terminate(); // SIGTERM to our own cupsd's pid
            if (!scheduler.waitForFinished(15000)) {
                scheduler.kill();
                scheduler.waitForFinished(5000);
            }
        } else if (notReady.isEmpty()) {
            runTool("lpadmin", {"-x", queue}, clientEnvironment());
            if (!previousDefault.isEmpty())
                runTool("lpadmin", {"-d", previousDefault}, clientEnvironment());
        }
    }

    void printCommand_withoutPrintingSystem_printsNothingAndQuits()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("CUPS_SERVER", scratch.filePath("no-scheduler.sock"));
        environment.remove("LPDEST");
        environment.remove("PRINTER");
        QString directory;
        const ToolRun run = runKelvo({"plot.pvg", "-p", "-q"}, environment, QString(), &directory);
        QVERIFY2(run.finished, "kelvo did not quit");
        QCOMPARE(run.exitCode, 0);
        // No fallback output file anywhere in its directory, no warning either.
        QCOMPARE(QDir(directory).entryList(QDir::Files | QDir::NoDotAndDotDot),
                 QStringList({"plot.pvg"}));
        QVERIFY2(!run.errors.contains("QPainter"), qPrintable(run.errors));
    }

    void printCommand_printsLandscapeLetterByDefault()
    {
        printAndCheck({"plot.pvg", "-p", "-q"}, QString(), QPageLayout::Landscape, QPageSize::Letter,
                      QPoint(0, 0), QSizeF(1, 1));
    }

    // Upright, the drawing only fits the paper when narrowed.
    void printCommand_takesPortraitAndPaperShiftAndSizeFromSettings()
    {
        printAndCheck({"plot.pvg", "-po=p", "-p", "-q"},
                      "printer_paper_type = 2\nprinter_page_shift = 600,-240\n"
                      "printer_page_size = 0.7, 1.2\n",
                      QPageLayout::Portrait, QPageSize::A4, QPoint(600, -240), QSizeF(0.7, 1.2));
    }
};

QTEST_MAIN(CupsPrintTest)
#include "print_cups_test.moc"
