// Prints with the real binary through a real printing system: a CUPS scheduler
// with a cups-pdf queue as the default printer. The PDF that cups-pdf writes
// is rendered and the drawing measured on it. Without any printing system the
// print command prints nothing, says nothing and the program still quits.

#include "tests/commands/printsupport.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
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
    const QString path = QStandardPaths::findExecutable(name);
    return path.isEmpty() ? QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin"}) : path;
}

// Runs a program to its end, killing it after timeoutMs.
ToolRun runTool(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                int timeoutMs = 30000, const QString &workingDirectory = QString())
{
    ToolRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(program.contains('/') ? program : findTool(program), arguments);
    run.finished = process.waitForFinished(timeoutMs);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = run.finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Where cups-pdf puts its files: the Out and AnonDirName keys of its
// configuration, and their built-in defaults.
QStringList cupsPdfOutputDirectories()
{
    QString text = "Out /var/spool/cups-pdf/${USER}\nAnonDirName /var/spool/cups-pdf/ANONYMOUS\n";
    QFile config("/etc/cups/cups-pdf.conf");
    if (config.open(QIODevice::ReadOnly))
        text += QString::fromLocal8Bit(config.readAll());
    const passwd *user = getpwuid(geteuid());
    text.replace("${HOME}", user->pw_dir).replace("${USER}", user->pw_name);
    QStringList directories;
    for (const auto &match : QRegularExpression("^\\s*(?:Out|AnonDirName)\\s+(\\S.*?)\\s*$",
                                                QRegularExpression::MultilineOption).globalMatch(text))
        directories << match.captured(1);
    return directories;
}

QMap<QString, QDateTime> pdfFilesIn(const QStringList &directories)
{
    QMap<QString, QDateTime> files;
    for (const QString &directory : directories)
        for (const QFileInfo &info : QDir(directory).entryInfoList({"*.pdf"}, QDir::Files))
            files.insert(info.absoluteFilePath(), info.lastModified());
    return files;
}
} // namespace

