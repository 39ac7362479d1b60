// The raster path against the painter it replaces: the same walk drawn by
// RasterSink and by PainterSink on an antialiased QPainter must look the same
// (mean difference, share of close pixels, total ink), for drawings that
// cover the pens a plot uses, at two view sizes, zoomed and not; and drawn
// band by band the raster path gives the same picture. So must the view's
// frames drawn latest first, from pieces of the walk.
#include "stream/paintersink.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"
#include "stream/rastersink.h"
#include "stream/viewmapping.h"
#include "tests/support/pvgwriter.h"
#include "tests/support/testfiles.h"
#include "view/framerenderer.h"

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

// Curves enough for most of them to be hidden by later ones, with the pen
// changing on every curve: pieces of the walk begin under every pen. Labels
// come every labelEvery curves (none for 0): more labels than latest first
// takes keep the stream's order.
QByteArray overdrawn(int labelEvery = 0)
{
    PvgWriter writer = PvgWriter().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100);
    writer.font("Sans").fontSize(40);
    for (int curve = 0; curve < 600; ++curve) {
        if (labelEvery > 0 && curve % labelEvery == 0)
            writer.textPosition(100 + curve * 5, 300 + curve * 4).text("label " + std::to_string(curve));
        const auto y = [curve](int i) { return int(1560 + (200 + curve % 97 * 13) * std::sin(curve + (1 + curve % 11) * i / 60.0)); };
        writer.lineColour(1 + curve % 3).lineWidth(curve % 7).moveTo(40, y(0));
        for (int i = 1; i < 200; ++i)
            writer.lineTo(40 + i * 20, y(i));
    }
    return QByteArray::fromStdString(writer.end().bytes());
}

// Long lines at every angle, one width each, and points (zero-length
// segments); steep lines of pens a pixel or two wide along the right edge,
// whose last cells are the picture's last column.
QByteArray star()
{
    PvgWriter writer = PvgWriter(0, 30, 80).background(15);
    for (int ray = 0; ray < 48; ++ray) // and a point under each
        writer.lineColour(1).lineWidth(ray % 12 * 2).moveTo(2048, 1560)
            .lineTo(int(2048 + 1500 * std::cos(ray * M_PI / 24)), int(1560 + 1500 * std::sin(ray * M_PI / 24)))
            .lineWidth(ray % 4 * 4).moveTo(100 + ray * 75, 200).lineTo(100 + ray * 75, 200);
    for (int edge = 0; edge < 12; ++edge)
        writer.lineWidth(6 + edge % 4 * 4).moveTo(4095 - edge * 2, 300 + edge * 40).lineTo(4092 - edge * 2, 2800);
    return QByteArray::fromStdString(writer.end().bytes());
}

// Polylines and rays of wide pens at many angles: their square caps and the
// corners where segments meet.
QByteArray wide()
{
    PvgWriter writer = PvgWriter().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100);
    writer.lineColour(1).lineWidth(200).moveTo(500, 500).lineTo(1500, 1200).lineTo(2500, 600).lineTo(3000, 1500);
    writer.lineColour(2).lineWidth(90).moveTo(300, 2900).lineTo(900, 1900).lineTo(1300, 2700).lineTo(3900, 2300);
    for (int ray = 0; ray < 20; ++ray)
        writer.lineColour(1 + ray % 3).lineWidth(20 + ray * 7).moveTo(2900, 1700)
            .lineTo(int(2900 + 900 * std::cos(ray * 0.31)), int(1700 + 900 * std::sin(ray * 0.31)));
    // A wide line whose middle a later, narrower one hides (latest first, it
    // must not be passed over).
    writer.lineColour(3).lineWidth(300).moveTo(200, 200).lineTo(2200, 900).lineColour(1).lineWidth(100).moveTo(200, 200)
        .lineTo(2200, 900);
    return QByteArray::fromStdString(writer.end().bytes());
}

// One-pixel lines at many angles that leave the page above its top (file
// Y beyond the page's height) and, zoomed, every side of the view.
QByteArray offPage()
{
    PvgWriter writer;
    for (int ray = 0; ray < 40; ++ray) {
        const double angle = ray * 0.157 + 0.05;
        writer.lineWidth(0).moveTo(1800 + ray * 11, 1500 + ray * 7)
            .lineTo(std::clamp(int(1800 + 3000 * std::cos(angle)), 0, 4095),
                    std::clamp(int(1500 + 3000 * std::sin(angle)), 0, 4095));
    }
    return QByteArray::fromStdString(writer.end().bytes());
}

