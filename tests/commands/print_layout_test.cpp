// Prints through the real view onto a PDF-file printer of known resolution and
// checks the page in the rendered PDF: where the drawing sits, how large it
// is, and how thick its lines are.

#include "tests/commands/printsupport.h"

#include "common/optionstate.h"
#include "common/viewersettings.h"
#include "tests/support/inprocessviewer.h"
#include "view/drawview.h"

#include <QApplication>
#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
constexpr int kPrinterDpi = 600;
constexpr int kRenderDpi = 200;
// Rendering rounds, and half the frame's pen lies outside the drawing.
constexpr int kTolerance = 3;
// Printable-area margins, so that "from the printable area" differs from
// "from the paper edge".
const QMarginsF kMarginsPoints(36, 18, 36, 18);
// Where the drawing lies at the default settings: printer dots from the printable area.
const QRect kDefaultDots(480, 360, 5400, 4113);
} // namespace

class PrintLayoutTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<InProcessViewer> viewer;
    QString pdfPath;

    // A viewer on drawing with a fresh PDF printer; settings at their defaults.
    void startWith(const PvgWriter &drawing)
    {
        viewer.reset(); // one viewer at a time: they share the process state
        viewer = std::make_unique<InProcessViewer>();
        viewer->open(viewer->writeDocument("plot.pvg", drawing), false);
        // 640 pixels wide: stream widths reach the interpreter unscaled.
        viewer->setViewSize(640, 480);
        QVERIFY(viewer->view->printer != nullptr);
        pdfPath = viewer->home.filePath("page.pdf");
        QPrinter *printer = viewer->view->printer;
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdfPath);
        printer->setResolution(kPrinterDpi);
        printer->setPageMargins(kMarginsPoints, QPageLayout::Point);
    }

    // Where dots from the printable area fall on the rendered page.
    QRect expectedPixels(const QRect &dots) const
    {
        const QPointF printable = viewer->view->printer->pageLayout().paintRect(QPageLayout::Inch).topLeft();
        const QRectF inches(QRectF(dots).topLeft() / kPrinterDpi + printable, QSizeF(dots.size()) / kPrinterDpi);
        return inchesToPixels(inches, kRenderDpi);
    }

    void expectFrameAt(const QRect &dots)
    {
        const QString mismatch = frameMismatch(renderPdfPage(pdfPath, kRenderDpi), expectedPixels(dots), kTolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

private Q_SLOTS:
    void cleanup() { viewer.reset(); }

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
        // Upright, its nine inches run off the paper on the right.
        expectFrameAt(kDefaultDots);
    }

    void pageShiftAndSizeFactorsMoveAndScaleTheDrawing_data()
    {
        QTest::addColumn<QPoint>("shift");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QRect>("dots");
        QTest::newRow("shift 30,-20") << QPoint(30, -20) << QSizeF(1, 1) << QRect(510, 340, 5400, 4113);
        QTest::newRow("size 0.5,0.75") << QPoint(0, 0) << QSizeF(0.5, 0.75) << QRect(480, 360, 2700, 3084);
    }

    void pageShiftAndSizeFactorsMoveAndScaleTheDrawing()
    {
        QFETCH(QPoint, shift);
        QFETCH(QSizeF, size);
        QFETCH(QRect, dots);
        startWith(frameDrawing());
        ViewerSettings.printer_page_shift[0] = shift.x();
        ViewerSettings.printer_page_shift[1] = shift.y();
        ViewerSettings.printer_page_size[0] = size.width();
        ViewerSettings.printer_page_size[1] = size.height();
        viewer->view->cmdPrint();
        expectFrameAt(dots);
    }

    void printedLinesAreTwiceTheStreamWidthWithAFloor_data()
    {
        QTest::addColumn<int>("minimumWidth");
        QTest::addColumn<int>("widthOfOne"); // pen widths in logical units
        QTest::addColumn<int>("widthOfThree");
        QTest::newRow("default floor 2") << 2 << 4 << 6;
        QTest::newRow("floor 5") << 5 << 10 << 10;
    }

    void printedLinesAreTwiceTheStreamWidthWithAFloor()
    {
        QFETCH(int, minimumWidth);
        QFETCH(int, widthOfOne);
        QFETCH(int, widthOfThree);
        PvgWriter drawing; // width 1 at file height 2000, width 3 at 1000
        drawing.colourMapEntry(2, 0, 0, 0).lineColour(2);
        drawing.lineWidth(1).moveTo(500, 2000).lineTo(3500, 2000);
        drawing.lineWidth(3).moveTo(500, 1000).lineTo(3500, 1000).end();
        startWith(drawing);
        ViewerSettings.printer_min_linewidth = minimumWidth;
        viewer->view->cmdPrint();

        // A thin strip down the middle of the page, finely rendered: the runs of
        // dark pixels down its middle are the two lines, the width-1 line first.
        constexpr int fineDpi = 2400;
        const QImage strip = renderPdfPage(pdfPath, fineDpi, QRect(int(5.5 * fineDpi), 0, 8, int(8.5 * fineDpi)));
        QVERIFY(!strip.isNull());
        QList<int> runs{0};
        for (int y = 0; y < strip.height(); ++y)
            if (isDark(strip, 4, y))
                ++runs.last();
            else if (runs.last() > 0)
                runs << 0;
        runs.removeAll(0);
        QCOMPARE(runs.size(), 2);
        // Logical units to rendered pixels: the drawing is 4113 dots for 3120 units.
        const double pixelsPerUnit = 4113.0 / 3120.0 * fineDpi / kPrinterDpi;
        QVERIFY2(std::abs(runs[0] - widthOfOne * pixelsPerUnit) <= 2.0, qPrintable(QString::number(runs[0])));
        QVERIFY2(std::abs(runs[1] - widthOfThree * pixelsPerUnit) <= 2.0, qPrintable(QString::number(runs[1])));
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
};

QTEST_MAIN(PrintLayoutTest)
#include "print_layout_test.moc"
