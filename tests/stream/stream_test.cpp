// The graphics stream: bytes in, the walker's events out (see eventLog), with
// and without the fast path; whole EPS files; pixels drawn by the painter output.
#include "stream/paintersink.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"
#include "tests/stream/streamfixture.h"
#include "tests/support/pvgwriter.h"
#include "tests/support/testfiles.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <clocale>
#include <cmath>

namespace {
using W = PvgWriter;
const std::string ESC = "\x1B";
const std::string S = "bg15 w0 c0 ", seg0 = "0,3120-10,3110", seg1 = "10,3110-20,3110";

std::string pic(PvgWriter &writer) { return writer.end().bytes(); }

// Scaled as the view scales the page, or the zoom area, to size.
QImage paintImage(const std::string &bytes, QSize size = QSize(400, 300), bool antialiased = true,
                  SpanRect zoom = SpanRect())
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::gray);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, antialiased);
    PainterSink sink(&painter);
    walk(bytes, &sink, size.width() / 640.0 * (zoom.width > 0 ? 4096.0 / zoom.width : 1), zoom);
    return image;
}

const QColor white(255, 255, 255), black(0, 0, 0);
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
        const auto gt = [](const std::string &operand) { return pic(W().raw(ESC + "GT" + operand)); };
        std::vector<Case> cases;
        // TG entries by hue, or by lightness for greys, onto palette indices.
        struct Entry { int hue, lightness, saturation, index; };
        for (Entry e : {Entry{0, 90, 5, 15}, {120, 50, 50, 4}, {350, 50, 50, 1}, {14, 50, 10, 1}, {15, 50, 10, 13},
                        {344, 50, 10, 9}, {210, 50, 100, 10}, {200, 9, 9, 0}, {200, 10, 9, 8}, {200, 34, 9, 8},
                        {200, 79, 9, 7}})
            cases.push_back({pic(W().raw(pad).background(0).colourMapEntry(7, e.hue, e.lightness, e.saturation)
                                     .lineColour(7).moveTo(0, 0).lineTo(10, 10)),
                             "bg0 w0 c0 " + (e.index ? "c" + std::to_string(e.index) + " " : "") + seg0 + " end",
                             false});
        // Background: the code after the second "RA1" past offset 100.
        for (int index : {15, 12, 8, 3})
            cases.push_back({pic(W().raw(pad).background(index)), "bg" + std::to_string(index) + " w0 c0 end", false});
        cases.insert(cases.end(), {
            {pic(W().raw(pad + ESC + "RA1 ")), "bg15 w0 c0 end", false}, // only one RA1
            {pic(W().background(0).raw(pad)), "bg15 w0 c0 end", false},  // within the first 100 bytes
            {pic(W().raw(pad + ESC + "RA1x" + ESC + "RA1x")), "bg15 w0 c0 end", false},     // code not in the table
            {W().raw(pad + ESC + "RA1 " + '\0' + ESC + "RA1 ").bytes(), "bg15 w0 c0 end", false}, // stops at a NUL
            {pic(W().raw(pad).background(12)), "bg15 w0 c0 end"}, // White Background ignores the file
            // Hue ",": 0, and the lightness is skipped, so 50 is the saturation.
            {pic(W().raw(ESC + "TG116," + W::integer(50)).lineColour(6).moveTo(0, 0).lineTo(10, 10)),
             S + "c1 " + seg0 + " end"},
            // Table indices out of range are ignored; scratch entry 29 is the last.
            {pic(W().colourMapEntry(2, 90, 50, 100).lineColour(2).colourMapEntry(30, 210, 50, 100)
                     .colourMapEntry(-1, 210, 50, 100).lineColour(50).lineColour(-1).moveTo(0, 0).lineTo(10, 10)
                     .lineColour(40).colourMapEntry(29, 210, 50, 100).lineColour(29).lineTo(20, 20)),
             S + "c12 " + seg0 + " c0 c10 10,3110-20,3100 end"},
            {W().colourMapEntry(1, 90, 50, 100).raw(ESC + ESC + "ML1").bytes() + segAfter, S + "c12 " + seg0 + " end"},
            // Integers: high digits, then the signed low digit (a control byte as the third letter is one,
            // a missing one reads as 32 - 16 x high); the width is scaled and truncated.
            {pic(W().lineWidth(3).moveTo(0, 0).lineTo(10, 10).lineWidth(-3)), S + "w4 " + seg0 + " w-4 end", true, 1.5},
            {gt("F4" + ESC + "GTA0" + ESC + "GT?" + ESC + "GT\x1D" + ESC + "GT" + ESC + ESC + "GTA"),
             S + "w1000 w160 w150 w30 w50 w160 end", true, 10},
            {gt("!" + ESC + "GT,"), S + "w10 w120 end", true, -10},
            // Low-Y and Low-X only: High-Y 15, High-X 7 and the Extra bits stay.
            {pic(W().raw("\x1D").fullAddress(1001, 2002).raw("\x65\x47")), S + "1001,1118-925,1178 end"},
            // The collector keeps 50 bytes before the Low-X: High-Y 1 is the 50th, 2 beyond it.
            {pic(W().moveTo(0, 0).raw(std::string(49, ' ') + "!\"@")), S + "0,3120-0,2992 end"},
            // LT 90: the count and 80 bytes are text, the rest five addresses.
            {pic(W().moveTo(0, 0).raw(ESC + "LT" + W::integer(90) + std::string(80, 'x') + "`@`@`@`@`@")),
             S + "0,3120-0,3120 0,3120-0,3120 0,3120-0,3120 0,3120-0,3120 0,3120-0,3120 end"},
            {pic(W().moveTo(0, 0).raw(ESC + "LT@" + std::string(16, 'x') + "`@`@")), S + "0,3120-0,3120 0,3120-0,3120 end"},
            {W().raw(ESC + "LT" + W::integer(20) + "abc").bytes() + segAfter, drawn}, // a control byte ends the text
            {seg, drawn, true, 1, corners(500, 400, 500, 900)}, // a zero-width zoom is none
            {seg, "bg15 zoom 1024,780,2048,1560 w0 c0 " + seg0 + " end", true, 1, corners(1024, 780, 2048, 1560)},
            // Text at its position, y flipped, the trailing line feed dropped; an
            // unparsable position keeps the last.
            {pic(W().colourMapEntry(2, 90, 50, 100).lineColour(2).font("Sans").fontSize(20).textFlags(3)
                     .textPosition(100, 200).text("Hello\n").textFlags(0).textPosition(300, 400).text("line\n\n")
                     .raw(ESC + "ZPnothing;").text("a").raw(ESC + "ZP300;").text("b").raw(ESC + "ZP 400, 500" + ESC).text("c")),
             S + "c12 'Hello' 100,2920 Sans 20 3 'line\n' 300,2720 Sans 20 0 'a' 300,2720 Sans 20 0 'b' 300,2720 Sans 20 0"
                 " 'c' 400,2620 Sans 20 0 end"},
            // Long texts are cut to their buffers.
            {W().font(std::string(3000, 'f')).fontSize(12).textPosition(10, 10).text(std::string(5000, 't'))
                     .raw(ESC + "ZP" + std::string(200, '7') + ";").bytes() + segAfter,
             S + "'" + std::string(1023, 't') + "' 10,3110 " + std::string(1023, 'f') + " 12 0 " + seg0 + " end"},
            {W().font("S").fontSize(12).textPosition(5, 5).text("tl").bytes(), S + "'tl' 5,3115 S 12 0 end"},
            // BEL and 0xFF are taken and draw the pending address; a NUL is never taken.
            {two + "\x07" + tail, drawnTwo},
            {two + "\xFF" + tail, drawnTwo},
            {two + '\0' + tail, drawn},
            // After an ESC and inside an operand BEL and 0xFF end the picture; a NUL ends only the operand.
            {two + ESC + "\xFF" + tail, drawnTwo},
            {two + ESC + "MLA" + "\x07" + tail, drawnTwo},
            {two + ESC + "MLA" + '\0' + tail, S + seg0 + " " + seg1 + " 20,3110-30,3090 30,3090-40,3080 end"},
        });
        // The whole-address fast path reports the same as byte by byte, and
        // so does a walk in pieces.
        for (const bool fast : {true, false}) {
            pvgWalkFastPath = fast;
            for (const Case &c : cases)
                QCOMPARE(QString::fromStdString(eventLog(c.bytes, c.scale, c.zoom, c.white)), QString::fromStdString(c.expected));
        }
        for (const Case &c : cases)
            QCOMPARE(QString::fromStdString(eventLogInPieces(c.bytes, c.scale, c.zoom, c.white)),
                     QString::fromStdString(c.expected));
    }

    // A walk that only counts takes runs of addresses a block at a time; it
    // must pause leaving the walker as byte by byte would: runs of every
    // address form across block ends, cut by commands, control bytes, a GS,
    // an address longer than the collector, and a NUL. The whole-address fast
    // path reports those random runs as decoding byte by byte does.
    void countingWalkPausesAsTheWalkWould()
    {
        const std::string forms[] = {"X", "YX", "YYX", "YYYX", "HYX", "HYYX", "YHX", "YYHX", "HYHX", "HHX",
                                     "YHYX", "\x01", "\x1D", "\x1BGT", "\x1BML2", std::string(60, 'Y') + "X"};
        unsigned seed = 7;
        auto random = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
        for (int document = 0; document < 200; ++document) {
            std::string bytes = W().moveTo(0, 0).bytes();
            for (int i = 0; i < 30 + document; ++i)
                for (const char kind : forms[random() % std::size(forms)]) {
                    const char base = kind == 'H' ? 0x20 : kind == 'X' ? 0x40 : kind == 'Y' ? 0x60 : kind;
                    bytes += kind == base ? kind : char(base + random() % 32);
                }
            if (document % 3 == 0)
                bytes += '\0';
            bytes += pic(W::fragment().lineTo(30, 30));
            const std::string walked = eventLog(bytes, 1, SpanRect(), true);
            QCOMPARE(QString::fromStdString(eventLogInPieces(bytes, 1, SpanRect(), true)),
                     QString::fromStdString(walked));
            pvgWalkFastPath = false;
            QCOMPARE(QString::fromStdString(eventLog(bytes, 1, SpanRect(), true)), QString::fromStdString(walked));
            pvgWalkFastPath = true;
        }
    }

    // Whole files under the settings each needs, and pieces expected exactly
    // once: white lines stay white on a dark page, the header colour black, and
    // a segment that starts elsewhere on the same x starts a new path.
    void epsFilesMatch()
    {
        struct Case {
            const char *name;
            std::string bytes;
            void (*setup)() = nullptr;
            SpanRect zoom = SpanRect();
        };
        const std::string diagonal = W().moveTo(0, 0).lineTo(4095, 3119).end().bytes();
        const std::string whiteOnBlack = W().raw(pastOffset100()).background(0).colourMapEntry(3, 0, 90, 0)
                                             .lineColour(3).moveTo(10, 10).lineTo(20, 10).end().bytes();
        const auto withBackground = [] { ViewerSettings.eps_include_background = 1; };
        const auto blackBackground = [] { ViewerSettings.whiteBackground = 0; };
        const Case cases[] = {
            {"connected.eps", W().moveTo(100, 200).lineTo(300, 200).lineTo(300, 400).lineTo(100, 400).lineTo(100, 200)
                                  .lineTo(200, 300).moveTo(200, 300).lineTo(500, 500).moveTo(1000, 1000)
                                  .lineTo(1100, 1000).end().bytes()},
            {"scale_half.eps", diagonal, [] { ViewerSettings.eps_scalefactor = 0.5; }},
            {"background.eps", diagonal, withBackground},
            {"black_lines.eps", W().colourMapEntry(2, 90, 50, 100).lineColour(2).moveTo(10, 20).lineTo(30, 40)
                                    .end().bytes(), [] { ViewerSettings.eps_cvt_lines_to_black = 1; }},
            {"zoomed.eps", W().moveTo(1200, 1800).lineTo(1800, 2200).end().bytes(), withBackground,
             corners(1024, 780, 2048, 1560)},
            // GT 2 is written as the minimum 5; a repeated GT 12 changes nothing.
            {"widths.eps", W().lineWidth(2).moveTo(100, 100).lineTo(200, 100).lineWidth(12).lineTo(300, 100)
                               .lineWidth(12).lineTo(400, 100).end().bytes()},
            // Palette 8 as fractions; white on the white page is written black.
            {"palette.eps", W().colourMapEntry(2, 0, 20, 0).colourMapEntry(3, 0, 90, 0).lineColour(2)
                                .moveTo(10, 10).lineTo(20, 10).lineColour(3).lineTo(30, 10).end().bytes()},
            {"\nstroke 1.00 1.00 1.00 setcolor\n", whiteOnBlack, blackBackground},
            {"scale\n0.00 0.00 0.00 setcolor\n", whiteOnBlack, blackBackground},
            {" 200 100 lineto 200 300 moveto 300 300 lineto",
             W().moveTo(100, 100).lineTo(200, 100).moveTo(200, 300).lineTo(300, 300).end().bytes()},
        };
        // Numbers keep a decimal point in a locale with a decimal comma.
        const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        for (const Case &c : cases) {
            restoreDefaultSettings();
            if (c.setup != nullptr)
                c.setup();
            const QByteArray eps = QByteArray::fromStdString(exportEps(c.bytes, c.zoom));
            if (QByteArray(c.name).endsWith(".eps"))
                QCOMPARE(eps, readWholeFile(qEnvironmentVariable("KELVO_SOURCE_DIR") + "/tests/stream/expected/" + c.name));
            else
                QCOMPARE(eps.count(c.name), 1);
        }
        std::setlocale(LC_ALL, "C");
        if (!comma)
            QSKIP("No de_DE.UTF-8 locale (install-deps.sh generates it)");
    }

    // Bit 0 of the text flags makes the letters bold, bit 1 italic: each
    // gives other pixels, and bold italic others again.
    void textFlagsChooseBoldAndItalic()
    {
        const auto drawn = [](int flags) {
            return paintImage(pic(W().font("Sans").fontSize(30).textFlags(flags).textPosition(300, 1500).text("Flags")));
        };
        const QImage plain = drawn(0), bold = drawn(1), italic = drawn(2), both = drawn(3);
        QVERIFY(plain != bold && plain != italic && bold != italic);
        QVERIFY(both != bold && both != italic);
    }

    void whiteLinesTurnBlackOnlyOnAWhitePage()
    {
        // White lines on a black page from the file stay white, on a white page turn black.
        const auto whiteLine = [](int background) {
            return W().raw(pastOffset100()).background(background).colourMapEntry(2, 0, 90, 0).lineColour(2)
                .lineWidth(100).moveTo(0, 1560).lineTo(4095, 1560).end().bytes();
        };
        ViewerSettings.whiteBackground = 0;
        const QImage onBlack = paintImage(whiteLine(0)), onWhite = paintImage(whiteLine(15));
        QCOMPARE(QList<QColor>({onBlack.pixelColor(200, 50), onBlack.pixelColor(399, 299), onBlack.pixelColor(200, 150),
                                onWhite.pixelColor(200, 50), onWhite.pixelColor(200, 150)}),
                 QList<QColor>({black, black, white, white, black}));
    }

    // Widths around one device pixel, where batching switches on and off,
    // antialiased or not, zoomed or not.
    void batchedSegmentsDrawTheSamePixels()
    {
        for (int width : {0, 1, 3, 4, 13}) {
            W writer = W().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100).lineWidth(width);
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
                const QImage batched = paintImage(bytes, QSize(1280, 975), variant & 1, zoom);
                pvgBatchSegments = false;
                QCOMPARE(paintImage(bytes, QSize(1280, 975), variant & 1, zoom), batched);
                pvgBatchSegments = true;
            }
        }
    }
};

QTEST_MAIN(StreamTest)
#include "stream_test.moc"
