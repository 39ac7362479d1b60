// Pixels: a drawing rendered into an image the way the view paints it, and
// segments handed to the painter in batches drawing exactly what one line per
// call draws.
#include "app/viewersettings.h"
#include "stream/pvgmeta.h"
#include "tests/stream/streamfixture.h"
#include "tests/support/pvgwriter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

namespace {
QImage paintImage(const std::string &bytes, QSize size, bool antialiased = true,
                  SpanRect zoom = SpanRect(), double extraScale = 1.0)
{
    LoadedDocument document(bytes);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::gray);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, antialiased);
    renderDocument(&painter, nullptr, size.width() / 640.0 * extraScale, 0, zoom);
    painter.end();
    return image;
}

// Many short connected segments in several colours, crossing one another.
std::string denseDrawing(int width)
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100)
        .colourMapEntry(4, 330, 50, 100).lineWidth(width);
    for (int curve = 0; curve < 12; ++curve) {
        writer.lineColour(2 + curve % 3);
        for (int i = 0; i <= 400; ++i) {
            const double t = i / 400.0;
            const int x = static_cast<int>(100 + 3800 * t);
            const int y = static_cast<int>(1560 + 1200 * std::sin(t * (6 + curve) + curve));
            if (i == 0)
                writer.moveTo(x, y);
            else
                writer.lineTo(x, y);
        }
        // Back and forth over the same points, and zero-length segments.
        writer.moveTo(2000, 1000).lineTo(2100, 1100).lineTo(2000, 1000).lineTo(2000, 1000);
    }
    return writer.end().bytes();
}
} // namespace

class PixelsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        restoreDefaultSettings();
        pvgBatchSegments = true;
    }
    void cleanup() { pvgBatchSegments = true; }

    void linesAppearInTheirColoursOverTheBackground();
    void blackBackgroundFillsThePage();
    void zoomStretchesThePartOverTheImage();
    void batchedSegmentsDrawTheSamePixels_data();
    void batchedSegmentsDrawTheSamePixels();
};

void PixelsTest::linesAppearInTheirColoursOverTheBackground()
{
    const std::string bytes = PvgWriter()
                                  .colourMapEntry(2, 90, 50, 100)   // red
                                  .colourMapEntry(3, 210, 50, 100)  // green
                                  .lineWidth(100)
                                  .lineColour(2).moveTo(0, 1560).lineTo(4095, 1560)
                                  .lineColour(3).moveTo(1024, 0).lineTo(1024, 1000)
                                  .end().bytes();
    const QImage image = paintImage(bytes, QSize(400, 300));
    QCOMPARE(image.pixelColor(200, 150), QColor(255, 0, 0));
    QCOMPARE(image.pixelColor(100, 280), QColor(0, 255, 0));
    QCOMPARE(image.pixelColor(200, 50), QColor(255, 255, 255));
    QCOMPARE(image.pixelColor(300, 280), QColor(255, 255, 255));
    QCOMPARE(segmentCount, 2);
}

void PixelsTest::blackBackgroundFillsThePage()
{
    ViewerSettings.whiteBackground = 0;
    PvgWriter writer;
    writer.comment(std::string(60, 'p')).comment(std::string(60, 'q')).background(0)
        .colourMapEntry(2, 0, 90, 0).lineColour(2).lineWidth(100)
        .moveTo(0, 1560).lineTo(4095, 1560).end();
    const QImage image = paintImage(writer.bytes(), QSize(400, 300));
    QCOMPARE(image.pixelColor(200, 50), QColor(0, 0, 0));
    QCOMPARE(image.pixelColor(399, 299), QColor(0, 0, 0));
    QCOMPARE(image.pixelColor(200, 150), QColor(255, 255, 255));
}

void PixelsTest::zoomStretchesThePartOverTheImage()
{
    // The lower-left quarter of the page, zoomed: the line at Y 780 (a quarter
    // up) lands in the middle of the image.
    const std::string bytes = PvgWriter().colourMapEntry(2, 90, 50, 100).lineColour(2)
                                  .lineWidth(30).moveTo(0, 780).lineTo(2047, 780).end().bytes();
    const QImage image = paintImage(bytes, QSize(400, 300), true,
                                    rectFromCorners(0, 1560, 2048, 3120), 2.0);
    QCOMPARE(image.pixelColor(200, 150), QColor(255, 0, 0));
    QCOMPARE(image.pixelColor(200, 30), QColor(255, 255, 255));
}

void PixelsTest::batchedSegmentsDrawTheSamePixels_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("antialiased");
    QTest::addColumn<bool>("zoomedIn");
    for (int width : {0, 1, 3, 6, 7, 8, 13, 40}) {
        for (bool antialiased : {true, false}) {
            for (bool zoomedIn : {false, true}) {
                const QByteArray name = "GT " + QByteArray::number(width)
                    + (antialiased ? " antialiased" : " aliased") + (zoomedIn ? " zoomed" : "");
                QTest::newRow(name.constData()) << width << antialiased << zoomedIn;
            }
        }
    }
}

void PixelsTest::batchedSegmentsDrawTheSamePixels()
{
    QFETCH(int, width);
    QFETCH(bool, antialiased);
    QFETCH(bool, zoomedIn);
    const std::string bytes = denseDrawing(width);
    const SpanRect zoom = zoomedIn ? rectFromCorners(1500, 800, 2600, 1700) : SpanRect();
    const double extra = zoomedIn ? 4096.0 / 1100.0 : 1.0;

    pvgBatchSegments = true;
    const QImage batched = paintImage(bytes, QSize(1280, 975), antialiased, zoom, extra);
    pvgBatchSegments = false;
    const QImage single = paintImage(bytes, QSize(1280, 975), antialiased, zoom, extra);
    QVERIFY(batched == single);
}

QTEST_MAIN(PixelsTest)
#include "pixels_test.moc"
