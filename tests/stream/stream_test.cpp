// The graphics stream: bytes in, the walker's events out (see eventLog); the
// fast path against byte-by-byte decoding; whole EPS files; pixels drawn by
// the painter output; and EPS rendered by a real PostScript interpreter.
#include "stream/paintersink.h"
#include "stream/pvgmeta.h"
#include "tests/stream/streamfixture.h"
#include "tests/support/pvgwriter.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cmath>
#include <limits>

namespace {
using W = PvgWriter;
const std::string ESC = "\x1B";
const std::string S = "bg15 w0 c0 ", seg0 = "0,3120-10,3110", seg1 = "10,3110-20,3110";

std::string pic(PvgWriter &writer) { return writer.end().bytes(); }

std::string expectedFile(const std::string &name)
{
    return readWholeFile(qgetenv("KELVO_SOURCE_DIR").toStdString() + "/tests/stream/expected/" + name);
}

QImage paintImage(const std::string &bytes, QSize size, bool antialiased = true, SpanRect zoom = SpanRect(),
                  double extraScale = 1.0)
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

class StreamTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { restoreDefaultSettings(); }
    void cleanup() { pvgBatchSegments = pvgWalkFastPath = true; }

    void bytesBecomeEvents()
    {
        struct Case {
            const char *name;
            std::string bytes, expected;
            bool white = true;
            double scale = 1.0;
            SpanRect zoom = SpanRect();
        };
        const std::string pad = pastOffset100(), seg = pic(W().moveTo(0, 0).lineTo(10, 10));
        const std::string segAfter = pic(W::fragment().moveTo(0, 0).lineTo(10, 10));
        const std::string two = W().moveTo(0, 0).lineTo(10, 10).lineTo(20, 10).bytes();
        const std::string tail = pic(W::fragment().lineTo(30, 30).lineTo(40, 40));
        const std::string drawn = S + seg0 + " end", drawnTwo = S + seg0 + " " + seg1 + " end";
        std::vector<Case> cases;
        // TG entries by hue, or by lightness for greys, onto palette indices.
        struct Entry { int hue, lightness, saturation, index; };
        for (Entry e : {Entry{0, 90, 5, 15}, {120, 50, 50, 4}, {350, 50, 50, 1}, {14, 50, 10, 1}, {15, 50, 10, 13},
                        {344, 50, 10, 9}, {210, 50, 100, 10}, {200, 9, 9, 0}, {200, 10, 9, 8}, {200, 79, 9, 7}})
            cases.push_back({"TG entry", pic(W().raw(pad).background(0).colourMapEntry(7, e.hue, e.lightness,
                                 e.saturation).lineColour(7).moveTo(0, 0).lineTo(10, 10)),
                             "bg0 w0 c0 " + (e.index ? "c" + std::to_string(e.index) + " " : "") + seg0 + " end",
                             false});
        const std::string raX = ESC + "RA1x";
        cases.insert(cases.end(), {
            // Background: the second "RA1" after offset 100, through the code table.
            {"code 1 is white", pic(W().raw(pad).background(15)), "bg15 w0 c0 end", false},
            {"code = is red", pic(W().raw(pad).background(12)), "bg12 w0 c0 end", false},
            {"code > is dark grey", pic(W().raw(pad).background(8)), "bg8 w0 c0 end", false},
            {"only one RA1", pic(W().raw(pad + ESC + "RA1 ")), "bg15 w0 c0 end", false},
            {"pairs only in the first 100 bytes", pic(W().background(0).raw(pad)), "bg15 w0 c0 end", false},
            {"code not in the table", pic(W().raw(pad + raX + raX)), "bg15 w0 c0 end", false},
            {"search stops at a NUL", W().raw(pad + ESC + "RA1 " + '\0' + ESC + "RA1 ").bytes(), "bg15 w0 c0 end",
             false},
            {"white setting ignores the file", pic(W().raw(pad).background(12)), "bg15 w0 c0 end"},
            // Hue ",": 0, and the lightness is skipped, so 50 is the saturation.
            {"comma skips a TG component",
             pic(W().raw(ESC + "TG116," + W::integer(50)).lineColour(6).moveTo(0, 0).lineTo(10, 10)),
             S + "c1 " + seg0 + " end"},
            {"table indices out of range ignored",
             pic(W().colourMapEntry(2, 90, 50, 100).lineColour(2).colourMapEntry(30, 210, 50, 100)
                     .colourMapEntry(-1, 210, 50, 100).lineColour(50).lineColour(-1).moveTo(0, 0).lineTo(10, 10)
                     .lineColour(40).lineTo(20, 20)),
             S + "c12 " + seg0 + " c0 10,3110-20,3100 end"},
            {"two ESCs before ML", W().colourMapEntry(1, 90, 50, 100).raw(ESC + ESC + "ML1").bytes() + segAfter,
             S + "c12 " + seg0 + " end"},
            {"GT 3 x 1.5 truncates", pic(W().lineWidth(3).moveTo(0, 0).lineTo(10, 10)), S + "w4 " + seg0 + " end",
             true, 1.5},
            {"GT -3 x 1.5", pic(W().lineWidth(-3).moveTo(0, 0).lineTo(10, 10)), S + "w-4 " + seg0 + " end", true,
             1.5},
            {"one move and five addresses",
             pic(W().moveTo(100, 200).lineTo(300, 200).lineTo(300, 400).lineTo(100, 400).lineTo(100, 200)),
             S + "100,2920-300,2920 300,2920-300,2720 300,2720-100,2720 100,2720-100,2920 end"},
            // Low-Y and Low-X only: High-Y 15, High-X 7 and the Extra bits stay.
            {"Low-Y/Low-X reuse", pic(W().raw("\x1D").fullAddress(1001, 2002).raw("\x65\x47")),
             S + "1001,1118-925,1178 end"},
            // LT 90: the count and 80 bytes are text, the rest five addresses.
            {"LT count 90", pic(W().moveTo(0, 0).raw(ESC + "LT" + W::integer(90) + std::string(80, 'x') + "`@`@`@`@`@")),
             S + "0,3120-0,3120 0,3120-0,3120 0,3120-0,3120 0,3120-0,3120 0,3120-0,3120 end"},
            {"LT count @ is 16", pic(W().moveTo(0, 0).raw(ESC + "LT@" + std::string(16, 'x') + "`@`@")),
             S + "0,3120-0,3120 0,3120-0,3120 end"},
            {"control byte ends LT text", W().raw(ESC + "LT" + W::integer(20) + "abc").bytes() + segAfter, drawn},
            {"zero-width zoom is no zoom", seg, drawn, true, 1, corners(500, 400, 500, 900)},
            {"zoom", seg, "bg15 zoom 1024,780,2048,1560 w0 c0 " + seg0 + " end", true, 1,
             corners(1024, 780, 2048, 1560)},
            // Text at its position, y flipped, the trailing line feed dropped.
            {"texts", pic(W().colourMapEntry(2, 90, 50, 100).lineColour(2).font("Sans").fontSize(20).textFlags(3)
                              .textPosition(100, 200).text("Hello\n").textFlags(0).textPosition(300, 400)
                              .text("line\n\n")),
             S + "c12 'Hello' 100,2920 Sans 20 3 'line\n' 300,2720 Sans 20 0 end"},
            {"unparsable text position keeps the last",
             pic(W().font("Sans").fontSize(12).textPosition(100, 200).raw(ESC + "ZPnothing;").text("a")
                     .raw(ESC + "ZP300;").text("b").raw(ESC + "ZP 400, 500" + ESC).text("c")),
             S + "'a' 100,2920 Sans 12 0 'b' 300,2920 Sans 12 0 'c' 400,2620 Sans 12 0 end"},
            {"long texts cut to their buffers",
             W().font(std::string(3000, 'f')).fontSize(12).textPosition(10, 10).text(std::string(5000, 't'))
                     .raw(ESC + "ZP" + std::string(200, '7') + ";").bytes() + segAfter,
             S + "'" + std::string(1023, 't') + "' 10,3110 " + std::string(1023, 'f') + " 12 0 " + seg0 + " end"},
            {"text running into the end of the data", W().font("S").fontSize(12).textPosition(5, 5).text("tl").bytes(),
             S + "'tl' 5,3115 S 12 0 end"},
            // BEL and 0xFF are taken and draw the pending address; a NUL is never taken.
            {"BEL ends the picture", two + "\x07" + tail, drawnTwo},
            {"0xFF ends the picture", two + "\xFF" + tail, drawnTwo},
            {"NUL ends the picture", two + '\0' + tail, drawn},
            // Inside an operand BEL and 0xFF end it and the picture; a NUL only the operand.
            {"BEL in an operand", two + ESC + "MLA" + "\x07" + tail, drawnTwo},
            {"0xFF in an operand", two + ESC + "MLA" + "\xFF" + tail, drawnTwo},
            {"NUL in an operand", two + ESC + "MLA" + '\0' + tail,
             S + seg0 + " " + seg1 + " 20,3110-30,3090 30,3090-40,3080 end"},
        });
        for (const Case &c : cases) {
            const std::string log = eventLog(c.bytes, c.scale, c.zoom, c.white);
            QVERIFY2(log == c.expected, (c.name + (":\n  got  " + log) + "\n  want " + c.expected).c_str());
        }
    }

