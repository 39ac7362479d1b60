// What the draw view shows: an authored drawing grabbed from the real view, as
// the JPEG export grabs it.

#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "view/drawview.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QtTest>

namespace {

// A comment long enough to put the background commands past the first 100
// bytes, where the background detection starts looking.
PvgWriter drawingOnBackground(int paletteIndex)
{
    PvgWriter writer;
    writer.comment(std::string(120, 'x')).background(paletteIndex);
    writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100);
    writer.moveTo(0, 1560).lineTo(4095, 1560).end();
    return writer;
}

QColor pixel(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y);
}

} // namespace

class DrawViewPixelsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<InProcessViewer> viewer;
    std::unique_ptr<ModalAnswerer> modalBoxes;

    QImage grabView()
    {
        viewer->view->repaint();
        return viewer->view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    void dragLeft(QPoint from, QPoint to)
    {
        QTest::mousePress(viewer->view, Qt::LeftButton, {}, from);
        QTest::mouseMove(viewer->view, to);
        QTest::mouseRelease(viewer->view, Qt::LeftButton, {}, to);
    }

    QAction *viewMenuEntry(const QString &text)
    {
        for (QAction *action : viewer->window->viewMenu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

private slots:
    void init() { viewer = std::make_unique<InProcessViewer>();
        modalBoxes = std::make_unique<ModalAnswerer>(); }
    void cleanup()
    {
        QVERIFY2(modalBoxes->seen.isEmpty(),
                 qPrintable(modalBoxes->titlesAndTexts().join("; ")));
        viewer.reset();
    }

    void theLineIsDrawnInItsColourOnAWhiteBackground()
    {
        viewer->open(viewer->writeDocument("line.pvg", redLineDrawing()));
        viewer->setViewSize(640, 480);
        const QImage image = grabView();
        QCOMPARE(image.size(), QSize(640, 480));
        // Pen 50 of 3120 units is about 7.7 pixels high around row 240.
        for (int x : {5, 320, 634}) {
            QCOMPARE(pixel(image, x, 240), QColor(255, 0, 0));
            QCOMPARE(pixel(image, x, 238), QColor(255, 0, 0));
        }
        for (int y : {5, 120, 225, 255, 360, 474})
            QCOMPARE(pixel(image, 320, y), QColor(255, 255, 255));
    }

    void theDocumentsBackgroundShowsWhenWhiteIsOff()
    {
        ViewerSettings.whiteBackground = 0;
        viewer->open(viewer->writeDocument("black.pvg", drawingOnBackground(0)));
        viewer->setViewSize(640, 480);
        QImage image = grabView();
        QCOMPARE(pixel(image, 320, 120), QColor(0, 0, 0));
        QCOMPARE(pixel(image, 320, 240), QColor(255, 0, 0));

        // White Background forces white; choosing it again brings the black back.
        QAction *white = viewMenuEntry("&White Background");
        QVERIFY(white != nullptr);
        white->trigger();
        image = grabView();
        QCOMPARE(pixel(image, 320, 120), QColor(255, 255, 255));
        QCOMPARE(pixel(image, 320, 240), QColor(255, 0, 0));
        white->trigger();
        QCOMPARE(pixel(grabView(), 320, 120), QColor(0, 0, 0));
    }

    void aZoomShowsOnlyTheDraggedPartAndRefreshShowsAll()
    {
        viewer->open(viewer->writeDocument("line.pvg", redLineDrawing()));
        viewer->setViewSize(640, 480);

        // The upper part of the page: the line is outside.
        dragLeft({100, 20}, {540, 200});
        QImage image = grabView();
        for (int y : {5, 240, 474})
            QCOMPARE(pixel(image, 320, y), QColor(255, 255, 255));

        viewMenuEntry("&Refresh")->trigger();
        QCOMPARE(pixel(grabView(), 320, 240), QColor(255, 0, 0));

        // Rows 1300..1820 around the line at 1560: it fills the middle, thicker.
        dragLeft({100, 200}, {540, 280});
        image = grabView();
        for (int y : {215, 240, 265})
            QCOMPARE(pixel(image, 320, y), QColor(255, 0, 0));
        QCOMPARE(pixel(image, 320, 120), QColor(255, 255, 255));
        QCOMPARE(pixel(image, 320, 360), QColor(255, 255, 255));
    }

    void withoutADocumentTheViewShowsOnlyItsBase()
    {
        viewer->open(viewer->writeDocument("line.pvg", redLineDrawing()));
        viewer->setViewSize(640, 480);
        releaseDocumentData();
        const QImage image = grabView();
        const QColor base = viewer->view->palette().color(QPalette::Base);
        for (int y : {5, 240, 474})
            QCOMPARE(pixel(image, 320, y), base);
    }
};

QTEST_MAIN(DrawViewPixelsTest)
#include "drawview_pixels_test.moc"
