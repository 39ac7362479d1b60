// Prints through the real view onto a PDF-file printer of known resolution and
// checks the page in the rendered PDF: where the drawing sits, how large it
// is, and how thick its lines are.

#include "tests/commands/pdfmeasure.h"
#include "tests/commands/printsupport.h"

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "stream/pvgmeta.h"
#include "view/drawview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>

namespace {
constexpr int kPrinterDpi = 600;
constexpr int kRenderDpi = 200;
// Rendering rounds, and half the frame's pen lies outside the drawing.
constexpr int kTolerance = 3;
// Printable area margins set on the PDF printer, so that "from the printable
// area" differs from "from the paper edge".
const QMarginsF kMarginsPoints(36, 18, 36, 18);

// Drawing rectangle in printer dots relative to the printable area.
struct Dots {
    int left, top, width, height;
};

// The printed drawing, in inches from the paper's top-left corner.
QRectF onPaperInches(const QPrinter &printer, Dots dots)
{
    const QRectF printable = printer.pageLayout().paintRect(QPageLayout::Inch);
    return QRectF(printable.left() + double(dots.left) / kPrinterDpi,
                  printable.top() + double(dots.top) / kPrinterDpi, double(dots.width) / kPrinterDpi,
                  double(dots.height) / kPrinterDpi);
}
} // namespace

class PrintLayoutTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir home;
    InProcessViewer viewer;
    QString pdfPath;

    // Starts a viewer on drawing with a fresh PDF printer, settings at their defaults.
    void startWith(const PvgWriter &drawing)
    {
        closeInProcessViewer(viewer);
        resetViewerState(home.path());
        const QString document = home.filePath("plot.pvg");
        QVERIFY(drawing.writeFile(document.toStdString()));
        // 640 pixels wide: stream widths reach the interpreter unscaled.
        viewer = startInProcessViewer(document, QSize(640, 480));
        QVERIFY(viewer.view);
        QVERIFY(viewer.view->printer != nullptr);
        pdfPath = home.filePath("page.pdf");
        QFile::remove(pdfPath);
        QPrinter *printer = viewer.view->printer;
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdfPath);
        printer->setResolution(kPrinterDpi);
        printer->setPageMargins(kMarginsPoints, QPageLayout::Point);
    }

    QImage printedPage() const
    {
        return renderPdfPage(pdfPath, kRenderDpi);
    }