    // Random streams rich in short addresses decode the same with the
    // whole-address fast path and byte by byte.
    void theFastPathDecodesAsByteByByte()
    {
        QRandomGenerator random(20240607);
        const std::string commands[] = {"\x1D", ESC + "GTA3", ESC + "ML1", ESC + "LT2ab", "\x01", "\x07", ESC};
        for (int round = 0; round < 300; ++round) {
            std::string bytes = W().bytes();
            while (bytes.size() < 3000) {
                const int pick = random.bounded(100);
                if (pick < 88)
                    bytes += char(pick < 50 ? 0x60 + random.bounded(32) : pick < 80 ? 0x40 + random.bounded(32)
                                                                                    : 0x20 + random.bounded(32));
                else
                    bytes += commands[random.bounded(round % 2 ? 7 : 5)];
            }
            pvgWalkFastPath = true;
            const std::string fast = eventLog(bytes);
            pvgWalkFastPath = false;
            QCOMPARE(eventLog(bytes), fast);
        }
    }

    void absurdNumbersAndCutCommandsAreSafe()
    {
        const std::string manyDigits = std::string(40, '\x7F') + "?";
        const std::string bytes = W().raw(ESC + "GT" + manyDigits).raw(ESC + "ZS" + manyDigits)
                                      .raw(ESC + "ZP99999999999999,-99999999999999;").text("far")
                                      .raw(ESC + "GT" + std::string(6, '\x7F') + "A").moveTo(0, 0)
                                      .lineTo(4095, 4095).end().bytes();
        for (double scale : {1.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()}) {
            QVERIFY(eventLog(bytes, scale).ends_with("0,3120-4095,-975 end"));
            paintImage(bytes, QSize(64, 48), true, SpanRect(), scale);
        }
        for (const std::string &cut : {ESC + "TG1", ESC + "MC", ESC + "LTF", ESC + "ZP12,", ESC + "GTA", ESC + "Z", ESC})
            QVERIFY(eventLog(W().raw(cut).bytes()).ends_with(" end"));
    }

