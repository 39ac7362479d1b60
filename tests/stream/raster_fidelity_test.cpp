// The raster path against the painter it replaces: the same walk drawn by
// RasterSink and by PainterSink on an antialiased QPainter must look the same
// (mean difference, share of close pixels, total ink), for drawings that
// cover the pens a plot uses, at two view sizes, zoomed and not; and drawn
// band by band the raster path gives the same picture.
#include "stream/paintersink.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"
#include "stream/rastersink.h"
#include "stream/viewmapping.h"
#include "tests/support/pvgwriter.h"
#include "tests/support/testfiles.h"

#include <QPainter>
#include <QTest>

namespace {

// Curves with every pen a plot uses, thin to wide, in four colours.
QByteArray plot()
{
    PvgWriter writer = PvgWriter().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100)
                           .colourMapEntry(4, 330, 50, 100);
    for (int curve = 0; curve < 28; ++curve) {
        const auto y = [curve](int i) { return int(1560 + (300 + 40 * curve) * std::sin(curve + (1 + curve % 9) * i / 90.0)); };
        writer.lineColour(1 + curve % 4).lineWidth(curve % 7 * (curve < 21 ? 1 : 3)).moveTo(40, y(0));
        for (int i = 1; i < 400; ++i)
            writer.lineTo(40 + i * 10, y(i));
    }
    return QByteArray::fromStdString(writer.end().bytes());
}

// Long lines at every angle, one width each, and points (zero-length segments).
QByteArray star()
{
    PvgWriter writer = PvgWriter(0, 30, 80).background(15);
    for (int ray = 0; ray < 48; ++ray) // and a point under each
        writer.lineColour(1).lineWidth(ray % 12 * 2).moveTo(2048, 1560)
            .lineTo(int(2048 + 1500 * std::cos(ray * M_PI / 24)), int(1560 + 1500 * std::sin(ray * M_PI / 24)))
            .lineWidth(ray % 4 * 4).moveTo(100 + ray * 75, 200).lineTo(100 + ray * 75, 200);
    return QByteArray::fromStdString(writer.end().bytes());
}

// The channel differences of two pixels: their sum, or the largest.
int distance(QRgb a, QRgb b, bool largest = false)
{
    const int d[] = {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))};
    return largest ? std::max({d[0], d[1], d[2]}) : d[0] + d[1] + d[2];
}

// Walks bytes (followed by the zero bytes a document has after its data) onto
// sink, which ends with the call, as a view of size shows them, zoomed (zoom
// 1) onto the middle third (wider than high, as a drag makes), or onto that
// area given bottom up (zoom 2: a mirrored window); returns the background.
int32_t render(const QByteArray &bytes, StreamSink &&sink, QSize size, int zoom = 0)
{
    SpanRect band;
    band.setCorners(size.width() / 3, size.height() / 3, size.width() * 2 / 3, size.height() / 2);
    ViewWalk view = viewWalkFor(size.width(), size.height(), zoom != 0, band);
    if (zoom == 2)
        view.zoomArea.setCorners(view.zoomArea.left, view.zoomArea.bottom, view.zoomArea.right, view.zoomArea.top);
    const QByteArray data = bytes + QByteArray(16, '\0');
    CPvgMeta meta({reinterpret_cast<const unsigned char *>(data.constData()), int32_t(bytes.size()), false}, &sink,
                  view.lineWidthScale);
    meta.render(view.zoomArea, fullPageRect());
    return meta.walkedBackground();
}

} // namespace

class RasterFidelityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Bands, for the rows that give their heights: drawn in bands of that
    // many rows one under the other, in an image with transparent guard pixels
    // below and right of the picture, the raster path gives the rows of the
    // whole and nothing beyond them (the rows next to a band are where a stray
    // write would land), with thin and wide pens close to every band edge and
    // under unequal scales.
    void theRasterPictureMatchesThePainters_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QList<int>>("bands");
        const QByteArray demo = readWholeFile(qEnvironmentVariable("KELVO_SOURCE_DIR") + "/examples/demo.pvg");
        for (const auto &[name, bytes] : {std::pair("demo", demo), std::pair("plot", plot()), std::pair("star", star())})
            for (const QSize size : {QSize(640, 446), QSize(1280, 975)})
                for (const int zoom : {0, 1, 2})
                    QTest::addRow("%s %dx%d%s", name, size.width(), size.height(),
                                  zoom == 0 ? "" : zoom == 1 ? " zoomed" : " zoomed bottom up")
                        << bytes << size << zoom << QList<int>();
        for (const QSize size : {QSize(700, 230), QSize(230, 700), QSize(640, 446)})
            QTest::addRow("plot and star %dx%d in bands", size.width(), size.height())
                << plot() + star() << size << 0 << QList<int>{1, 7, 64};
    }
    void theRasterPictureMatchesThePainters()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(int, zoom);
        QFETCH(QList<int>, bands);
        QImage painted(size, QImage::Format_ARGB32_Premultiplied);
        painted.fill(Qt::gray);
        QImage rastered = painted;
        QPainter painter(&painted);
        painter.setRenderHint(QPainter::Antialiasing);
        const int32_t background = render(bytes, PainterSink(&painter), size, zoom);
        render(bytes, RasterSink(&rastered), size, zoom);

        // Ink: the channel distance from the background.
        const QRgb paper = qRgb(palette[background].red, palette[background].green, palette[background].blue);
        double difference = 0, close = 0, inkPainted = 0, inkRastered = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb a = painted.pixel(x, y), b = rastered.pixel(x, y);
                difference += distance(a, b);
                close += distance(a, b, true) <= 32;
                inkPainted += distance(a, paper);
                inkRastered += distance(b, paper);
            }
        const double pixels = double(size.width()) * size.height();
        QVERIFY(difference / pixels / 3 <= 3.0);
        QVERIFY(close / pixels >= 0.98);
        QVERIFY(std::fabs(inkRastered / std::max(inkPainted, 1.0) - 1) <= 0.05);

        for (const int rows : bands) {
            QImage stacked(size.width() + 2, size.height() + 1, QImage::Format_ARGB32_Premultiplied);
            stacked.fill(Qt::transparent);
            int wrong = 0;
            for (int top = 0; top < size.height(); top += rows) {
                QImage band(stacked.scanLine(top), stacked.width(), std::min(rows, size.height() - top),
                            stacked.bytesPerLine(), stacked.format());
                QImage(band.bits(), size.width(), band.height(), band.bytesPerLine(), band.format()).fill(Qt::gray);
                render(bytes, RasterSink(&band, top, size), size);
                for (int y = std::max(0, top - 1); y <= top + band.height(); ++y)
                    for (int x = 0; x < stacked.width(); ++x)
                        wrong += y < top + band.height() && x < size.width()
                                     ? distance(stacked.pixel(x, y), rastered.pixel(x, y)) > 6 : stacked.pixel(x, y) != 0;
            }
            QCOMPARE(wrong, 0);
        }
    }
};

QTEST_MAIN(RasterFidelityTest)
#include "raster_fidelity_test.moc"
