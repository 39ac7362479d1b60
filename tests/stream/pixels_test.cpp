// Pixels: drawings rendered into an image the way the view paints them, and
// segments handed to the painter in batches drawing exactly what one line per
// call draws.
#include "stream/paintersink.h"
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
    return image;
}

const QColor red(255, 0, 0), green(0, 255, 0), white(255, 255, 255), black(0, 0, 0);
} // namespace

class PixelsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { restoreDefaultSettings(); }
    void cleanup() { pvgBatchSegments = true; }

    void linesAppearInTheirColoursAtTheirPlaces()
    {
        const std::string bytes = PvgWriter().colourMapEntry(2, 90, 50, 100)
                                      .colourMapEntry(3, 210, 50, 100).lineWidth(100)
                                      .lineColour(2).moveTo(0, 1560).lineTo(4095, 1560)
                                      .lineColour(3).moveTo(1024, 0).lineTo(1024, 1000)
                                      .end().bytes();
        QImage image = paintImage(bytes, QSize(400, 300));
        QCOMPARE(image.pixelColor(200, 150), red);
        QCOMPARE(image.pixelColor(100, 280), green);
        QCOMPARE(image.pixelColor(200, 50), white);
        QCOMPARE(image.pixelColor(300, 280), white);

        // A black page from the file, white lines stay white on it.
        ViewerSettings.whiteBackground = 0;
        const std::string dark = PvgWriter().raw(pastOffset100()).background(0)
                                     .colourMapEntry(2, 0, 90, 0).lineColour(2).lineWidth(100)
                                     .moveTo(0, 1560).lineTo(4095, 1560).end().bytes();
        image = paintImage(dark, QSize(400, 300));
        QCOMPARE(image.pixelColor(200, 50), black);
        QCOMPARE(image.pixelColor(399, 299), black);
        QCOMPARE(image.pixelColor(200, 150), white);

        // The lower-left quarter zoomed: the line a quarter up lands in the middle.
        const std::string low = PvgWriter().colourMapEntry(2, 90, 50, 100).lineColour(2)
                                    .lineWidth(30).moveTo(0, 780).lineTo(2047, 780).end().bytes();
        image = paintImage(low, QSize(400, 300), true, corners(0, 1560, 2048, 3120), 2);
        QCOMPARE(image.pixelColor(200, 150), red);
        QCOMPARE(image.pixelColor(200, 30), white);
    }

    void batchedSegmentsDrawTheSamePixels()
    {
        // Widths around one device pixel, where batching switches on and off.
        for (int width : {0, 1, 3, 4, 13}) {
            PvgWriter writer;
            writer.colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100);
            writer.lineWidth(width);
            for (int curve = 0; curve < 8; ++curve) {
                writer.lineColour(2 + curve % 2).moveTo(100, 1560);
                // More segments than one batch holds.
                for (int i = 1; i <= 600; ++i)
                    writer.lineTo(100 + 6 * i, 
                                  int(1560 + 1200 * std::sin(i * (6.0 + curve) / 600)));
                // Back and forth over the same points, and a zero-length segment.
                writer.moveTo(2000, 1000).lineTo(2100, 1100).lineTo(2000, 1000).lineTo(2000, 1000);
            }
            const std::string bytes = writer.end().bytes();
            for (int variant = 0; variant < 4; ++variant) {
                const bool antialiased = variant & 1, zoomed = variant & 2;
                const SpanRect zoom = zoomed ? corners(1500, 800, 2600, 1700) : SpanRect();
                const double extra = zoomed ? 4096.0 / 1100.0 : 1.0;
                const QSize size(1280, 975);
                pvgBatchSegments = true;
                const QImage batched = paintImage(bytes, size, antialiased, zoom, extra);
                pvgBatchSegments = false;
                const QImage single = paintImage(bytes, size, antialiased, zoom, extra);
                QVERIFY2(batched == single,
                         qPrintable(QString("GT %1, %2").arg(width).arg(variant)));
            }
        }
    }
};

QTEST_MAIN(PixelsTest)
#include "pixels_test.moc"
