// The draw view inside a real main window: the rubber-band zoom driven by
// mouse events and observed through a painter handed to drawIt, the pixels
// the view shows, its kept frame rendered off the GUI thread, and the wheel.
#include "app/appwindow.h"
#include "common/currentdocument.h"
#include "common/viewersettings.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QPainter>
#include <QRubberBand>
#include <QtTest>

namespace {
// What one drawIt call leaves on a painter: its logical window and the pen
// width of the drawing's single GT 100 (width = trunc(100 * scale) / 2).
struct DrawProbe {
    QRect window;
    double penWidth = -1;
    bool touchedImage = false;
};

DrawProbe probe(DrawView *view)
{
    QImage image(view->size(), QImage::Format_ARGB32);
    image.fill(Qt::darkGray);
    const QImage untouched = image;
    QPainter painter(&image);
    view->drawIt(&painter);
    const DrawProbe result{painter.window(), painter.pen().widthF(), false};
    painter.end();
    return {result.window, result.penWidth, image != untouched};
}

// Many long crossing lines in two colours and four widths: slow enough to
// render that a resize lands in the middle of it.
PvgWriter heavyDrawing(int lines)
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100);
    for (int i = 0; i < lines; ++i)
        writer.lineColour(2 + i % 2).lineWidth(i % 4 * 3).moveTo((i * 37) % 4096, 0).lineTo((i * 91) % 4096, 3119);
    return writer.end();
}

const QRect fullPage(0, 0, 4096, 3120);
const QColor red(255, 0, 0), white(255, 255, 255), black(0, 0, 0);
} // namespace

class ViewTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<InProcessViewer> viewer;
    std::unique_ptr<ModalAnswerer> modalBoxes;
    DrawView *view() { return viewer->view; }

    void open(const PvgWriter &drawing)
    {
        viewer->open(viewer->writeDocument("drawing.pvg", drawing));
        QVERIFY(CurrentDocument.data != nullptr);
        viewer->setViewSize(640, 480);
    }

    void drag(QPoint from, QPoint to, QPoint releaseAt)
    {
        QTest::mousePress(view(), Qt::LeftButton, {}, from);
        QTest::mouseMove(view(), to);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, releaseAt);
    }
    void drag(QPoint from, QPoint to) { drag(from, to, to); }

    // left, top, right, bottom; width and height follow when they disagree.
    QList<int> zoomRect()
    {
        const SpanRect &r = view()->zoomRect;
        QList<int> corners{r.left, r.top, r.right, r.bottom};
        if (r.width != r.right - r.left || r.height != r.bottom - r.top)
            corners << r.width << r.height;
        return corners;
    }

    void refresh()
    {
        for (QAction *action : viewer->window->viewMenu->actions())
            if (action->text() == "&Refresh")
                action->trigger();
    }

    // The colour of column 320 at each row, grabbed as the JPEG export grabs it.
    QList<QColor> column(const QList<int> &rows)
    {
        view()->repaint();
        const QImage image = view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QList<QColor> colours;
        for (int y : rows)
            colours << image.pixelColor(320, y);
        return colours;
    }

    void waitForRender()
    {
        view()->waitForFrame();
        QCoreApplication::processEvents();
    }

    void wheel(QPoint at, int delta)
    {
        QWheelEvent event(at, view()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view(), &event);
    }