private Q_SLOTS:
    void cleanup() { closeInProcessViewer(viewer); }

    void commandPrint_placesDrawingOnLandscapeLetterByDefault()
    {
        startWith(frameDrawing());
        viewer.view->cmdPrint();
        const QPrinter &printer = *viewer.view->printer;
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
        QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::Letter);

        const QImage page = printedPage();
        QCOMPARE(page.size(), QSize(11 * kRenderDpi, 8 * kRenderDpi + kRenderDpi / 2));
        const QRect expected = inchesToPixels(onPaperInches(printer, {480, 360, 5400, 4113}), kRenderDpi);
        const QString mismatch = frameMismatch(page, expected, kTolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QCOMPARE(segmentCount, kFrameDrawingSegments);
        QCOMPARE(pdfPageCount(pdfPath), 1);
    }

    void commandPrint_takesOrientationAndPaper_data()
    {
        QTest::addColumn<int>("portrait");
        QTest::addColumn<int>("paperType");
        QTest::addColumn<QSizeF>("paperInches"); // as printed, width first
        QTest::newRow("portrait letter") << 1 << 0 << QSizeF(8.5, 11);
        QTest::newRow("landscape A4") << 0 << 2 << QSizeF(297 / 25.4, 210 / 25.4);
        QTest::newRow("portrait A4") << 1 << 2 << QSizeF(210 / 25.4, 297 / 25.4);
        QTest::newRow("type 1 is legal") << 0 << 1 << QSizeF(14, 8.5);
        QTest::newRow("type 5 is legal") << 1 << 5 << QSizeF(8.5, 14);
    }

    void commandPrint_takesOrientationAndPaper()
    {
        QFETCH(int, portrait);
        QFETCH(int, paperType);
        QFETCH(QSizeF, paperInches);
        startWith(frameDrawing());
        portraitOrientation = portrait;
        ViewerSettings.printer_paper_type = paperType;
        viewer.view->cmdPrint();

        const QImage page = printedPage();
        QVERIFY(std::abs(page.width() - paperInches.width() * kRenderDpi) <= 1);
        QVERIFY(std::abs(page.height() - paperInches.height() * kRenderDpi) <= 1);
        // The drawing keeps its size and place whatever the paper; upright, its
        // nine inches run off the paper on the right.
        const QRect expected =
            inchesToPixels(onPaperInches(*viewer.view->printer, {480, 360, 5400, 4113}), kRenderDpi);
        const QString mismatch = frameMismatch(page, expected, kTolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void pageShiftAndSizeFactors_moveAndScaleTheDrawing_data()
    {
        QTest::addColumn<int>("shiftX");
        QTest::addColumn<int>("shiftY");
        QTest::addColumn<double>("sizeX");
        QTest::addColumn<double>("sizeY");
        QTest::addColumn<QRect>("dots"); // left, top, width, height on a 600-dpi printer
        QTest::newRow("shift 30,-20") << 30 << -20 << 1.0 << 1.0 << QRect(510, 340, 5400, 4113);
        QTest::newRow("shift 600,300") << 600 << 300 << 1.0 << 1.0 << QRect(1080, 660, 5400, 4113);
        QTest::newRow("size 0.5,0.75") << 0 << 0 << 0.5 << 0.75 << QRect(480, 360, 2700, 3084);
        QTest::newRow("size 0.9,0.95 shifted") << 120 << 60 << 0.9 << 0.95 << QRect(600, 420, 4860, 3907);
    }

    void pageShiftAndSizeFactors_moveAndScaleTheDrawing()
    {
        QFETCH(int, shiftX);
        QFETCH(int, shiftY);
        QFETCH(double, sizeX);
        QFETCH(double, sizeY);
        QFETCH(QRect, dots);
        startWith(frameDrawing());
        ViewerSettings.printer_page_shift[0] = shiftX;
        ViewerSettings.printer_page_shift[1] = shiftY;
        ViewerSettings.printer_page_size[0] = sizeX;
        ViewerSettings.printer_page_size[1] = sizeY;
        viewer.view->cmdPrint();

        const QRect expected = inchesToPixels(
            onPaperInches(*viewer.view->printer, {dots.x(), dots.y(), dots.width(), dots.height()}),
            kRenderDpi);
        const QString mismatch = frameMismatch(printedPage(), expected, kTolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void printedLines_areTwiceTheStreamWidthWithAFloor_data()
    {
        QTest::addColumn<int>("minimumWidth");
        QTest::addColumn<int>("widthOfOne"); // pen widths in logical units
        QTest::addColumn<int>("widthOfThree");
        QTest::newRow("default floor 2") << 2 << 4 << 6;
        QTest::newRow("floor 5") << 5 << 10 << 10;
        QTest::newRow("floor 0") << 0 << 2 << 6;
    }

    void printedLines_areTwiceTheStreamWidthWithAFloor()
    {
        QFETCH(int, minimumWidth);
        QFETCH(int, widthOfOne);
        QFETCH(int, widthOfThree);
        startWith(penWidthDrawing());
        ViewerSettings.printer_min_linewidth = minimumWidth;
        viewer.view->cmdPrint();

        // A thin strip down the middle of the page, finely rendered.
        constexpr int fineDpi = 2400;
        const QRect strip(static_cast<int>(5.5 * fineDpi), 0, 8, static_cast<int>(8.5 * fineDpi));
        const QImage column = renderPdfPage(pdfPath, fineDpi, strip);
        QVERIFY(!column.isNull());
        const std::vector<int> runs = darkRunsDownColumn(column, 4);
        QCOMPARE(runs.size(), size_t(2));
        // Logical units to rendered pixels: the drawing is 4113 dots for 3120 units.
        const double pixelsPerUnit = 4113.0 / 3120.0 * fineDpi / kPrinterDpi;
        // The upper line is the one at file height 2000, drawn with width 1.
        QVERIFY2(std::abs(runs[0] - widthOfOne * pixelsPerUnit) <= 2.0,
                 qPrintable(QString("width-1 line is %1 px").arg(runs[0])));
        QVERIFY2(std::abs(runs[1] - widthOfThree * pixelsPerUnit) <= 2.0,
                 qPrintable(QString("width-3 line is %1 px").arg(runs[1])));
    }

    void printWithoutDocument_givesABlankPage()
    {
        startWith(frameDrawing());
        CurrentDocument.path[0] = '\0';
        viewer.view->cmdPrint();
        QCOMPARE(pdfPageCount(pdfPath), 1);
        QVERIFY(darkBounds(printedPage()).isNull());
    }

    void commandPrint_continuesTheCommandChain()
    {
        startWith(frameDrawing());
        pendingCommands = PrintCommand;
        viewer.view->cmdPrint();
        QCOMPARE(pendingCommands, 0);
    }

    void commandPrint_withAPrinterThatCannotOpen_stillContinues()
    {
        startWith(frameDrawing());
        // A file in a directory that does not exist: the painter cannot begin.
        viewer.view->printer->setOutputFileName(home.filePath("missing/page.pdf"));
        pendingCommands = PrintCommand;
        viewer.view->cmdPrint();
        QCOMPARE(pendingCommands, 0);
        QVERIFY(!QFile::exists(home.filePath("missing/page.pdf")));
    }

    void printDialog_isTitledAndCancelPrintsNothing()
    {
        startWith(frameDrawing());
        QString title;
        bool modal = false;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            QWidget *dialog = QApplication::activeModalWidget();
            title = dialog->windowTitle();
            modal = dialog->isModal() && qobject_cast<QPrintDialog *>(dialog) != nullptr;
            qobject_cast<QDialog *>(dialog)->reject();
        });
        viewer.view->printIt();
        QCOMPARE(title, QString("Print Graph"));
        QVERIFY(modal);
        QVERIFY(!QFile::exists(pdfPath));
    }

    void printDialog_startsFromTheCommandLinePrintAndPrintsOnAccept()
    {
        startWith(frameDrawing());
        ViewerSettings.printer_paper_type = 2;
        viewer.view->cmdPrint();
        QVERIFY(QFile::remove(pdfPath));

        QPageLayout::Orientation offered = QPageLayout::Portrait;
        QPageSize::PageSizeId offeredPaper = QPageSize::Letter;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            offered = dialog->printer()->pageLayout().orientation();
            offeredPaper = dialog->printer()->pageLayout().pageSize().id();
            dialog->accept();
        });
        viewer.view->printIt();
        QCOMPARE(offered, QPageLayout::Landscape);
        QCOMPARE(offeredPaper, QPageSize::A4);
        QTRY_VERIFY(QFile::exists(pdfPath));
        const QImage page = printedPage();
        QVERIFY(page.width() > page.height());
        QVERIFY(!darkBounds(page).isNull());
    }
};

QTEST_MAIN(PrintLayoutTest)
#include "print_layout_test.moc"