    void epsFilesMatch()
    {
        struct Case {
            const char *name; // expected file, or the piece of text expected exactly once
            std::string bytes;
            double scale = 1.0;
            void (*setup)() = nullptr;
            SpanRect zoom = SpanRect();
        };
        const std::string connected = W().moveTo(100, 200).lineTo(300, 200).lineTo(300, 400).lineTo(100, 400)
                                          .lineTo(100, 200).lineTo(200, 300).moveTo(200, 300).lineTo(500, 500)
                                          .moveTo(1000, 1000).lineTo(1100, 1000).end().bytes();
        const std::string diagonal = W().moveTo(0, 0).lineTo(4095, 3119).end().bytes();
        const std::string whiteOnBlack = W().raw(pastOffset100()).background(0).colourMapEntry(3, 0, 90, 0)
                                             .lineColour(3).moveTo(10, 10).lineTo(20, 10).end().bytes();
        const auto half = [] { ViewerSettings.eps_scalefactor = 0.5; };
        const auto withBackground = [] { ViewerSettings.eps_include_background = 1; };
        const auto blackBackground = [] { ViewerSettings.whiteBackground = 0; };
        const auto widthGT = [](const std::string &operand) { return W().raw(ESC + "GT" + operand).end().bytes(); };
        const Case files[] = {
            {"connected.eps", connected},
            {"scale_half.eps", diagonal, 1, half},
            {"background.eps", diagonal, 1, withBackground},
            {"black_lines.eps", W().colourMapEntry(2, 90, 50, 100).lineColour(2).moveTo(10, 20).lineTo(30, 40)
                                    .end().bytes(), 1, [] { ViewerSettings.eps_cvt_lines_to_black = 1; }},
            {"zoomed.eps", W().moveTo(1200, 1800).lineTo(1800, 2200).end().bytes(), 1, withBackground,
             corners(1024, 780, 2048, 1560)},
            // GT 2 is written as the minimum 5; a repeated GT 12 changes nothing.
            {"widths.eps", W().lineWidth(2).moveTo(100, 100).lineTo(200, 100).lineWidth(12).lineTo(300, 100)
                               .lineWidth(12).lineTo(400, 100).end().bytes()},
            // Palette 8 as fractions; white on the white page is written black.
            {"palette.eps", W().colourMapEntry(2, 0, 20, 0).colourMapEntry(3, 0, 90, 0).lineColour(2)
                                .moveTo(10, 10).lineTo(20, 10).lineColour(3).lineTo(30, 10).end().bytes()},
        };
        const Case pieces[] = {
            // Integers: high digits, then the signed low digit.
            {" stroke 100 setlinewidth ", widthGT("F4")},
            {" stroke 160 setlinewidth ", widthGT("A0"), 10},
            {" stroke 150 setlinewidth ", widthGT("?"), 10},
            {" stroke 10 setlinewidth ", widthGT("!"), -10},
            {" stroke 12 setlinewidth ", widthGT(","), -1},
            {" stroke 50 setlinewidth ", widthGT(ESC), 10},
            {" stroke 30 setlinewidth ", widthGT("\x1D"), 10},
            {" stroke 5 setlinewidth ", W().lineWidth(0).end().bytes(), 10},
            {"%%BoundingBox: 0 0 1024 780\n", diagonal, 1, nullptr, corners(500, 400, 500, 900)},
            // White lines stay white on a dark page; the header colour stays black.
            {"\nstroke 1.00 1.00 1.00 setcolor\n", whiteOnBlack, 1, blackBackground},
            {"scale\n0.00 0.00 0.00 setcolor\n", whiteOnBlack, 1, blackBackground},
        };
        for (const Case &c : files) {
            restoreDefaultSettings();
            if (c.setup != nullptr)
                c.setup();
            QVERIFY2(exportEps(c.bytes, c.zoom, c.scale) == expectedFile(c.name), c.name);
        }
        for (const Case &c : pieces) {
            restoreDefaultSettings();
            if (c.setup != nullptr)
                c.setup();
            const std::string eps = exportEps(c.bytes, c.zoom, c.scale);
            const std::size_t at = eps.find(c.name);
            QVERIFY2(at != std::string::npos && at == eps.rfind(c.name), (c.name + eps).c_str());
        }
        // Numbers keep a decimal point in a locale with a decimal comma.
        restoreDefaultSettings();
        half();
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
            QSKIP("No de_DE.UTF-8 locale (install-deps.sh generates it)");
        const std::string text = exportEps(diagonal);
        std::setlocale(LC_ALL, "C");
        QCOMPARE(text, expectedFile("scale_half.eps"));
    }

