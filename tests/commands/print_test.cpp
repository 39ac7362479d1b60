// Printing, measured on rendered PDF pages: in-process onto a PDF-file printer
// of known resolution (place, size, orientation, paper, line widths, the print
// dialog), and with the real binary through a CUPS scheduler with a cups-pdf
// queue as the default printer.
#include "common/optionstate.h"
#include "common/viewersettings.h"
#include "tests/support/inprocessviewer.h"
#include "view/drawview.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTransform>

#include <csignal>
#include <memory>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kPrinterDpi = 600, kRenderDpi = 200, kTolerance = 3;

// A black frame round the whole page and a diagonal from the page's top-left
// corner a quarter of the way in, which tells the orientation. Stream width 1.
PvgWriter frameDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 0, 0, 0).lineColour(2).lineWidth(1);
    writer.moveTo(0, 0).lineTo(4095, 0).lineTo(4095, 3119).lineTo(0, 3119).lineTo(0, 0);
    return writer.moveTo(0, 3119).lineTo(1024, 3119 - 780).end(); // file y runs upward
}

QString findTool(const QString &name)
{
    const QString path = QStandardPaths::findExecutable(name);
    return path.isEmpty() ? QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin"}) : path;
}

struct ToolRun {
    int exitCode = -1; // -1 also when it did not end normally in time
    QString output, errors;
};

ToolRun runTool(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                int timeoutMs = 30000, const QString &workingDirectory = QString())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(program.contains('/') ? program : findTool(program), arguments);
    ToolRun run;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Page 1 of pdf as an 8-bit grey image at dpi; crop (pixels at that dpi) renders only that part.
QImage renderPdfPage(const QString &pdf, int dpi, const QRect &crop = QRect())
{
    QTemporaryDir scratch;
    QStringList arguments{"-gray", "-r", QString::number(dpi), "-f", "1", "-l", "1", "-singlefile"};
    if (!crop.isNull())
        arguments << "-x" << QString::number(crop.x()) << "-y" << QString::number(crop.y()) << "-W"
                  << QString::number(crop.width()) << "-H" << QString::number(crop.height());
    if (runTool("pdftoppm", arguments << pdf << scratch.filePath("page"), QProcessEnvironment::systemEnvironment(),
                60000).exitCode != 0)
        return {};
    return QImage(scratch.filePath("page.pgm")).convertToFormat(QImage::Format_Grayscale8);
}

bool isDark(const QImage &image, int x, int y) { return image.rect().contains(x, y) && image.constScanLine(y)[x] < 128; }

bool darkNear(const QImage &image, int x, int y)
{
    for (int dy = -kTolerance; dy <= kTolerance; ++dy)
        for (int dx = -kTolerance; dx <= kTolerance; ++dx)
            if (isDark(image, x + dx, y + dy))
                return true;
    return false;
}