// Segments of no length under every pen, at places that fall anywhere in
// their pixels.
QByteArray points()
{
    PvgWriter writer;
    const int widths[] = {0, 1, 2, 4, 6, 8, 12, 20, 40, 100, 300};
    for (int i = 0; i < 11; ++i)
        for (int j = 0; j < 6; ++j) {
            const int x = 150 + i * 350 + j * 7, y = 300 + j * 480 + i * 3;
            writer.lineWidth(widths[i]).moveTo(x, y).lineTo(x, y);
        }
    return QByteArray::fromStdString(writer.end().bytes());
}

// The channel differences of two pixels: their sum, or the largest.
int distance(QRgb a, QRgb b, bool largest = false)
{
    const int d[] = {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))};
    return largest ? std::max({d[0], d[1], d[2]}) : d[0] + d[1] + d[2];
}

// The walk of a view of size, zoomed (zoom 1) onto the middle third (wider
// than high, as a drag makes), or onto that area given bottom up (zoom 2: a
// mirrored window).
ViewWalk viewOf(QSize size, int zoom)
{
    SpanRect band;
    band.setCorners(size.width() / 3, size.height() / 3, size.width() * 2 / 3, size.height() / 2);
    ViewWalk view = viewWalkFor(size.width(), size.height(), zoom != 0, band);
    if (zoom == 2)
        view.zoomArea.setCorners(view.zoomArea.left, view.zoomArea.bottom, view.zoomArea.right, view.zoomArea.top);
    return view;
}

struct Walked {
    int32_t background, segments;
};

// Walks bytes (followed by the zero bytes a document has after its data) onto
// sink, which ends with the call, as that view shows them.
Walked render(const QByteArray &bytes, StreamSink &&sink, QSize size, int zoom = 0)
{
    const ViewWalk view = viewOf(size, zoom);
    const QByteArray data = bytes + QByteArray(16, '\0');
    CPvgMeta meta({reinterpret_cast<const unsigned char *>(data.constData()), int32_t(bytes.size()), false}, &sink,
                  view.lineWidthScale);
    meta.render(view.zoomArea, fullPageRect());
    return {meta.walkedBackground(), meta.walkedSegments()};
}

// The view's frame of bytes, drawn latest first where they allow it.
FinishedFrame latestFirstFrame(const QByteArray &bytes, QSize size, int zoom, QRgb outside)
{
    const ViewWalk view = viewOf(size, zoom);
    std::shared_ptr<unsigned char[]> data(new unsigned char[std::size_t(bytes.size()) + 16]());
    std::memcpy(data.get(), bytes.constData(), std::size_t(bytes.size()));
    FrameRequest request;
    request.key = FrameKey{size, 1, view.lineWidthScale, view.zoomArea, false, data.get(), int32_t(bytes.size()), 0};
    request.bytes = data;
    request.outside = outside;
    request.order = FrameOrder::LatestFirst;
    FrameRenderer renderer(nullptr);
    renderer.start(request);
    renderer.wait(-1);
    return renderer.takeFinished().value();
}

// The picture of bytes as that view shows it, drawn by the painter and by the
// raster path over the same grey, with the walk of each.
struct BothWays {
    QImage painted, rastered;
    Walked byPainter, byRaster;
};
BothWays drawnBothWays(const QByteArray &bytes, QSize size, int zoom)
{
    BothWays both{QImage(size, QImage::Format_ARGB32_Premultiplied), QImage(), {}, {}};
    both.painted.fill(Qt::gray);
    both.rastered = both.painted.copy();
    {
        QPainter painter(&both.painted);
        painter.setRenderHint(QPainter::Antialiasing);
        both.byPainter = render(bytes, PainterSink(&painter), size, zoom);
    }
    both.byRaster = render(bytes, RasterSink(&both.rastered), size, zoom);
    return both;
}

