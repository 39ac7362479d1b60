// The raster path against the painter it replaces: the same walk drawn by
// RasterSink and by PainterSink on an antialiased QPainter must look the same
// (mean difference, share of close pixels, total ink), for drawings that
// cover the pens a plot uses, at two view sizes, zoomed and not.
#include "stream/paintersink.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"
#include "stream/rastersink.h"
#include "stream/viewmapping.h"
#include "tests/support/pvgwriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <cstdlib>

namespace {

// Curves with every pen a plot uses, thin to wide, in four colours.
PvgWriter plot()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100).colourMapEntry(4, 330, 50, 100);
    for (int curve = 0; curve < 28; ++curve) {
        writer.lineColour(1 + curve % 4).lineWidth(curve % 7 * (curve < 21 ? 1 : 3));
        for (int i = 0; i < 400; ++i) {
            const int y = int(1560 + (300 + 40 * curve) * std::sin(curve + (1 + curve % 9) * i / 90.0));
            i == 0 ? writer.moveTo(40 + i * 10, y) : writer.lineTo(40 + i * 10, y);
        }
    }
    return writer.end();
}

// Long lines at every angle, one width each, and points (zero-length segments).
PvgWriter star()
{
    PvgWriter writer(0, 30, 80);
    writer.background(15);
    for (int ray = 0; ray < 48; ++ray) {
        const double angle = ray * 3.14159265 / 24;
        writer.lineColour(1).lineWidth(ray % 12 * 2);
        writer.moveTo(2048, 1560).lineTo(int(2048 + 1500 * std::cos(angle)), int(1560 + 1500 * std::sin(angle)));
    }
    for (int i = 0; i < 60; ++i)
        writer.lineWidth(i % 4 * 4).moveTo(100 + i * 60, 200).lineTo(100 + i * 60, 200);
    return writer.end();
}

struct Difference {
    double meanAbs = 0;      // per channel, 0..255
    double closeShare = 0;   // pixels whose channels all differ by 32 or less
    double inkRatio = 0;     // ink of the raster picture over the painter's
};

Difference compare(const QImage &painted, const QImage &rastered, QRgb background)
{
    double sum = 0, inkPainted = 0, inkRastered = 0;
    qint64 close = 0;
    const auto ink = [background](QRgb c) {
        return std::abs(qRed(c) - qRed(background)) + std::abs(qGreen(c) - qGreen(background))
               + std::abs(qBlue(c) - qBlue(background));
    };
    for (int y = 0; y < painted.height(); ++y) {
        const QRgb *a = reinterpret_cast<const QRgb *>(painted.constScanLine(y));
        const QRgb *b = reinterpret_cast<const QRgb *>(rastered.constScanLine(y));
        for (int x = 0; x < painted.width(); ++x) {
            const int dr = std::abs(qRed(a[x]) - qRed(b[x])), dg = std::abs(qGreen(a[x]) - qGreen(b[x]));
            const int db = std::abs(qBlue(a[x]) - qBlue(b[x]));
            sum += dr + dg + db;
            close += std::max({dr, dg, db}) <= 32;
            inkPainted += ink(a[x]);
            inkRastered += ink(b[x]);
        }
    }
    const double pixels = double(painted.width()) * painted.height();
    return {sum / pixels / 3, close / pixels, inkPainted > 0 ? inkRastered / inkPainted : 1};
}

} // namespace

class RasterFidelityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { fillPaletteFractions(); }

    void theRasterPictureMatchesThePainters_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("zoomed");
        QFile demo(qEnvironmentVariable("KELVO_SOURCE_DIR") + "/examples/demo.pvg");
        QVERIFY(demo.open(QIODevice::ReadOnly));
        const QList<QPair<const char *, QByteArray>> drawings = {
            {"demo", demo.readAll()},
            {"plot", QByteArray::fromStdString(plot().bytes())},
            {"star", QByteArray::fromStdString(star().bytes())}};
        for (const auto &[name, bytes] : drawings)
            for (const QSize size : {QSize(640, 446), QSize(1280, 975)})
                for (const bool zoomed : {false, true})
                    QTest::addRow("%s %dx%d%s", name, size.width(), size.height(), zoomed ? " zoomed" : "")
                        << bytes << size << zoomed;
    }
    void theRasterPictureMatchesThePainters()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(bool, zoomed);
        SpanRect band; // a zoom onto the middle third, wider than high, as a drag makes
        band.setCorners(size.width() / 3, size.height() / 3, size.width() * 2 / 3, size.height() / 2);
        const ViewWalk view = viewWalkFor(size.width(), size.height(), zoomed, band);
        bytes.append(QByteArray(16, '\0'));
        const WalkInput input{reinterpret_cast<const unsigned char *>(bytes.constData()),
                              int32_t(bytes.size() - 16), false};

        QImage painted(size, QImage::Format_ARGB32_Premultiplied), rastered = painted;
        painted.fill(Qt::gray);
        rastered.fill(Qt::gray);
        int32_t background = 0;
        {
            QPainter painter(&painted);
            painter.setRenderHint(QPainter::Antialiasing);
            PainterSink sink(&painter);
            CPvgMeta meta(input, &sink, view.lineWidthScale);
            meta.render(view.zoomArea, fullPageRect());
            background = meta.walkedBackground();
        }
        RasterSink sink(&rastered);
        CPvgMeta(input, &sink, view.lineWidthScale).render(view.zoomArea, fullPageRect());

        const PaletteColour &b = palette[background];
        const Difference d = compare(painted, rastered, qRgb(b.red, b.green, b.blue));
        const QByteArray figures = QByteArray::number(d.meanAbs, 'f', 2) + " mean, "
                                   + QByteArray::number(d.closeShare * 100, 'f', 2) + "% close, ink "
                                   + QByteArray::number(d.inkRatio, 'f', 3);
        qInfo("%s", figures.constData());
        QVERIFY2(d.meanAbs <= 3.0, figures);
        QVERIFY2(d.closeShare >= 0.98, figures);
        QVERIFY2(std::fabs(d.inkRatio - 1) <= 0.05, figures);
    }

    // A band draws its own rows of the picture and nothing around them: the
    // bands of a picture under unequal scales, with thin and wide pens close
    // to every band edge, stacked up give the picture drawn whole, and the
    // guard pixels around each band (above and below it, and right of the
    // picture's width) keep their colour.
    void bandsDrawOnlyTheirRows()
    {
        const QByteArray bytes = QByteArray::fromStdString(plot().bytes() + star().bytes()) + QByteArray(16, '\0');
        const WalkInput input{reinterpret_cast<const unsigned char *>(bytes.constData()),
                              int32_t(bytes.size() - 16), false};
        constexpr QRgb kGuard = 0xFF123456;
        for (const QSize size : {QSize(700, 230), QSize(230, 700), QSize(640, 446)}) {
            const ViewWalk view = viewWalkFor(size.width(), size.height(), false, SpanRect());
            QImage whole(size, QImage::Format_ARGB32_Premultiplied);
            whole.fill(Qt::gray);
            RasterSink wholeSink(&whole);
            CPvgMeta(input, &wholeSink, view.lineWidthScale).render(view.zoomArea, fullPageRect());
            for (const int rows : {1, 7, 64}) {
                QImage stacked(size.width() + 2, size.height() + 1, QImage::Format_ARGB32_Premultiplied);
                for (int top = 0; top < size.height(); top += rows) {
                    stacked.fill(kGuard);
                    const int height = std::min(rows, size.height() - top);
                    QImage band(stacked.scanLine(top), stacked.width(), height, stacked.bytesPerLine(),
                                stacked.format());
                    band.fill(Qt::gray);
                    for (int y = 0; y < height; ++y)
                        std::fill_n(reinterpret_cast<QRgb *>(band.scanLine(y)) + size.width(), 2, kGuard);
                    RasterSink sink(&band, top, size);
                    CPvgMeta(input, &sink, view.lineWidthScale).render(view.zoomArea, fullPageRect());
                    // The rows next to the band are where a stray write would land.
                    for (int y = std::max(0, top - 1); y <= top + height; ++y)
                        for (int x = 0; x < stacked.width(); ++x) {
                            const bool inBand = y >= top && y < top + height && x < size.width();
                            const QRgb got = stacked.pixel(x, y);
                            if (!inBand && got != kGuard)
                                QFAIL(qPrintable(QString("%1x%2, band %3 at %4 drew at %5,%6")
                                                     .arg(size.width()).arg(size.height()).arg(rows)
                                                     .arg(top).arg(x).arg(y)));
                            const QRgb want = inBand ? whole.pixel(x, y) : got;
                            if (std::abs(qRed(got) - qRed(want)) + std::abs(qGreen(got) - qGreen(want))
                                    + std::abs(qBlue(got) - qBlue(want)) > 6)
                                QFAIL(qPrintable(QString("%1x%2, band %3: pixel %4,%5 differs from the whole")
                                                     .arg(size.width()).arg(size.height()).arg(rows).arg(x).arg(y)));
                        }
                }
            }
        }
    }
};

QTEST_MAIN(RasterFidelityTest)
#include "raster_fidelity_test.moc"
