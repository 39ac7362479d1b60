// Printing, measured on rendered PDF pages: pen widths in-process on a PDF-file
// printer of known resolution, the print dialog, and the real binary printing
// through a CUPS scheduler of the test's own with a cups-pdf queue, or with none.
#include "common/optionstate.h"
#include "common/viewersettings.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/testfiles.h"
#include "view/drawview.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QPrintDialog>
#include <QImageReader>
#include <QPrinter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTransform>

#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
constexpr int kPrinterDpi = 600, kRenderDpi = 100, kTolerance = 3;

// A black frame round the whole page and a diagonal from the page's top-left
// corner a quarter of the way in, which tells the orientation. Stream width 1.
PvgWriter frameDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 0, 0, 0).lineColour(2).lineWidth(1);
    writer.moveTo(0, 0).lineTo(4095, 0).lineTo(4095, 3119).lineTo(0, 3119).lineTo(0, 0);
    return writer.moveTo(0, 3119).lineTo(1024, 3119 - 780).end(); // file y runs upward
}

// Page 1 of pdf as an 8-bit grey image at dpi.
QImage renderPdfPage(const QString &pdf, int dpi)
{
    QTemporaryDir scratch;
    runBinary({"-gray", "-r", QString::number(dpi), "-singlefile", pdf, scratch.filePath("page")}, {},
              QProcessEnvironment::systemEnvironment(), "pdftoppm");
    return QImage(scratch.filePath("page.pgm")).convertToFormat(QImage::Format_Grayscale8);
}

bool isDark(const QImage &image, int x, int y) { return image.rect().contains(x, y) && image.constScanLine(y)[x] < 128; }

// Whether page (at kRenderDpi) shows frameDrawing() at inches from its top-left
// corner, each edge within the tolerance, the diagonal at the top-left. The
// layout is fixed, so the drawing may run off the paper: there the page's edge
// takes the frame's place.
bool showsFrameAt(const QImage &page, const QRectF &inches)
{
    const QRect expected((inches.topLeft() * kRenderDpi).toPoint(), (inches.bottomRight() * kRenderDpi).toPoint() - QPoint(1, 1));
    QRect drawn;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (isDark(page, x, y))
                drawn |= QRect(x, y, 1, 1);
    const QRect visible = expected.intersected(page.rect());
    const QPoint onDiagonal = expected.topLeft() + QPoint(expected.width(), expected.height()) / 8;
    bool diagonal = false;
    for (int dx = -kTolerance; dx <= kTolerance; ++dx)
        diagonal = diagonal || isDark(page, onDiagonal.x() + dx, onDiagonal.y());
    const QMargins slack(kTolerance, kTolerance, kTolerance, kTolerance);
    return diagonal && (visible + slack).contains(drawn) && drawn.contains(visible - slack);
}
} // namespace

class PrintTest : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QProcess scheduler; // our own, on a socket of its own: a running one is left alone
    QString cupsMissing, pdfDirectory;

    // cupsd with a cups-pdf queue. Its filters run as
    // another user, who must reach the spool.
    void startScheduler()
    {
        const QString root = scratch.filePath("cups");
        QVERIFY(writeFile(root + "/cupsd.conf", "Listen " + qgetenv("CUPS_SERVER") + "\n<Policy default>\n<Limit All>\n</Limit>\n</Policy>\n"));
        const QString files("ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\n");
        QVERIFY(writeFile(root + "/cups-files.conf", (files.arg(root) + "ErrorLog stderr\nAccessLog none\nPageLog none\n").toLocal8Bit()));
        QVERIFY(QFile::setPermissions(scratch.path(), QFile::Permissions(0x7755)));
        // Should this test be killed, its scheduler must not outlive it.
        scheduler.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        scheduler.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        scheduler.start("/usr/sbin/cupsd", {"-f", "-c", root + "/cupsd.conf", "-s", root + "/cups-files.conf"});
        // Refused until the scheduler is up.
        const QStringList queue{"-p", "kelvo", "-E", "-v", "cups-pdf:/", "-P", "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"};
        QTRY_COMPARE_WITH_TIMEOUT(runBinary(queue, {}, QProcessEnvironment::systemEnvironment(), "/usr/sbin/lpadmin").status, 0, 20000);
        // Where cups-pdf writes this user's files: its Out key, or its default.
        const passwd *user = getpwuid(geteuid());
        static const QRegularExpression out("^\\s*Out\\s+(\\S+)", QRegularExpression::MultilineOption);
        const QString key = out.match(readWholeFile("/etc/cups/cups-pdf.conf")).captured(1);
        pdfDirectory = key.isEmpty() ? "/var/spool/cups-pdf/${USER}" : key;
        pdfDirectory.replace("${HOME}", user->pw_dir).replace("${USER}", user->pw_name);
    }

    // The queue's pages not among earlier, once it has printed every job
    // (a job is queued when its print ends, its file written when it leaves
    // the queue), or after two minutes.
    QStringList pagesPrintedSince(const QStringList &earlier) const
    {
        QDeadlineTimer deadline(120000);
        while (!runBinary({"-o"}, {}, QProcessEnvironment::systemEnvironment(), "lpstat").out.isEmpty()
               && !deadline.hasExpired())
            QTest::qWait(100);
        QStringList added = QDir(pdfDirectory).entryList({"*.pdf"});
        added.removeIf([&](const QString &name) { return earlier.contains(name); });
        return added;
    }