private Q_SLOTS:
    void init()
    {
        viewer = std::make_unique<InProcessViewer>();
        modalBoxes = std::make_unique<ModalAnswerer>();
        open(redLineDrawing());
    }

    void cleanup()
    {
        QVERIFY2(modalBoxes->seen.isEmpty(), qPrintable(modalBoxes->titlesAndTexts().join("; ")));
        viewer.reset();
    }

    void unzoomedScaleFollowsTheViewWidth()
    {
        QCOMPARE(probe(view()).window, fullPage);
        QCOMPARE(probe(view()).penWidth, 50.0); // scale 1.0 at 640 pixels
        viewer->setViewSize(1280, 480);
        QCOMPARE(probe(view()).window, fullPage);
        QCOMPARE(probe(view()).penWidth, 100.0);
    }

    // A release 20 or more pixels right or left of the press zooms, into the
    // rectangle of the last move; a rectangle without extent draws unzoomed.
    void aLeftDragZoomsWhenItsReleaseIsFarEnough_data()
    {
        QTest::addColumn<QList<QPoint>>("pressMoveRelease");
        QTest::addColumn<QList<int>>("rect"); // empty: no zoom
        QTest::addColumn<bool>("zoomedIn");   // else the whole page is drawn
        const auto row = [](const char *name, QList<QPoint> points, QList<int> rect, bool zoomedIn) {
            QTest::newRow(name) << points << rect << zoomedIn;
        };
        row("forwards", {{100, 50}, {300, 200}, {300, 200}}, {100, 50, 300, 200}, true);
        row("backwards", {{300, 200}, {100, 50}, {100, 50}}, {300, 200, 100, 50}, true);
        row("19 pixels, however tall", {{100, 50}, {119, 400}, {119, 400}}, {}, false);
        row("released 10 pixels from the press", {{100, 50}, {300, 200}, {110, 200}}, {}, false);
        row("released elsewhere: the last move's corner", {{100, 50}, {300, 200}, {60, 10}}, {100, 50, 300, 200}, true);
        row("exactly 20 pixels, no height", {{100, 50}, {120, 50}, {120, 50}}, {100, 50, 120, 50}, false);
    }

    void aLeftDragZoomsWhenItsReleaseIsFarEnough()
    {
        QFETCH(QList<QPoint>, pressMoveRelease);
        QFETCH(QList<int>, rect);
        QFETCH(bool, zoomedIn);
        drag(pressMoveRelease[0], pressMoveRelease[1], pressMoveRelease[2]);
        QCOMPARE(view()->zoomMode, int32_t(rect.isEmpty() ? ZoomIdle : ZoomSet));
        if (!rect.isEmpty())
            QCOMPARE(zoomRect(), rect);
        QVERIFY(!view()->rubberBand->isVisible());
        const DrawProbe p = probe(view());
        // zoomArea (640, 325)-(1920, 1300): the window's last unit is one less; scale 3.2.
        QCOMPARE(p.window, zoomedIn ? QRect(QPoint(640, 325), QPoint(1919, 1299)) : fullPage);
        QCOMPARE(p.penWidth, zoomedIn ? 160.0 : 50.0);
    }

    void theBandFollowsTheDragAndOtherButtonsAreIgnored()
    {
        QTest::mouseClick(view(), Qt::MiddleButton, {}, {100, 50});
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));
        QVERIFY(!view()->rubberBand->isVisible());
        QTest::mousePress(view(), Qt::LeftButton, {}, {100, 50});
        QCOMPARE(view()->rubberBand->geometry(), QRect(100, 50, 1, 1));
        QTest::mouseMove(view(), {250, 130});
        QCOMPARE(view()->rubberBand->geometry(), QRect(100, 50, 150, 80));
        QCOMPARE(view()->zoomMode, int32_t(ZoomSizing));
        QTest::mouseRelease(view(), Qt::LeftButton, {}, {250, 130});
        QVERIFY(!view()->rubberBand->isVisible());
    }

    void aLeftPressWhileZoomedDoesNothingUntilRefresh()
    {
        drag({100, 50}, {300, 200});
        QTest::mousePress(view(), Qt::LeftButton, {}, {400, 300});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        QTest::mouseMove(view(), {500, 400}); // shows the unchanged band
        QCOMPARE(view()->rubberBand->geometry(), QRect(100, 50, 200, 150));
        QTest::mouseRelease(view(), Qt::LeftButton, {}, {500, 400});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        QCOMPARE(zoomRect(), QList<int>({100, 50, 300, 200}));
        QVERIFY(!view()->rubberBand->isVisible());
        refresh();
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));
        QCOMPARE(probe(view()).window, fullPage);
        drag({320, 240}, {640, 480});
        QCOMPARE(probe(view()).window, QRect(QPoint(2048, 1560), QPoint(4095, 3119)));
    }

    void theRightButtonMovesTheBandBeingDrawn()
    {
        QTest::mousePress(view(), Qt::LeftButton, {}, {100, 50});
        QTest::mouseMove(view(), {200, 150});
        QTest::mousePress(view(), Qt::RightButton, {}, {200, 150});
        QCOMPARE(view()->zoomMode, int32_t(ZoomMoving));
        QTest::mouseMove(view(), {230, 170});
        QCOMPARE(zoomRect(), QList<int>({130, 70, 230, 170}));
        QCOMPARE(view()->rubberBand->geometry(), QRect(130, 70, 100, 100));
        QTest::mouseRelease(view(), Qt::RightButton, {}, {230, 170});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSizing));
        QVERIFY(!view()->rubberBand->isVisible());
        // The left button resizes the moved rectangle from its moved corner.
        QTest::mouseMove(view(), {330, 270});
        QVERIFY(view()->rubberBand->isVisible());
        QCOMPARE(zoomRect(), QList<int>({130, 70, 330, 270}));
        QTest::mouseRelease(view(), Qt::LeftButton, {}, {330, 270});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
    }

    // The zoom rectangle is held in view pixels, so a wider view shows less.
    void theRightButtonPansASetZoomAndResizingKeepsItsPixels()
    {
        drag({100, 50}, {300, 200});
        QTest::mousePress(view(), Qt::RightButton, {}, {200, 100});
        QTest::mouseMove(view(), {300, 150});
        QCOMPARE(zoomRect(), QList<int>({200, 100, 400, 250}));
        QTest::mouseRelease(view(), Qt::RightButton, {}, {300, 150});
        QVERIFY(!view()->rubberBand->isVisible());
        QVERIFY(view()->zoomMode != ZoomIdle);
        DrawProbe p = probe(view());
        QCOMPARE(p.window, QRect(QPoint(1280, 650), QPoint(2559, 1624)));
        QCOMPARE(p.penWidth, 160.0);
        viewer->setViewSize(1280, 480);
        p = probe(view());
        QCOMPARE(p.window, QRect(QPoint(640, 650), QPoint(1279, 1624)));
        QCOMPARE(p.penWidth, 640.0); // scale 2 * 1280 / 200 = 12.8
    }

    void withoutDocumentBytesOrPathOnlyTheBaseShows()
    {
        CurrentDocument.path[0] = '\0';
        QVERIFY(!probe(view()).touchedImage);
        releaseDocumentData();
        QVERIFY(!probe(view()).touchedImage);
        const QColor base = view()->palette().color(QPalette::Base);
        QCOMPARE(column({5, 240, 474}), QList<QColor>({base, base, base}));
    }

    void theLineShowsInItsColourAndOnlyTheZoomedPart()
    {
        // Pen 50 of 3120 units is about 7.7 pixels high around row 240.
        QCOMPARE(column({5, 120, 225, 238, 240, 255, 360, 474}),
                 QList<QColor>({white, white, white, red, red, white, white, white}));
        drag({100, 20}, {540, 200}); // the upper part of the page: the line is outside
        QCOMPARE(column({5, 240, 474}), QList<QColor>(3, white));
        refresh();
        // Rows 1300..1820 around the line at 1560: it fills the middle, thicker.
        drag({100, 200}, {540, 280});
        QCOMPARE(column({120, 215, 240, 265, 360}), QList<QColor>({white, red, red, red, white}));
    }

    void theDocumentsBackgroundShowsWhenWhiteIsOff()
    {
        ViewerSettings.whiteBackground = 0;
        // The comment puts the background commands past the first 100 bytes, where detection looks.
        PvgWriter writer;
        writer.comment(std::string(120, 'x')).background(0).colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100);
        viewer->window->load(viewer->writeDocument("dark.pvg", writer.moveTo(0, 1560).lineTo(4095, 1560).end()).toLocal8Bit());
        QCOMPARE(column({120, 240}), QList<QColor>({black, red}));
        viewer->window->whiteBackgroundItem->trigger(); // white forced
        QCOMPARE(column({120, 240}), QList<QColor>({white, red}));
        viewer->window->whiteBackgroundItem->trigger();
        QCOMPARE(column({120, 240}), QList<QColor>({black, red}));
    }

    // Exposes and rubber-band moves show the kept frame; only a change of what
    // the frame depends on walks the document, once.
    void theDocumentIsWalkedOnlyWhenTheFrameChanges()
    {
        waitForRender();
        const int start = view()->frameWalks();
        QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        for (int x = 105; x < 300; x += 15)
            QTest::mouseMove(view(), QPoint(x, 100 + x / 3));
        view()->repaint();
        QCOMPARE(view()->frameWalks(), start);
        QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, QPoint(110, 200));
        view()->repaint(); // a drag under 20 pixels: back to the same picture
        QCOMPARE(view()->frameWalks(), start);
        const std::function<void()> changes[] = {
            [&] { viewer->setViewSize(500, 400); },
            [&] { drag({50, 50}, {200, 150}); },
            [&] { QTest::keyClick(viewer->window, Qt::Key_B, Qt::ControlModifier); },
            [&] { viewer->window->load(viewer->writeDocument("other.pvg", heavyDrawing(10)).toLocal8Bit()); },
        };
        for (int i = 0; i < 4; ++i) {
            changes[i]();
            waitForRender();
            QCOMPARE(view()->frameWalks(), start + i + 1);
        }
    }

    // A resize in the middle of a render cancels it; what shows afterwards is
    // the whole picture at the new size, the same as a fresh render of it.
    void aCancelledRenderNeverShows()
    {
        viewer->window->load(viewer->writeDocument("heavy.pvg", heavyDrawing(20000)).toLocal8Bit());
        view()->update();
        QCoreApplication::processEvents(); // starts the render at 640 x 480
        viewer->setViewSize(600, 450);
        const QImage shown = view()->grab().toImage();
        InProcessViewer fresh;
        fresh.open(fresh.writeDocument("heavy.pvg", heavyDrawing(20000)));
        fresh.setViewSize(600, 450);
        QCOMPARE(shown, fresh.view->grab().toImage());
    }

    void closingDuringARenderEndsPromptly()
    {
        viewer->window->load(viewer->writeDocument("heavy.pvg", heavyDrawing(20000)).toLocal8Bit());
        viewer->setViewSize(800, 600);
        view()->update();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        viewer->close();
        QVERIFY(viewer->view.isNull());
        QVERIFY2(timer.elapsed() < 3000, "closing waited for the whole render");
    }

    // The wheel zooms around the cursor through zoomRect; zooming out as far as
    // the whole view returns to the unzoomed picture.
    void theWheelZoomsAroundTheCursor()
    {
        wheel(QPoint(320, 240), 120);
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        QCOMPARE(view()->zoomRect.width, 512);
        QCOMPARE(view()->zoomRect.left + view()->zoomRect.width / 2, 320);
        wheel(QPoint(0, 0), 240);
        QCOMPARE(view()->zoomRect.left, 64); // the top-left pixel stays put
        wheel(QPoint(0, 0), -720);
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
