// The draw view inside a real main window: the rubber-band zoom and the wheel
// driven by mouse scripts and observed through a painter handed to drawIt, the
// pixels the view shows, and its kept frame rendered off the GUI thread.
#include "app/appwindow.h"
#include "common/currentdocument.h"
#include "common/viewersettings.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QPainter>
#include <QRubberBand>
#include <QtTest>

class ViewTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<InProcessViewer> viewer;
    std::unique_ptr<ModalAnswerer> modalBoxes;
    DrawView *view() { return viewer->view; }
    int walksAtStart = 0;

    // Steps separated by spaces: "L+x,y" / "L-x,y" press / release the left
    // button (R the right), ">x,y" moves (x,y with a fraction: sent as it is),
    // "w120@x,y" turns the wheel,
    // "S1280" makes the view 1280 x 480, "dark" loads the red line on the file's
    // black background; anything else is a key sequence.
    void play(const QString &script)
    {
        static const QRegularExpression mouse(R"(^([LR][+-]|>|w(-?\d+)@)([\d.]+),([\d.]+)$)");
        Qt::MouseButtons held;
        for (const QString &step : script.split(' ', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = mouse.match(step);
            const QString kind = m.captured(1);
            const QPointF exact(m.captured(3).toDouble(), m.captured(4).toDouble());
            const QPoint at = exact.toPoint();
            if (step == "dark") { // background commands past the first 100 bytes, where detection looks
                ViewerSettings.whiteBackground = 0;
                const PvgWriter dark = PvgWriter().comment(std::string(120, 'x')).background(0).colourMapEntry(2, 90, 50, 100)
                                           .lineColour(2).lineWidth(100).moveTo(0, 1560).lineTo(4095, 1560).end();
                viewer->window->load(viewer->writeDocument("dark.pvg", dark).toLocal8Bit());
            } else if (step.startsWith('S')) {
                viewer->setViewSize(step.mid(1).toInt(), 480);
            } else if (!m.hasMatch()) {
                QTest::keySequence(viewer->window, QKeySequence(step));
            } else if (kind.startsWith('w')) {
                QWheelEvent wheel(at, view()->mapToGlobal(at), {}, {0, m.captured(2).toInt()}, Qt::NoButton,
                                  Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(view(), &wheel);
            } else if (step.contains('.')) { // a fractional screen scale's positions
                const auto button = kind == ">" ? Qt::NoButton : kind[0] == 'R' ? Qt::RightButton : Qt::LeftButton;
                held = kind.endsWith('+') ? held | button : held & ~button;
                QMouseEvent event(kind == ">" ? QEvent::MouseMove : kind.endsWith('+') ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease,
                                  exact, view()->mapToGlobal(exact), button, held, Qt::NoModifier);
                QApplication::sendEvent(view(), &event);
            } else {
                const auto button = kind[0] == 'R' ? Qt::RightButton : Qt::LeftButton;
                QTest::mouseEvent(kind == ">" ? QTest::MouseMove : kind[1] == '+' ? QTest::MousePress : QTest::MouseRelease,
                                  view(), kind == ">" ? Qt::NoButton : button, {}, at);
            }
            // Each step's frame is made before the next step.
            view()->waitForFrame();
            QCoreApplication::processEvents();
        }
    }

    // The zoom mode and rectangle; the rubber band when shown; the walks of the
    // document for frames since the start, one for each change of what the
    // frame depends on (exposes and rubber-band moves show the kept frame);
    // what drawIt leaves on a painter: its window and the pen of the drawing's
    // single GT 100 (trunc(100 * scale) / 2), or "blank" when it draws nothing;
    // and column 320 of the view as the JPEG export grabs it (through the
    // rectangle of the moment, also in a drag) at rows 120, 215, 240, 265 and
    // 360: r red, w white, k black, ? anything else.
    QString state()
    {
        static const char *const modes[] = {"idle", "sizing", "moving", "set"};
        const SpanRect &r = view()->zoomRect;
        QString s = modes[view()->zoomMode];
        if (view()->zoomMode != ZoomIdle)
            s += QString::asprintf(" %d,%d %d,%d", r.left, r.top, r.right, r.bottom);
        const QRect band = view()->rubberBand->geometry();
        if (view()->rubberBand->isVisible())
            s += QString::asprintf(", band %d,%d %dx%d", band.x(), band.y(), band.width(), band.height());
        s += QString::asprintf(", walks %d", view()->frameWalks() - walksAtStart);
        QImage image(view()->size(), QImage::Format_ARGB32);
        image.fill(Qt::darkGray);
        const QImage untouched = image;
        QPainter painter(&image);
        view()->drawIt(&painter);
        const QRect w = painter.window();
        s += QString::asprintf(", window %d,%d %d,%d pen %g", w.left(), w.top(), w.right(), w.bottom(), painter.pen().widthF());
        s += image == untouched ? ", blank, column " : ", column ";
        static const QMap<QRgb, char> names{{qRgb(255, 0, 0), 'r'}, {qRgb(255, 255, 255), 'w'}, {qRgb(0, 0, 0), 'k'}};
        view()->repaint();
        const QImage shown = view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int y : {120, 215, 240, 265, 360})
            s += names.value(shown.pixel(320, y), '?');
        return s;
    }

private Q_SLOTS:
    void init()
    {
        viewer = std::make_unique<InProcessViewer>();
        modalBoxes = std::make_unique<ModalAnswerer>();
        viewer->open(viewer->writeDocument("drawing.pvg", redLineDrawing()));
        viewer->setViewSize(640, 480);
        view()->waitForFrame();
        walksAtStart = view()->frameWalks();
    }

    void cleanup()
    {
        QVERIFY2(modalBoxes->seen.isEmpty(), qPrintable(modalBoxes->titlesAndTexts().join("; ")));
        viewer.reset();
    }

    // A left drag zooms when released 20 or more pixels right or left of the
    // press, into the rectangle of the last move, held in view pixels; a
    // rectangle without extent draws unzoomed. The band shows the rectangle
    // whichever way it is dragged. The right button moves the band being drawn
    // or pans a set zoom; a set zoom ignores the left button until Refresh
    // (Esc). The wheel zooms around the cursor, unless a button is held.
    void mouseScriptsZoom_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("state");
        const QString zoom = "L+100,50 >300,200 L-300,200 ", unzoomed = ", window 0,0 4095,3119 pen 50, column wwrww";
        const QString zoomed = ", window 640,325 1919,1299 pen 160, column wwwww"; // scale 3.2
        QTest::newRow("forwards") << zoom << "set 100,50 300,200, walks 1" + zoomed;
        QTest::newRow("fractions cut toward zero") << "L+100.9,50.9 >300.9,200.9 L-300.9,200.9" << "set 100,50 300,200, walks 1" + zoomed;
        QTest::newRow("backwards") << "L+300,200 >100,50 L-100,50" << "set 300,200 100,50, walks 1" + zoomed;
        QTest::newRow("19 pixels, however tall") << "L+100,50 >119,400 L-119,400" << "idle, walks 0" + unzoomed;
        QTest::newRow("exactly 20 pixels, no height") << "L+100,50 >120,50 L-120,50" << "set 100,50 120,50, walks 0" + unzoomed;
        QTest::newRow("the band follows") << "L+100,50 >250,130"
                                          << "sizing 100,50 250,130, band 100,50 150x80, walks 0, window 640,325 1599,843 pen 213, column wwwww";
        QTest::newRow("left drag while zoomed") << zoom + "L+400,300 >500,400 L-500,400" << "set 100,50 300,200, walks 1" + zoomed;
        QTest::newRow("a new zoom after Refresh") << zoom + "Esc L+320,240 >640,480 L-640,480"
                                                  << "set 320,240 640,480, walks 3, window 2048,1560 4095,3119 pen 100, column wwwww";
        QTest::newRow("the band follows backwards") << "L+250,130 >100,50"
                                                    << "sizing 250,130 100,50, band 100,50 150x80, walks 0, window 640,325 1599,843 pen 213, column wwwww";
        QTest::newRow("the wheel after the right button") << zoom + "R+200,150 >220,160 R-220,160 w120@320,240"
                                                          << "set 140,75 300,195, walks 3, window 896,487 1919,1266 pen 200, column wwwww";
        QTest::newRow("the left resizes from the moved corner") << "L+100,50 >200,150 R+200,150 >230,170 R-230,170 >330,270"
            << "sizing 130,70 330,270, band 130,70 200x200, walks 0, window 832,455 2111,1754 pen 160, column ????w";
        QTest::newRow("a panned zoom in a wider view") << zoom + "R+200,100 >300,150 R-300,150 S1280" // scale 1280 / 100
                                                       << "sizing 200,100 400,250, walks 3, window 640,650 1279,1624 pen 640, column wwwwr";
        QTest::newRow("wheel in, then at the top-left") << "w120@320,240 w240@0,0"
                                                        << "set 64,48 392,294, walks 2, window 409,312 2507,1910 pen 97, column wwww?";
        // Rows 1300..1820 round the line at 1560: it fills the middle.
        QTest::newRow("round the line") << "L+100,200 >540,280 L-540,280"
                                        << "set 100,200 540,280, walks 1, window 640,1300 3455,1819 pen 72, column wrrrw";
        // A file's own black background shows unless Ctrl+B forces white; each is a new frame.
        QTest::newRow("white forced") << "dark Ctrl+B" << "idle, walks 2" + unzoomed;
        QTest::newRow("and off again") << "dark Ctrl+B Ctrl+B" << "idle, walks 3, window 0,0 4095,3119 pen 50, column kkrkk";
    }

    void mouseScriptsZoom()
    {
        QFETCH(QString, script);
        QFETCH(QString, state);
        play(script);
        QCOMPARE(this->state(), state);
    }

    // A zoom of no height has no mapping onto the view, which draws the whole
    // page (above); the EPS of it is the dragged strip, flat, at the zoom's width.
    void aFlatZoomIsExportedAsDragged()
    {
        play("L+100,50 >120,50 L-120,50");
        FILE *eps = std::tmpfile();
        QVERIFY(eps != nullptr);
        view()->drawIt(nullptr, false, 3, eps);
        QFile written;
        QVERIFY(std::fflush(eps) == 0 && written.open(eps, QIODevice::ReadOnly) && written.seek(0));
        const QByteArray text = written.readAll();
        std::fclose(eps);
        QVERIFY2(text.contains("\n%%BoundingBox: 160 698 192 698\n") && text.contains(" 3200 setlinewidth"), text.left(400));
    }

    // On the file's black page no row of the frame is left undrawn, whatever band it fell in.
    void everyRowIsDrawn()
    {
        play("dark");
        const QImage shown = view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < shown.height(); ++y)
            QVERIFY2(qGreen(shown.pixel(320, y)) == 0 && qBlue(shown.pixel(320, y)) == 0, qPrintable(QString::number(y)));
    }

    // A view far beyond any screen gets a frame of bounded size, its shape
    // kept. One a row high draws every band, and large text stretched over
    // thousands of pixels one way and squeezed into one the other, without a
    // word from the painter.
    void extremeViewSizes()
    {
        InProcessViewer hidden;
        PvgWriter text;
        text.colourMapEntry(2, 90, 50, 100).lineColour(2).fontSize(1000).textPosition(100, 1500).text("Wide");
        hidden.open(hidden.writeDocument("text.pvg", text.end()), false);
        QTest::failOnWarning(QRegularExpression(".*"));
        for (const auto &[view, frame] : {std::pair{QSize(200000, 400), QSize(32767, 65)},
                                          std::pair{QSize(4000, 1), QSize(4000, 1)}, std::pair{QSize(640, 480), QSize(640, 480)}}) {
            hidden.setViewSize(view.width(), view.height());
            hidden.view->waitForFrame();
            QCOMPARE(hidden.view->frameSize(), frame);
        }
    }

    // Many long crossing lines in two colours and four widths: slow enough to
    // render (well over 0.1 s) that a resize lands in the middle of it.
    static PvgWriter heavyDrawing()
    {
        PvgWriter heavy = PvgWriter().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100);
        for (int i = 0; i < 100000; ++i)
            heavy.lineColour(2 + i % 2).lineWidth(i % 4 * 3).moveTo((i * 37) % 4096, 0).lineTo((i * 91) % 4096, 3119);
        return heavy.end();
    }

    // A resize in the middle of a render cancels it; what shows afterwards is
    // the whole picture at the new size, the same as a fresh render of it.
    // Closing the window in the middle of a render ends cleanly.
    void aCancelledRenderNeverShowsAndClosingEndsIt()
    {
        const PvgWriter heavy = heavyDrawing();
        viewer->window->load(viewer->writeDocument("heavy.pvg", heavy).toLocal8Bit());
        view()->update();
        QCoreApplication::processEvents(); // starts the render at 640 x 480
        viewer->setViewSize(600, 450);
        const QImage shown = view()->grab().toImage();
        InProcessViewer fresh;
        fresh.open(fresh.writeDocument("heavy.pvg", heavy));
        fresh.setViewSize(600, 450);
        QCOMPARE(shown, fresh.view->grab().toImage());
        viewer->setViewSize(640, 480);
        QCoreApplication::processEvents();
        viewer->close();
        QVERIFY(viewer->view.isNull());
    }

    // A render for a size the view has left again before it was done is
    // stopped and dropped: the kept frame of the size it is back at stays, and
    // the document is not walked for it again.
    void aFrameForASizeLeftAgainIsNeverKept()
    {
        viewer->window->load(viewer->writeDocument("heavy.pvg", heavyDrawing()).toLocal8Bit());
        QElapsedTimer clock;
        clock.start();
        view()->waitForFrame();
        const qint64 renderMs = clock.elapsed();
        const QImage whole = view()->grab().toImage();
        const int walks = view()->frameWalks();
        viewer->setViewSize(600, 450);
        view()->repaint(); // starts that size's render, waiting for it only briefly
        QVERIFY(view()->rendering());
        viewer->setViewSize(640, 480);
        view()->repaint();
        QVERIFY(!view()->rendering());
        QTest::qWait(int(3 * renderMs) + 100); // time for a render left running to end and report
        view()->repaint();
        QCOMPARE(view()->frameWalks(), walks + 1);
        QCOMPARE(view()->grab().toImage(), whole);
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
