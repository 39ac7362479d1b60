// The rubber-band zoom of the draw view, driven by mouse events on a real view
// inside a real main window, and observed through a painter handed to drawIt.

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
    DrawProbe result;
    QPainter painter(&image);
    view->drawIt(&painter);
    result.window = painter.window();
    result.penWidth = painter.pen().widthF();
    painter.end();
    result.touchedImage = image != untouched;
    return result;
}

const QRect fullPageWindow(0, 0, 4096, 3120);

QAction *findAction(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

class DrawViewZoomTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<InProcessViewer> viewer;
    std::unique_ptr<ModalAnswerer> modalBoxes;
    DrawView *view() { return viewer->view; }

    void drag(QPoint from, QPoint to, QPoint releaseAt)
    {
        QTest::mousePress(view(), Qt::LeftButton, {}, from);
        QTest::mouseMove(view(), to);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, releaseAt);
    }
    void drag(QPoint from, QPoint to) { drag(from, to, to); }

    void expectRect(int left, int top, int right, int bottom)
    {
        const SpanRect &r = view()->zoomRect;
        QCOMPARE(r.left, left);
        QCOMPARE(r.top, top);
        QCOMPARE(r.right, right);
        QCOMPARE(r.bottom, bottom);
        QCOMPARE(r.width, right - left);
        QCOMPARE(r.height, bottom - top);
    }