private Q_SLOTS:
    // Every CUPS client here, this process too, talks to our scheduler only, and prints to its queue.
    void initTestCase()
    {
        qputenv("CUPS_SERVER", scratch.filePath("cups/socket").toLocal8Bit());
        qputenv("PRINTER", "kelvo");
        qunsetenv("LPDEST");
        QImageReader::setAllocationLimit(0); // whole pages at the printer's resolution
        // cups-pdf only prints under a scheduler started by root.
        if (geteuid() != 0 || !QFile::exists("/usr/sbin/cupsd") || !QFile::exists("/usr/lib/cups/backend/cups-pdf"))
            cupsMissing = "needs root, cupsd and the cups-pdf backend";
        else
            startScheduler();
    }

    void cleanupTestCase()
    {
        scheduler.terminate();
        scheduler.waitForFinished();
    }

    // Pen widths in logical units are twice the stream width, with the minimum
    // width as a floor. The print dialog then offers the printer as the command
    // line's print set it up; paper type 1 is legal.
    void printingOntoAPdfFile()
    {
        PvgWriter drawing; // width 1 at file height 2000, width 3 at 1000
        drawing.colourMapEntry(2, 0, 0, 0).lineColour(2).lineWidth(1).moveTo(500, 2000).lineTo(3500, 2000);
        InProcessViewer viewer;
        viewer.open(viewer.writeDocument("plot.pvg", drawing.lineWidth(3).moveTo(500, 1000).lineTo(3500, 1000).end()), false);
        viewer.setViewSize(640, 480); // 640 pixels wide: stream widths reach the walk unscaled
        const QString pdf = viewer.home.filePath("page.pdf");
        viewer.view->printer->setOutputFormat(QPrinter::PdfFormat);
        viewer.view->printer->setOutputFileName(pdf);
        viewer.view->printer->setResolution(kPrinterDpi);
        ViewerSettings.printer_paper_type = 1;
        for (const auto &[minimumWidth, widthOfOne, widthOfThree] : {std::tuple{2, 4, 6}, std::tuple{5, 10, 10}}) {
            ViewerSettings.printer_min_linewidth = minimumWidth;
            pendingCommands = PrintCommand;
            viewer.view->cmdPrint();
            QCOMPARE(pendingCommands, 0); // the command chain goes on
            // Down the middle of the page: the width-1 line in the upper half, the other in the lower.
            const QImage page = renderPdfPage(pdf, kPrinterDpi);
            int upper = 0, lower = 0;
            for (int y = 0; y < page.height(); ++y)
                (y < page.height() / 2 ? upper : lower) += isDark(page, page.width() / 2, y);
            // 4113 dots for 3120 units.
            QVERIFY(std::abs(upper - widthOfOne * 4113.0 / 3120) <= 1 && std::abs(lower - widthOfThree * 4113.0 / 3120) <= 1);
        }
        QVERIFY(QFile::remove(pdf));
        QString title;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            title = QApplication::activeModalWidget()->windowTitle();
            qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())->reject();
        });
        viewer.view->printIt(); // the dialog is on the view's printer
        QCOMPARE(title, QString("Print Graph"));
        QCOMPARE(viewer.view->printer->pageLayout().orientation(), QPageLayout::Landscape);
        QCOMPARE(viewer.view->printer->pageLayout().pageSize().id(), QPageSize::Legal);
        QVERIFY(!QFile::exists(pdf)); // cancelled: nothing printed
    }

    // On a queue with a PPD (the scheduler's, A4 by default) the dialog
    // starts from the command line's paper, then from the one chosen in its
    // properties; an accepted dialog leaves it on the printer.
    void thePrintDialogKeepsTheLastPrintsPaper()
    {
        if (!cupsMissing.isEmpty())
            QSKIP(qPrintable(cupsMissing));
        // Its jobs' pages go before the next test counts its own.
        const auto removeNewPages = qScopeGuard([&, earlier = QDir(pdfDirectory).entryList({"*.pdf"})] {
            for (const QString &name : pagesPrintedSince(earlier))
                QFile::remove(pdfDirectory + '/' + name);
        });
        InProcessViewer viewer;
        viewer.open(viewer.writeDocument("plot.pvg", frameDrawing()), false);
        ViewerSettings.printer_paper_type = 0;
        pendingCommands = PrintCommand;
        viewer.view->cmdPrint(); // on Letter
        // Prints through the dialog, choosing A5 in its properties or not;
        // the paper the properties offered, and the printer's after it.
        const auto print = [&](bool chooseA5) {
            QPageSize::PageSizeId offered = QPageSize::Custom;
            QTimer::singleShot(0, [&] {
                QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
                auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (chooseA5) {
                    QTimer::singleShot(0, [&] {
                        QTRY_VERIFY(QApplication::activeModalWidget() != dialog);
                        auto *papers = QApplication::activeModalWidget()->findChild<QComboBox *>("pageSizeCombo");
                        offered = papers->currentData().value<QPageSize>().id();
                        papers->setCurrentIndex(papers->findText("A5"));
                        qobject_cast<QDialog *>(QApplication::activeModalWidget())->accept();
                    });
                    dialog->findChild<QPushButton *>("properties")->click();
                }
                dialog->accept();
            });
            viewer.view->printIt();
            return std::pair{offered, viewer.view->printer->pageLayout().pageSize().id()};
        };
        QCOMPARE(print(false).second, QPageSize::Letter);
        QCOMPARE(print(true), std::pair(QPageSize::Letter, QPageSize::A5));
        QCOMPARE(print(false).second, QPageSize::A5);
    }

    void withoutAPrintingSystemNothingIsPrintedAndKelvoQuits()
    {
        QTemporaryDir here;
        QVERIFY(frameDrawing().writeFile(here.filePath("plot.pvg").toStdString()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("CUPS_SERVER", here.filePath("no-scheduler.sock"));
        environment.insert("HOME", here.path());
        const BinaryRun run = runBinary({"plot.pvg", "-p", "-q"}, here.path(), environment);
        QCOMPARE(run.status, 0);
        // No fallback output file, no painter warning either.
        QCOMPARE(QDir(here.path()).entryList(QDir::Files), QStringList({"plot.pvg"}));
        QVERIFY2(!run.err.contains("QPainter"), run.err.constData());
    }

    void theRealBinaryPrintsThroughCups_data()
    {
        QTest::addColumn<bool>("portrait");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QSizeF>("paperInches"); // as printed, width first
        QTest::addColumn<QRectF>("place"); // inches from the printable area, before the shift in printer dots
        QTest::addColumn<QPoint>("shift");
        QTest::newRow("default: landscape letter") << false << QByteArray() << QSizeF(11, 8.5)
                                                   << QRectF(0.8, 0.6, 9, 6.855) << QPoint();
        // Upright, only a narrowed drawing fits.
        QTest::newRow("portrait, paper, shift and size from kelvo.cfg")
            << true << QByteArray("printer_paper_type = 2\nprinter_page_shift = 600,-240\nprinter_page_size = 0.7, 1.2\n")
            << QSizeF(210 / 25.4, 297 / 25.4) << QRectF(0.8, 0.6, 9 * 0.7, 6.855 * 1.2) << QPoint(600, -240);
    }

    void theRealBinaryPrintsThroughCups()
    {
        QFETCH(bool, portrait);
        QFETCH(QByteArray, config);
        QFETCH(QSizeF, paperInches);
        QFETCH(QRectF, place);
        QFETCH(QPoint, shift);
        if (!cupsMissing.isEmpty())
            QSKIP(qPrintable(cupsMissing));
        const QString here = scratch.filePath(QTest::currentDataTag());
        QVERIFY(writeFile(here + "/kelvo.cfg", config));
        QVERIFY(frameDrawing().writeFile((here + "/plot.pvg").toStdString()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", here);
        const QStringList earlier = QDir(pdfDirectory).entryList({"*.pdf"});
        const QStringList orientation = portrait ? QStringList("-po=p") : QStringList();
        QCOMPARE(runBinary(orientation + QStringList{"plot.pvg", "-p", "-q"}, here, environment).status, 0);
        const QStringList added = pagesPrintedSince(earlier);
        QCOMPARE(added.size(), 1);
        const QString pdf = pdfDirectory + '/' + added[0];
        // cups-pdf puts a landscape page on upright paper, turned a quarter to the left; turn it back.
        const QImage page = renderPdfPage(pdf, kRenderDpi).transformed(QTransform().rotate(portrait ? 0 : 90));
        QFile::remove(pdf);
        const QSizeF paper = paperInches * kRenderDpi;
        QVERIFY(std::abs(page.width() - paper.width()) <= 1 && std::abs(page.height() - paper.height()) <= 1);
        // The queue's printable area has the same margin on every side.
        const QPrinter printer(QPrinter::HighResolution);
        const QPointF printable = printer.pageLayout().paintRect(QPageLayout::Inch).topLeft();
        QVERIFY(showsFrameAt(page, place.translated(printable + QPointF(shift) / printer.resolution())));
    }
};

QTEST_MAIN(PrintTest)
#include "print_test.moc"