// Within the tolerances of the painter's picture: mean difference, share of
// close pixels, total ink (the channel distance from the paper).
void expectLooksLike(const QImage &painted, const QImage &other, QRgb paper)
{
    double difference = 0, close = 0, inkPainted = 0, inkOther = 0;
    for (int y = 0; y < painted.height(); ++y)
        for (int x = 0; x < painted.width(); ++x) {
            const QRgb a = painted.pixel(x, y), b = other.pixel(x, y);
            difference += distance(a, b);
            close += distance(a, b, true) <= 32 && qAlpha(b) == 255;
            inkPainted += distance(a, paper);
            inkOther += distance(b, paper);
        }
    const double pixels = double(painted.width()) * painted.height();
    QVERIFY(difference / pixels / 3 <= 3.0);
    QVERIFY(close / pixels >= 0.98);
    QVERIFY(std::fabs(inkOther / std::max(inkPainted, 1.0) - 1) <= 0.05);
}

} // namespace

class RasterFidelityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Wide pens end and meet as the painter's outlines do (ends square to an
    // axis rather than to the line would leave triangles at every end),
    // points are what the painter makes of a line of no length, and lines
    // cut at the view's edges keep the painter's steps: no pixel more than a
    // few levels off.
    void shapesAreThePaintersToAPixel_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("zoom");
        for (const auto &[name, bytes] : {std::pair("wide", wide()), std::pair("points", points()),
                                          std::pair("off the page", offPage())})
            for (const QSize size : {QSize(640, 446), QSize(1280, 975)})
                for (const int zoom : {0, 1, 2})
                    QTest::addRow("%s %dx%d zoom %d", name, size.width(), size.height(), zoom) << bytes << size << zoom;
    }
    void shapesAreThePaintersToAPixel()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(int, zoom);
        const BothWays both = drawnBothWays(bytes, size, zoom);
        int farthest = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                farthest = std::max(farthest, distance(both.painted.pixel(x, y), both.rastered.pixel(x, y), true));
        QVERIFY2(farthest <= 12, qPrintable(QString::number(farthest)));
    }

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
        for (const auto &[name, bytes] : {std::pair("demo", demo), std::pair("plot", plot()), std::pair("star", star()),
                                          std::pair("wide", wide()), std::pair("overdrawn", overdrawn()),
                                          std::pair("labelled", overdrawn(75)),
                                          std::pair("many labels", overdrawn(8))})
            for (const QSize size : {QSize(640, 446), QSize(1280, 975)})
                for (const int zoom : {0, 1, 2})
                    QTest::addRow("%s %dx%d%s", name, size.width(), size.height(),
                                  zoom == 0 ? "" : zoom == 1 ? " zoomed" : " zoomed bottom up")
                        << bytes << size << zoom << QList<int>();
        // Bands taller than 512 rows on up to eight cores: more than a word of
        // tile rows in each column of the open map.
        QTest::addRow("overdrawn 200x4400") << overdrawn() << QSize(200, 4400) << 0 << QList<int>();
        for (const auto &[name, bytes] : {std::pair("plot", plot()), std::pair("star", star()), std::pair("wide", wide())})
            for (const QSize size : {QSize(700, 230), QSize(230, 700), QSize(640, 446)})
                QTest::addRow("%s %dx%d in bands", name, size.width(), size.height())
                    << bytes << size << 0 << QList<int>{1, 7, 64};
    }
    void theRasterPictureMatchesThePainters()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(int, zoom);
        QFETCH(QList<int>, bands);
        const BothWays both = drawnBothWays(bytes, size, zoom);
        const QImage &painted = both.painted, &rastered = both.rastered;
        const int32_t background = both.byPainter.background, segments = both.byRaster.segments;
        const QRgb paper = qRgb(palette[background].red, palette[background].green, palette[background].blue);
        expectLooksLike(painted, rastered, paper);
        const FinishedFrame frame = latestFirstFrame(bytes, size, zoom, QColor(Qt::gray).rgb());
        expectLooksLike(painted, frame.image, paper);
        // Only roundings apart from the lines drawn in stream order: a line
        // left out that shows would leave a pixel far off.
        int farthest = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                farthest = std::max(farthest, distance(rastered.pixel(x, y), frame.image.pixel(x, y), true));
        QVERIFY2(farthest <= 24, qPrintable(QString::number(farthest)));
        QCOMPARE(frame.background, background);
        QCOMPARE(frame.segments, segments);

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