private slots:
    void init()
    {
        viewer = std::make_unique<InProcessViewer>();
        modalBoxes = std::make_unique<ModalAnswerer>();
        viewer->open(viewer->writeDocument("line.pvg", redLineDrawing()));
        QVERIFY2(CurrentDocument.data != nullptr, qPrintable(modalBoxes->titlesAndTexts().join("; ")));
        viewer->setViewSize(640, 480);
    }

    void cleanup()
    {
        QVERIFY2(modalBoxes->seen.isEmpty(),
                 qPrintable(modalBoxes->titlesAndTexts().join("; ")));
        viewer.reset();
    }

    void unzoomedScaleFollowsTheViewWidth()
    {
        DrawProbe p = probe(view());
        QCOMPARE(p.window, fullPageWindow);
        QCOMPARE(p.penWidth, 50.0); // scale 1.0 at 640 pixels

        viewer->setViewSize(1280, 480);
        p = probe(view());
        QCOMPARE(p.window, fullPageWindow);
        QCOMPARE(p.penWidth, 100.0); // scale 2.0 at 1280 pixels
    }

    void dragZoomsIntoTheRectangle()
    {
        drag({100, 50}, {300, 200});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        expectRect(100, 50, 300, 200);
        QVERIFY(!view()->rubberBand->isVisible());

        const DrawProbe p = probe(view());
        // zoomArea (640, 325)-(1920, 1300); the window's last unit is one less.
        QCOMPARE(p.window, QRect(QPoint(640, 325), QPoint(1919, 1299)));
        QCOMPARE(p.penWidth, 160.0); // scale 640 / 200 = 3.2
    }

    void onlyTheHorizontalDistanceOfTheReleaseDecides()
    {
        // 19 pixels, however tall: cancelled.
        drag({100, 50}, {119, 400});
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));
        QVERIFY(!view()->rubberBand->isVisible());
        QCOMPARE(probe(view()).window, fullPageWindow);

        // A click on one spot: cancelled.
        drag({200, 200}, {200, 200});
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));

        // Moved far, released 10 pixels from the press: cancelled.
        drag({100, 50}, {300, 200}, {110, 200});
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));

        // Exactly 20 pixels, even flat: zoomed.
        drag({100, 50}, {120, 51});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        expectRect(100, 50, 120, 51);
    }

    void theRectangleKeepsTheCornerOfTheLastMove()
    {
        drag({100, 50}, {300, 200}, {60, 10});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        expectRect(100, 50, 300, 200);
    }

    void theBandFollowsTheDrag()
    {
        QTest::mousePress(view(), Qt::LeftButton, {}, {100, 50});
        QVERIFY(view()->rubberBand->isVisible());
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
        expectRect(100, 50, 300, 200);
        QVERIFY(!view()->rubberBand->isVisible());
        QTest::mouseMove(view(), {500, 400}); // shows the unchanged band
        QCOMPARE(view()->rubberBand->geometry(), QRect(100, 50, 200, 150));
        QTest::mouseRelease(view(), Qt::LeftButton, {}, {500, 400});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        QVERIFY(!view()->rubberBand->isVisible());

        QAction *refresh = findAction(viewer->window->viewMenu, "&Refresh");
        QVERIFY(refresh != nullptr);
        refresh->trigger();
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));
        QCOMPARE(probe(view()).window, fullPageWindow);

        drag({320, 240}, {640, 480});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        QCOMPARE(probe(view()).window, QRect(QPoint(2048, 1560), QPoint(4095, 3119)));
    }

    void theRightButtonMovesTheBandBeingDrawn()
    {
        QTest::mousePress(view(), Qt::LeftButton, {}, {100, 50});
        QTest::mouseMove(view(), {200, 150});
        QTest::mousePress(view(), Qt::RightButton, {}, {200, 150});
        QCOMPARE(view()->zoomMode, int32_t(ZoomMoving));
        QTest::mouseMove(view(), {230, 170});
        expectRect(130, 70, 230, 170);
        QCOMPARE(view()->rubberBand->geometry(), QRect(130, 70, 100, 100));

        QTest::mouseRelease(view(), Qt::RightButton, {}, {230, 170});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSizing));
        QVERIFY(!view()->rubberBand->isVisible());

        // The left button resizes the moved rectangle from its moved corner.
        QTest::mouseMove(view(), {330, 270});
        QVERIFY(view()->rubberBand->isVisible());
        expectRect(130, 70, 330, 270);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, {330, 270});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
    }

    void theRightButtonPansASetZoom()
    {
        drag({100, 50}, {300, 200});
        QTest::mousePress(view(), Qt::RightButton, {}, {200, 100});
        QTest::mouseMove(view(), {300, 150});
        expectRect(200, 100, 400, 250);
        QTest::mouseRelease(view(), Qt::RightButton, {}, {300, 150});
        QVERIFY(!view()->rubberBand->isVisible());
        // Still zoomed (the table's next state is ZoomSizing), through the moved rectangle.
        QVERIFY(view()->zoomMode != ZoomIdle);
        const DrawProbe p = probe(view());
        QCOMPARE(p.window, QRect(QPoint(1280, 650), QPoint(2559, 1624)));
        QCOMPARE(p.penWidth, 160.0);
    }

    void otherButtonsAreIgnored()
    {
        QTest::mousePress(view(), Qt::MiddleButton, {}, {100, 50});
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));
        QVERIFY(!view()->rubberBand->isVisible());
        QTest::mouseRelease(view(), Qt::MiddleButton, {}, {100, 50});
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));
    }

    void resizingWhileZoomedKeepsThePixelRectangle()
    {
        drag({100, 50}, {300, 200});
        viewer->setViewSize(1280, 480);
        const DrawProbe p = probe(view());
        QCOMPARE(p.window, QRect(QPoint(320, 325), QPoint(959, 1299)));
        QCOMPARE(p.penWidth, 640.0); // scale 2 * 1280 / 200 = 12.8
    }

    // Rectangles dragged leftwards or upwards zoom into the area they cover.
    void aBackwardsDragZoomsLikeTheForwardOne()
    {
        QTest::mousePress(view(), Qt::LeftButton, {}, {300, 200});
        QTest::mouseMove(view(), {100, 50});
        QCOMPARE(view()->rubberBand->geometry(), QRect(300, 200, 1, 1));
        QTest::mouseRelease(view(), Qt::LeftButton, {}, {100, 50});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        expectRect(300, 200, 100, 50);

        const DrawProbe p = probe(view());
        QCOMPARE(p.window, QRect(QPoint(640, 325), QPoint(1919, 1299)));
        QCOMPARE(p.penWidth, 160.0);
    }

    // A rectangle without width or height covers nothing: the page is drawn whole.
    void aRectangleWithoutExtentDrawsUnzoomed()
    {
        QTest::mousePress(view(), Qt::LeftButton, {}, {100, 50});
        QTest::mouseMove(view(), {100, 200});
        QCOMPARE(view()->zoomRect.width, 0);
        DrawProbe p = probe(view());
        QCOMPARE(p.window, fullPageWindow);
        QCOMPARE(p.penWidth, 50.0);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, {100, 200});

        drag({100, 50}, {300, 50});
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        p = probe(view());
        QCOMPARE(p.window, fullPageWindow);
        QCOMPARE(p.penWidth, 50.0);
    }

    void withoutDocumentBytesNothingIsDrawn()
    {
        releaseDocumentData();
        const DrawProbe p = probe(view());
        QVERIFY(!p.touchedImage);
        QCOMPARE(p.window, QRect(QPoint(0, 0), view()->size()));
    }

    void withoutDocumentPathNothingIsDrawn()
    {
        CurrentDocument.path[0] = '\0';
        QVERIFY(!probe(view()).touchedImage);
    }

    void theViewIsBuiltAsTheWindowsChild()
    {
        QCOMPARE(viewer->window->view, view());
        QCOMPARE(view()->parentWidget(), viewer->window.data());
        QCOMPARE(view()->backgroundRole(), QPalette::Base);
        QVERIFY(view()->autoFillBackground());
        QVERIFY(!view()->hasMouseTracking());
        QVERIFY(view()->printer != nullptr);
        QCOMPARE(view()->rubberBand->parentWidget(), view());
        QCOMPARE(view()->rubberBand->shape(), QRubberBand::Rectangle);
    }
};

QTEST_MAIN(DrawViewZoomTest)
#include "drawview_zoom_test.moc"