class CupsPrintTest : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QProcess scheduler;   // our own cupsd, when none was running
    QString serverSocket; // its socket; empty when using the running one
    QString queue = QString("kelvo_test_%1").arg(getpid());
    QString previousDefault;
    QString notReady; // why CUPS printing cannot be tested here
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

    bool schedulerAnswers() const { return runTool("lpstat", {"-r"}, clientEnvironment(), 10000).output.contains("scheduler is running"); }

    bool startOwnScheduler()
    {
        // Filters run as an unprivileged user: they must reach the spool.
        const QString root = scratch.filePath("cups");
        for (const char *sub : {"etc/ppd", "spool/tmp", "cache", "state", "log"})
            QDir().mkpath(root + "/" + sub);
        for (const QString &sub : {scratch.path(), root, root + "/etc", root + "/etc/ppd", root + "/spool", root + "/cache",
                                   root + "/state", root + "/log"})
            ::chmod(QFile::encodeName(sub).constData(), 0755);
        ::chmod(QFile::encodeName(root + "/spool/tmp").constData(), 01777);
        serverSocket = root + "/cups.sock";
        QFile conf(root + "/etc/cupsd.conf"), files(root + "/etc/cups-files.conf");
        if (!conf.open(QIODevice::WriteOnly) || !files.open(QIODevice::WriteOnly))
            return false;
        conf.write(QString("LogLevel warn\nListen %1\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                           "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                           "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                       .arg(serverSocket).toLocal8Bit());
        files.write(QString("ServerRoot %1/etc\nRequestRoot %1/spool\nTempDir %1/spool/tmp\nCacheDir %1/cache\n"
                            "StateDir %1/state\nErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                            "PageLog %1/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                            "SystemGroup root\n")
                        .arg(root).toLocal8Bit());
        conf.close();
        files.close();

        scheduler.setProcessChannelMode(QProcess::MergedChannels);
        // Should this test be killed, its scheduler must not outlive it.
        scheduler.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        scheduler.start(findTool("cupsd"), {"-f", "-c", conf.fileName(), "-s", files.fileName()});
        QElapsedTimer clock;
        clock.start();
        while (scheduler.waitForStarted(10000) && scheduler.state() == QProcess::Running && clock.elapsed() < 20000) {
            if (schedulerAnswers())
                return true;
            QThread::msleep(200);
        }
        return false;
    }

    // Prints the frame drawing with the given words and settings through the
    // real binary, then checks the page cups-pdf wrote.
    void printAndCheck(const QStringList &arguments, const QByteArray &config, QPageLayout::Orientation orientation,
                       QPageSize::PageSizeId paper, QPoint shiftDots, QSizeF sizeFactors)
    {
        if (!notReady.isEmpty())
            QSKIP(qPrintable(notReady));
        const auto before = pdfFilesIn(outputDirectories);
        const ToolRun run = runKelvo(arguments, clientEnvironment(), config);
        QVERIFY2(run.finished && run.exitCode == 0, "kelvo did not quit after printing");
        QElapsedTimer clock;
        clock.start();
        while (!runTool("lpstat", {"-o", queue}, clientEnvironment()).output.trimmed().isEmpty()) {
            QVERIFY2(clock.elapsed() < 120000, "print job still unfinished after two minutes");
            QThread::msleep(300);
        }
        QString pdf;
        QTRY_VERIFY_WITH_TIMEOUT(!(pdf = newPdf(before)).isEmpty(), 30000);
        pdfsWritten << pdf;

        QImage page = renderPdfPage(pdf, kRenderDpi);
        const QSize upright = (QPageSize(paper).size(QPageSize::Inch) * kRenderDpi).toSize();
        const auto fits = [](QSize a, QSize b) { return std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1; };
        QVERIFY2(fits(page.size(), upright) || fits(page.size(), upright.transposed()),
                 qPrintable(QString("page is %1x%2 pixels").arg(page.width()).arg(page.height())));
        // cups-pdf puts a landscape page on upright paper, turned a quarter to
        // the left; turn it back before measuring.
        if (orientation == QPageLayout::Landscape && page.height() > page.width())
            page = page.transformed(QTransform().rotate(90));

        // The drawing lies 0.8 in, 0.6 in plus the shift from this queue's printable area.
        QPrinter printer(QPrinterInfo::printerInfo(queue), QPrinter::HighResolution);
        printer.setPageOrientation(orientation);
        printer.setPageSize(QPageSize(paper));
        const QPointF printable = printer.pageLayout().paintRect(QPageLayout::Inch).topLeft();
        const QRectF inches(printable + QPointF(0.8, 0.6) + QPointF(shiftDots) / printer.resolution(),
                            QSizeF(9.0 * sizeFactors.width(), 6.855 * sizeFactors.height()));
        const QString mismatch = frameMismatch(page, inchesToPixels(inches, kRenderDpi), kTolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    QString newPdf(const QMap<QString, QDateTime> &before) const
    {
        const auto now = pdfFilesIn(outputDirectories);
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            if (before.value(it.key()) != it.value() && QFileInfo(it.key()).size() > 0)
                return it.key();
        return {};
    }

    // Runs kelvo on plot.pvg in a fresh directory that is also its HOME, with config as kelvo.cfg.
    ToolRun runKelvo(const QStringList &arguments, QProcessEnvironment environment, const QByteArray &config,
                     QString *directory = nullptr)
    {
        static int runNumber = 0;
        const QString here = scratch.filePath(QString("run%1").arg(++runNumber));
        QDir().mkpath(here);
        frameDrawing().writeFile((here + "/plot.pvg").toStdString());
        QFile file(here + "/kelvo.cfg");
        if (!config.isEmpty() && file.open(QIODevice::WriteOnly))
            file.write(config);
        file.close();
        environment.insert("HOME", here);
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        if (directory != nullptr)
            *directory = here;
        return runTool(qEnvironmentVariable("KELVO_BINARY"), arguments, environment, 60000, here);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"cupsd", "lpadmin", "lpstat", "lpinfo", "pdftoppm"})
            if (findTool(tool).isEmpty()) {
                notReady = QString("%1 is not installed").arg(tool);
                return;
            }
        if (!schedulerAnswers()) {
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
            const auto current = QRegularExpression("destination:\\s*(\\S+)").match(runTool("lpstat", {"-d"}, clientEnvironment()).output);
            previousDefault = current.captured(1);
        }
        qunsetenv("LPDEST");
        qunsetenv("PRINTER");

        QString driver;
        for (const QString &line : runTool("lpinfo", {"-m"}, clientEnvironment(), 60000).output.split('\n'))
            if (line.contains("CUPS-PDF_opt.ppd"))
                driver = line.section(' ', 0, 0);
        QVERIFY2(!driver.isEmpty(), "lpinfo lists no CUPS-PDF_opt.ppd");
        const ToolRun added = runTool("lpadmin", {"-p", queue, "-E", "-v", "cups-pdf:/", "-m", driver}, clientEnvironment());
        if (added.exitCode != 0 && geteuid() != 0) {
            notReady = "cannot add a queue: " + added.errors; // a scheduler this user may not administer
            return;
        }
        QVERIFY2(added.exitCode == 0, qPrintable(added.errors));
        const ToolRun madeDefault = runTool("lpadmin", {"-d", queue}, clientEnvironment());
        QVERIFY2(madeDefault.exitCode == 0, qPrintable(madeDefault.errors));
        outputDirectories = cupsPdfOutputDirectories();
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

    void withoutAPrintingSystemNothingIsPrintedAndKelvoQuits()
    {
        QProcessEnvironment environment = clientEnvironment();
        environment.insert("CUPS_SERVER", scratch.filePath("no-scheduler.sock"));
        QString directory;
        const ToolRun run = runKelvo({"plot.pvg", "-p", "-q"}, environment, QByteArray(), &directory);
        QVERIFY2(run.finished && run.exitCode == 0, "kelvo did not quit");
        // No fallback output file, no painter warning either.
        QCOMPARE(QDir(directory).entryList(QDir::Files), QStringList({"plot.pvg"}));
        QVERIFY2(!run.errors.contains("QPainter"), qPrintable(run.errors));
    }

    void aPrintIsLandscapeLetterByDefault()
    {
        printAndCheck({"plot.pvg", "-p", "-q"}, QByteArray(), QPageLayout::Landscape, QPageSize::Letter, QPoint(0, 0),
                      QSizeF(1, 1));
    }

    // Upright, the drawing only fits the paper when narrowed.
    void aPrintTakesPortraitAndPaperShiftAndSizeFromSettings()
    {
        printAndCheck({"plot.pvg", "-po=p", "-p", "-q"},
                      "printer_paper_type = 2\nprinter_page_shift = 600,-240\nprinter_page_size = 0.7, 1.2\n",
                      QPageLayout::Portrait, QPageSize::A4, QPoint(600, -240), QSizeF(0.7, 1.2));
    }
};

QTEST_MAIN(CupsPrintTest)
#include "print_cups_test.moc"
