// The view's kept frame, its renders off the GUI thread, and the wheel and
// drop conveniences, on a real view inside a real main window.

#include "app/appwindow.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "common/viewersettings.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMimeData>
#include <QUrl>
#include <QtTest>

#include <cmath>

namespace {

// Many long crossing lines in four colours and widths: slow enough to render
// that a resize lands in the middle of it.
PvgWriter heavyDrawing(int lines)
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100);
    for (int i = 0; i < lines; ++i) {
        writer.lineColour(2 + i % 2).lineWidth(i % 4 * 3);
        writer.moveTo((i * 37) % 4096, 0).lineTo((i * 91) % 4096, 3119);
    }
    return writer.end();
}

void waitForRender(DrawView *view)
{
    view->waitForFrame();
    QCoreApplication::processEvents();
}

void wheel(QWidget *target, QPoint at, int delta)
{
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

} // namespace

class KeptFrameTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<InProcessViewer> viewer;
    std::unique_ptr<ModalAnswerer> modalBoxes;
    DrawView *view() { return viewer->view; }

private Q_SLOTS:
    void init()
    {
        viewer = std::make_unique<InProcessViewer>();
        modalBoxes = std::make_unique<ModalAnswerer>();
        viewer->open(viewer->writeDocument("drawing.pvg", redLineDrawing()));
        viewer->setViewSize(640, 480);
        waitForRender(view());
    }
    void cleanup()
    {
        viewer.reset();
        modalBoxes.reset();
    }

    // Exposes and rubber-band moves show the kept frame; only a change of
    // what the frame depends on walks the document, once.
    void walksOnlyWhenTheFrameChanges()
    {
        const int start = view()->frameWalks();
        QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        for (int x = 105; x < 300; x += 15)
            QTest::mouseMove(view(), QPoint(x, 100 + x / 3));
        view()->repaint();
        QCOMPARE(view()->frameWalks(), start);
        QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, QPoint(110, 200));
        view()->repaint(); // a drag under 20 pixels: back to the same picture
        QCOMPARE(view()->frameWalks(), start);

        viewer->setViewSize(500, 400);
        waitForRender(view());
        QCOMPARE(view()->frameWalks(), start + 1);

        QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
        QTest::mouseMove(view(), QPoint(200, 150));
        QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
        waitForRender(view());
        QCOMPARE(view()->frameWalks(), start + 2);

        QTest::keyClick(viewer->window, Qt::Key_B, Qt::ControlModifier);
        waitForRender(view());
        QCOMPARE(view()->frameWalks(), start + 3);

        viewer->window->load(viewer->writeDocument("other.pvg", heavyDrawing(10)).toLocal8Bit());
        waitForRender(view());
        QCOMPARE(view()->frameWalks(), start + 4);
    }

    // A resize in the middle of a render cancels it; what shows afterwards is
    // the whole picture at the new size, the same as a fresh render of it.
    void cancelledRenderNeverShows()
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

    void closingDuringARenderEndsCleanly()
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

    // The wheel zooms around the cursor through zoomRect; zooming out as far
    // as the whole view returns to the unzoomed picture.
    void wheelZoomsAroundTheCursor()
    {
        wheel(view(), QPoint(320, 240), 120);
        QCOMPARE(view()->zoomMode, int32_t(ZoomSet));
        QCOMPARE(view()->zoomRect.width, 512);
        QCOMPARE(view()->zoomRect.left + view()->zoomRect.width / 2, 320);
        wheel(view(), QPoint(0, 0), 240);
        QCOMPARE(view()->zoomRect.left, 64); // the top-left pixel stays put
        wheel(view(), QPoint(0, 0), -720);
        QCOMPARE(view()->zoomMode, int32_t(ZoomIdle));
    }

    void droppedFileIsOpened()
    {
        const QString path = viewer->writeDocument("dropped.pvg", heavyDrawing(3));
        temporaryDocument = 1;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewer->window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewer->window, &drop);
        QCOMPARE(viewer->window->windowTitle(), QString("VORNA Viewer - dropped.pvg"));
        QCOMPARE(temporaryDocument, char(0));
    }
};

QTEST_MAIN(KeptFrameTest)
#include "keptframe_test.moc"