    void ghostscriptDrawsTheEpsLinesInTheirColours()
    {
        const QString gs = QStandardPaths::findExecutable("gs");
        if (gs.isEmpty())
            QSKIP("Ghostscript (gs) is not installed");
        const std::string bytes = W().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 330, 50, 100).lineWidth(40)
                                      .lineColour(2).moveTo(0, 1560).lineTo(4095, 1560).lineColour(3).moveTo(400, 0)
                                      .lineTo(400, 3119).end().bytes();
        QTemporaryDir dir;
        const QString eps = dir.path() + "/out.eps", png = dir.path() + "/out.png";
        for (bool background : {false, true}) {
            ViewerSettings.eps_include_background = background;
            exportEps(bytes, SpanRect(), 1.0, eps);
            QCOMPARE(QProcess::execute(gs, {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dEPSCrop", "-r72",
                                            "-sDEVICE=png16m", "-sOutputFile=" + png, eps}), 0);
            const QImage image(png);
            QCOMPARE(image.size(), QSize(1024, 780));
            QCOMPARE(image.pixelColor(700, 390), QColor(255, 0, 0));
            QCOMPARE(image.pixelColor(100, 600), QColor(0, 0, 255));
            QCOMPARE(image.pixelColor(700, 100), background ? black : white);
        }
    }

    void linesAppearInTheirColoursWidthsAndPlaces()
    {
        const std::string bytes = W().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100)
                                      .lineWidth(100).lineColour(2).moveTo(0, 1560).lineTo(4095, 1560)
                                      .lineColour(3).moveTo(1024, 0).lineTo(1024, 1000).end().bytes();
        QImage image = paintImage(bytes, QSize(400, 300));
        // Screen pens are half the stream width: GT 100 x 0.625 / 2 is 31 units, 3 pixels round row 150.
        QCOMPARE(QList<QColor>({image.pixelColor(200, 147), image.pixelColor(200, 149), image.pixelColor(200, 150),
                                image.pixelColor(200, 152)}), QList<QColor>({white, red, red, white}));
        QCOMPARE(image.pixelColor(100, 280), green);
        QCOMPARE(image.pixelColor(300, 280), white);

        // White lines on a black page from the file stay white, on a white page turn black.
        const auto whiteLine = [](int background) {
            return W().raw(pastOffset100()).background(background).colourMapEntry(2, 0, 90, 0).lineColour(2)
                .lineWidth(100).moveTo(0, 1560).lineTo(4095, 1560).end().bytes();
        };
        ViewerSettings.whiteBackground = 0;
        image = paintImage(whiteLine(0), QSize(400, 300));
        QCOMPARE(QList<QColor>({image.pixelColor(200, 50), image.pixelColor(399, 299), image.pixelColor(200, 150)}),
                 QList<QColor>({black, black, white}));
        image = paintImage(whiteLine(15), QSize(400, 300));
        QCOMPARE(QList<QColor>({image.pixelColor(200, 50), image.pixelColor(200, 150)}), QList<QColor>({white, black}));

        // The lower-left quarter zoomed: the line a quarter up lands in the middle.
        const std::string low = W().colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(30).moveTo(0, 780)
                                    .lineTo(2047, 780).end().bytes();
        image = paintImage(low, QSize(400, 300), true, corners(0, 1560, 2048, 3120), 2);
        QCOMPARE(image.pixelColor(200, 150), red);
        QCOMPARE(image.pixelColor(200, 30), white);
    }

    void batchedSegmentsDrawTheSamePixels()
    {
        // Widths around one device pixel, where batching switches on and off.
        for (int width : {0, 1, 3, 4, 13}) {
            W writer;
            writer.colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100).lineWidth(width);
            for (int curve = 0; curve < 8; ++curve) {
                writer.lineColour(2 + curve % 2).moveTo(100, 1560);
                for (int i = 1; i <= 600; ++i) // more segments than one batch holds
                    writer.lineTo(100 + 6 * i, int(1560 + 1200 * std::sin(i * (6.0 + curve) / 600)));
                // Back and forth over the same points, and a zero-length segment.
                writer.moveTo(2000, 1000).lineTo(2100, 1100).lineTo(2000, 1000).lineTo(2000, 1000);
            }
            const std::string bytes = writer.end().bytes();
            for (int variant = 0; variant < 4; ++variant) {
                const SpanRect zoom = variant & 2 ? corners(1500, 800, 2600, 1700) : SpanRect();
                const double extra = variant & 2 ? 4096.0 / 1100.0 : 1.0;
                pvgBatchSegments = true;
                const QImage batched = paintImage(bytes, QSize(1280, 975), variant & 1, zoom, extra);
                pvgBatchSegments = false;
                QVERIFY2(batched == paintImage(bytes, QSize(1280, 975), variant & 1, zoom, extra),
                         qPrintable(QString("GT %1, variant %2").arg(width).arg(variant)));
            }
        }
    }
};

QTEST_MAIN(StreamTest)
#include "stream_test.moc"