// Empty when the page shows frameDrawing() at inches from its top-left corner,
// each edge within the tolerance, nothing dark outside it and the diagonal at
// the top-left; otherwise what differs. The layout is fixed, so the drawing may
// run off the paper: there the page's edge takes the frame's place.
QString frameMismatch(const QImage &page, const QRectF &inches, int dpi)
{
    if (page.isNull())
        return "page not rendered";
    const auto px = [dpi](double value) { return int(std::lround(value * dpi)); };
    const QRect expected(QPoint(px(inches.left()), px(inches.top())), QPoint(px(inches.right()) - 1, px(inches.bottom()) - 1));
    const QRect allowed = expected.adjusted(-kTolerance, -kTolerance, kTolerance, kTolerance);
    QRect drawn;
    int stray = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (isDark(page, x, y)) {
                drawn |= QRect(x, y, 1, 1);
                stray += allowed.contains(x, y) ? 0 : 1;
            }
    const QRect visible = expected.intersected(page.rect());
    const auto near = [](int a, int b) { return std::abs(a - b) <= kTolerance; };
    const auto text = [](const QRect &r) { return QString("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); };
    if (drawn.isNull() || !near(drawn.left(), visible.left()) || !near(drawn.top(), visible.top())
        || !near(drawn.right(), visible.right()) || !near(drawn.bottom(), visible.bottom()) || stray > 0)
        return QString("drawn %1, expected %2 on a %3x%4 page, %5 stray").arg(text(drawn), text(expected))
            .arg(page.width()).arg(page.height()).arg(stray);
    const int dx = expected.width() / 8, dy = expected.height() / 8;
    if (!darkNear(page, expected.left() + dx, expected.top() + dy) || darkNear(page, expected.right() - dx, expected.top() + dy)
        || darkNear(page, expected.left() + dx, expected.bottom() - dy) || darkNear(page, expected.right() - dx, expected.bottom() - dy))
        return "orientation diagonal not at the top-left: page turned or mirrored";
    return {};
}
} // namespace

class PrintTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<InProcessViewer> viewer;
    QString pdfPath;
    QTemporaryDir scratch;
    QProcess scheduler;   // our own cupsd, when none was running
    QString serverSocket; // its socket; empty when using the running one
    QString queue = QString("kelvo_test_%1").arg(getpid()), previousDefault, notReady;
    QStringList outputDirectories, pdfsWritten;

    // A viewer on drawing with a fresh PDF printer; settings at their defaults.
    void startWith(const PvgWriter &drawing)
    {
        viewer.reset(); // one viewer at a time: they share the process state
        viewer = std::make_unique<InProcessViewer>();
        viewer->open(viewer->writeDocument("plot.pvg", drawing), false);
        viewer->setViewSize(640, 480); // 640 pixels wide: stream widths reach the walk unscaled
        pdfPath = viewer->home.filePath("page.pdf");
        QPrinter *printer = viewer->view->printer;
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdfPath);
        printer->setResolution(kPrinterDpi);
        // Printable-area margins, so that "from the printable area" differs from "from the paper edge".
        printer->setPageMargins(QMarginsF(36, 18, 36, 18), QPageLayout::Point);
    }

    // The drawing at dots (printer dots from the printable area) on the printed page.
    void expectFrameAt(const QRect &dots)
    {
        const QPointF printable = viewer->view->printer->pageLayout().paintRect(QPageLayout::Inch).topLeft();
        const QRectF inches(QRectF(dots).topLeft() / kPrinterDpi + printable, QSizeF(dots.size()) / kPrinterDpi);
        const QString mismatch = frameMismatch(renderPdfPage(pdfPath, kRenderDpi), inches, kRenderDpi);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

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
        for (const char *sub : {"", "/etc", "/etc/ppd", "/spool", "/spool/tmp", "/cache", "/state", "/log"}) {
            QDir().mkpath(root + sub);
            ::chmod(QFile::encodeName(root + sub).constData(), QLatin1String(sub) == "/spool/tmp" ? 01777 : 0755);
        }
        ::chmod(QFile::encodeName(scratch.path()).constData(), 0755);
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
                            "PageLog %1/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\nSystemGroup root\n")
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

    // The PDFs in cups-pdf's output directories (its Out and AnonDirName keys and their defaults).
    QMap<QString, QDateTime> pdfFiles() const
    {
        QMap<QString, QDateTime> files;
        for (const QString &directory : outputDirectories)
            for (const QFileInfo &info : QDir(directory).entryInfoList({"*.pdf"}, QDir::Files))
                files.insert(info.absoluteFilePath(), info.lastModified());
        return files;
    }

    // Runs kelvo on the frame drawing in a fresh directory that is also its HOME, with config as kelvo.cfg.
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

    // Prints the frame drawing through CUPS with the real binary and checks the page cups-pdf wrote.
    void printThroughCups(const QStringList &arguments, const QByteArray &config, QPageLayout::Orientation orientation,
                          QPageSize::PageSizeId paper, QPoint shiftDots, QSizeF sizeFactors)
    {
        if (!notReady.isEmpty())
            QSKIP(qPrintable(notReady));
        const auto before = pdfFiles();
        QVERIFY2(runKelvo(arguments, clientEnvironment(), config).exitCode == 0, "kelvo did not quit after printing");
        QElapsedTimer clock;
        clock.start();
        while (!runTool("lpstat", {"-o", queue}, clientEnvironment()).output.trimmed().isEmpty()) {
            QVERIFY2(clock.elapsed() < 120000, "print job still unfinished after two minutes");
            QThread::msleep(300);
        }
        QString pdf;
        const auto newPdf = [&] {
            const auto now = pdfFiles();
            for (auto it = now.cbegin(); it != now.cend(); ++it)
                if (before.value(it.key()) != it.value() && QFileInfo(it.key()).size() > 0)
                    return it.key();
            return QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!(pdf = newPdf()).isEmpty(), 30000);
        pdfsWritten << pdf;
        constexpr int dpi = 100;
        QImage page = renderPdfPage(pdf, dpi);
        const QSize upright = (QPageSize(paper).size(QPageSize::Inch) * dpi).toSize();
        const auto fits = [](QSize a, QSize b) { return std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1; };
        QVERIFY2(fits(page.size(), upright) || fits(page.size(), upright.transposed()), "wrong paper");
        // cups-pdf puts a landscape page on upright paper, turned a quarter to the left; turn it back.
        if (orientation == QPageLayout::Landscape && page.height() > page.width())
            page = page.transformed(QTransform().rotate(90));
        // The drawing lies 0.8 in, 0.6 in plus the shift from this queue's printable area.
        QPrinter printer(QPrinterInfo::printerInfo(queue), QPrinter::HighResolution);
        printer.setPageOrientation(orientation);
        printer.setPageSize(QPageSize(paper));
        const QPointF printable = printer.pageLayout().paintRect(QPageLayout::Inch).topLeft();
        const QRectF inches(printable + QPointF(0.8, 0.6) + QPointF(shiftDots) / printer.resolution(),
                            QSizeF(9.0 * sizeFactors.width(), 6.855 * sizeFactors.height()));
        const QString mismatch = frameMismatch(page, inches, dpi);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
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
            if (geteuid() != 0 || !startOwnScheduler()) {
                notReady = "no scheduler running, and none could be started: " + QString::fromLocal8Bit(scheduler.readAll());
                return;
            }
            qputenv("CUPS_SERVER", serverSocket.toLocal8Bit()); // this process asks it about the queue's page
        } else {
            previousDefault = QRegularExpression("destination:\\s*(\\S+)")
                                  .match(runTool("lpstat", {"-d"}, clientEnvironment()).output).captured(1);
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
        QVERIFY(runTool("lpadmin", {"-d", queue}, clientEnvironment()).exitCode == 0);
        QString text = "Out /var/spool/cups-pdf/${USER}\nAnonDirName /var/spool/cups-pdf/ANONYMOUS\n";
        QFile config("/etc/cups/cups-pdf.conf");
        if (config.open(QIODevice::ReadOnly))
            text += QString::fromLocal8Bit(config.readAll());
        const passwd *user = getpwuid(geteuid());
        text.replace("${HOME}", user->pw_dir).replace("${USER}", user->pw_name);
        for (const auto &match : QRegularExpression("^\\s*(?:Out|AnonDirName)\\s+(\\S.*?)\\s*$",
                                                    QRegularExpression::MultilineOption).globalMatch(text))
            outputDirectories << match.captured(1);
    }

    void cleanupTestCase()
    {
        viewer.reset();
        for (const QString &pdf : pdfsWritten)
            QFile::remove(pdf);
        if (scheduler.state() != QProcess::NotRunning) {
            scheduler.terminate(); // our own cupsd
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

    void theDrawingKeepsItsPlaceWhateverOrientationAndPaper_data()
    {
        QTest::addColumn<int>("portrait");
        QTest::addColumn<int>("paperType");
        QTest::addColumn<QSizeF>("paperInches"); // as printed, width first
        QTest::newRow("default: landscape letter") << 0 << 0 << QSizeF(11, 8.5);
        QTest::newRow("portrait letter") << 1 << 0 << QSizeF(8.5, 11);
        QTest::newRow("landscape A4") << 0 << 2 << QSizeF(297 / 25.4, 210 / 25.4);
        QTest::newRow("type 1 is legal") << 0 << 1 << QSizeF(14, 8.5);
    }

    void theDrawingKeepsItsPlaceWhateverOrientationAndPaper()
    {
        QFETCH(int, portrait);
        QFETCH(int, paperType);
        QFETCH(QSizeF, paperInches);
        startWith(frameDrawing());
        portraitOrientation = portrait;
        ViewerSettings.printer_paper_type = paperType;
        pendingCommands = PrintCommand;
        viewer->view->cmdPrint();
        QCOMPARE(pendingCommands, 0); // the command chain goes on
        const QImage page = renderPdfPage(pdfPath, kRenderDpi);
        QVERIFY(std::abs(page.width() - paperInches.width() * kRenderDpi) <= 1);
        QVERIFY(std::abs(page.height() - paperInches.height() * kRenderDpi) <= 1);
        expectFrameAt(QRect(480, 360, 5400, 4113)); // upright, its nine inches run off the paper on the right
    }

    void pageShiftAndSizeFactorsMoveAndScaleTheDrawing()
    {
        for (const auto &[shift, size, dots] : {std::tuple{QPoint(30, -20), QSizeF(1, 1), QRect(510, 340, 5400, 4113)},
                                               std::tuple{QPoint(0, 0), QSizeF(0.5, 0.75), QRect(480, 360, 2700, 3084)}}) {
            startWith(frameDrawing());
            ViewerSettings.printer_page_shift[0] = shift.x();
            ViewerSettings.printer_page_shift[1] = shift.y();
            ViewerSettings.printer_page_size[0] = size.width();
            ViewerSettings.printer_page_size[1] = size.height();
            viewer->view->cmdPrint();
            expectFrameAt(dots);
        }
    }

    // Pen widths in logical units: twice the stream width, with the minimum width as a floor.
    void printedLinesAreTwiceTheStreamWidthWithAFloor()
    {
        for (const auto &[minimumWidth, widthOfOne, widthOfThree] : {std::tuple{2, 4, 6}, std::tuple{5, 10, 10}}) {
            PvgWriter drawing; // width 1 at file height 2000, width 3 at 1000
            drawing.colourMapEntry(2, 0, 0, 0).lineColour(2).lineWidth(1).moveTo(500, 2000).lineTo(3500, 2000);
            startWith(drawing.lineWidth(3).moveTo(500, 1000).lineTo(3500, 1000).end());
            ViewerSettings.printer_min_linewidth = minimumWidth;
            viewer->view->cmdPrint();
            // A thin strip down the middle of the page, finely rendered: the runs
            // of dark pixels down its middle are the two lines, the width-1 line first.
            constexpr int fineDpi = 2400;
            const QImage strip = renderPdfPage(pdfPath, fineDpi, QRect(int(5.5 * fineDpi), 0, 8, int(8.5 * fineDpi)));
            QList<int> runs{0};
            for (int y = 0; y < strip.height(); ++y)
                if (isDark(strip, 4, y))
                    ++runs.last();
                else if (runs.last() > 0)
                    runs << 0;
            runs.removeAll(0);
            QCOMPARE(runs.size(), 2);
            const double pixelsPerUnit = 4113.0 / 3120.0 * fineDpi / kPrinterDpi; // 4113 dots for 3120 units
            QVERIFY2(std::abs(runs[0] - widthOfOne * pixelsPerUnit) <= 2.0, qPrintable(QString::number(runs[0])));
            QVERIFY2(std::abs(runs[1] - widthOfThree * pixelsPerUnit) <= 2.0, qPrintable(QString::number(runs[1])));
        }
    }

    void aPrinterThatCannotOpenStillContinuesTheChain()
    {
        startWith(frameDrawing());
        viewer->view->printer->setOutputFileName(viewer->home.filePath("missing/page.pdf"));
        pendingCommands = PrintCommand;
        viewer->view->cmdPrint();
        QCOMPARE(pendingCommands, 0);
    }

    void thePrintDialogOffersThePrinterTheCommandLineSetUp()
    {
        startWith(frameDrawing());
        ViewerSettings.printer_paper_type = 2;
        viewer->view->cmdPrint();
        QVERIFY(QFile::remove(pdfPath));
        QString title;
        QPageLayout offered;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr && dialog->isModal());
            title = dialog->windowTitle();
            offered = dialog->printer()->pageLayout();
            dialog->reject();
        });
        viewer->view->printIt();
        QCOMPARE(title, QString("Print Graph"));
        QCOMPARE(offered.orientation(), QPageLayout::Landscape);
        QCOMPARE(offered.pageSize().id(), QPageSize::A4);
        QVERIFY(!QFile::exists(pdfPath)); // cancelled: nothing printed
    }

    void withoutAPrintingSystemNothingIsPrintedAndKelvoQuits()
    {
        QProcessEnvironment environment = clientEnvironment();
        environment.insert("CUPS_SERVER", scratch.filePath("no-scheduler.sock"));
        QString directory;
        const ToolRun run = runKelvo({"plot.pvg", "-p", "-q"}, environment, QByteArray(), &directory);
        QVERIFY2(run.exitCode == 0, "kelvo did not quit");
        // No fallback output file, no painter warning either.
        QCOMPARE(QDir(directory).entryList(QDir::Files), QStringList({"plot.pvg"}));
        QVERIFY2(!run.errors.contains("QPainter"), qPrintable(run.errors));
    }

    void aCupsPrintIsLandscapeLetterByDefault()
    {
        printThroughCups({"plot.pvg", "-p", "-q"}, QByteArray(), QPageLayout::Landscape, QPageSize::Letter, QPoint(0, 0),
                         QSizeF(1, 1));
    }

    // Upright, the drawing only fits the paper when narrowed.
    void aCupsPrintTakesPortraitAndPaperShiftAndSizeFromSettings()
    {
        printThroughCups({"plot.pvg", "-po=p", "-p", "-q"},
                         "printer_paper_type = 2\nprinter_page_shift = 600,-240\nprinter_page_size = 0.7, 1.2\n",
                         QPageLayout::Portrait, QPageSize::A4, QPoint(600, -240), QSizeF(0.7, 1.2));
    }
};

QTEST_MAIN(PrintTest)
#include "print_test.moc"
