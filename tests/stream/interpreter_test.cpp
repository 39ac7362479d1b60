// The interpreter walked onto a recording paint device: bytes in, painter
// calls out (see paintLog for the notation; y on the painter is 3120 - Y).
#include "stream/pvgmeta.h"
#include "tests/stream/streamfixture.h"
#include "tests/support/pvgwriter.h"

#include <QPrinter>
#include <QTest>

#include <limits>

namespace {
using W = PvgWriter;
const std::string ESC = "\x1B";

struct Case {
    const char *name;
    std::string bytes;
    std::string expected;
    void (*setup)() = nullptr;
    double scale = 1.0;
    SpanRect zoom = SpanRect();
    bool printer = false;
};

void blackBackground() { ViewerSettings.whiteBackground = 0; }
void shiftedPage()
{
    ViewerSettings.printer_page_shift[0] = 30;
    ViewerSettings.printer_page_shift[1] = -20;
}
void smallerPage()
{
    shiftedPage();
    ViewerSettings.printer_page_size[0] = 0.9;
    ViewerSettings.printer_page_size[1] = 0.95;
}

std::string pic(PvgWriter &writer) { return writer.end().bytes(); }

std::string repeat(const std::string &piece, int times)
{
    std::string text;
    while (times-- > 0)
        text += piece;
    return text;
}

std::vector<Case> cases()
{
    const std::string pad = pastOffset100(), seg = pic(W().moveTo(0, 0).lineTo(10, 10));
    const std::string segAfter = pic(W::fragment().moveTo(0, 0).lineTo(10, 10));
    const std::string line0 = "p0/0 0,3120-10,3110", line1 = "p0/0 10,3110-20,3110";
    const std::string whiteLine = pic(W::fragment().colourMapEntry(2, 0, 90, 5).lineColour(2)
                                          .moveTo(0, 0).lineTo(100, 100));
    const std::string two = W().moveTo(0, 0).lineTo(10, 10).lineTo(20, 10).bytes();
    const std::string tail = pic(W::fragment().lineTo(30, 30).lineTo(40, 40));
    const std::string zeroes = "p0/0 0,3120-0,3120; ";
    const std::string drawn = "bg p15; " + line0 + "; segments 1";
    const std::string drawnTwo = "bg p15; " + line0 + "; " + line1 + "; segments 2";
    std::vector<Case> rows;
    // TG entries by hue, or by lightness for greys; white stays white on black.
    struct Entry { int hue, lightness, saturation, paletteIndex; };
    for (Entry e : {Entry{0, 90, 5, 15}, {120, 50, 50, 4}, {350, 50, 50, 1}, {14, 50, 10, 1},
                    {15, 50, 10, 13}, {344, 50, 10, 9}, {210, 50, 100, 10}, {200, 9, 9, 0},
                    {200, 10, 9, 8}, {200, 79, 9, 7}})
        rows.push_back({"TG entry", pic(W().raw(pad).background(0)
                                            .colourMapEntry(7, e.hue, e.lightness, e.saturation)
                                            .lineColour(7).moveTo(0, 0).lineTo(10, 10)),
                        "bg p0; p" + std::to_string(e.paletteIndex)
                            + "/0 0,3120-10,3110; segments 1",
                        blackBackground});
    rows.insert(rows.end(), {
        // Background: the second "RA1" pair after offset 100, through the code table.
        {"code 1 is white", pic(W().raw(pad).background(15)), "bg p15; segments 0",
         blackBackground},
        {"code blank is black", pic(W().raw(pad).background(0)), "bg p0; segments 0",
         blackBackground},
        {"code = is red", pic(W().raw(pad).background(12)), "bg p12; segments 0", blackBackground},
        {"code > is dark grey", pic(W().raw(pad).background(8)), "bg p8; segments 0",
         blackBackground},
        {"only one RA1", pic(W().raw(pad + ESC + "RA1 ")), "bg p15; segments 0", blackBackground},
        {"pairs only in the first 100 bytes", pic(W().background(0).raw(pad)), "bg p15; segments 0",
         blackBackground},
        {"code not in the table", pic(W().raw(pad + ESC + "RA1x" + ESC + "RA1x")),
         "bg p15; segments 0", blackBackground},
        {"search stops at a NUL", W().raw(pad + ESC + "RA1 " + '\0' + ESC + "RA1 ").bytes(),
         "bg p15; segments 0", blackBackground},
        {"white setting ignores black", pic(W().raw(pad).background(0)), "bg p15; segments 0"},
        {"white setting ignores red", pic(W().raw(pad).background(12)), "bg p15; segments 0"},
        // White lines on a white background are drawn black.
        {"white on white setting", W().raw(pad).background(0).raw(whiteLine).bytes(),
         "bg p15; p0/0 0,3120-100,3020; segments 1"},
        {"white on black stays white", W().raw(pad).background(0).raw(whiteLine).bytes(),
         "bg p0; p15/0 0,3120-100,3020; segments 1", blackBackground},
        {"white on detected white", W().raw(pad).background(15).raw(whiteLine).bytes(),
         "bg p15; p0/0 0,3120-100,3020; segments 1", blackBackground},
        // Hue ",": 0, and the lightness is skipped, so 50 is the saturation.
        {"comma skips a TG component",
         pic(W().raw(ESC + "TG116," + W::integer(50)).lineColour(6).moveTo(0, 0).lineTo(10, 10)),
         "bg p15; p1/0 0,3120-10,3110; segments 1"},
        {"table indices out of range ignored",
         pic(W().colourMapEntry(2, 90, 50, 100).lineColour(2).colourMapEntry(30, 210, 50, 100)
                 .colourMapEntry(-1, 210, 50, 100).lineColour(50).lineColour(-1).moveTo(0, 0)
                 .lineTo(10, 10).lineColour(40).lineTo(20, 20)),
         "bg p15; p12/0 0,3120-10,3110; p0/0 10,3110-20,3100; segments 2"},
        {"two ESCs before ML",
         W().colourMapEntry(1, 90, 50, 100).raw(ESC + ESC + "ML1").bytes() + segAfter,
         "bg p15; p12/0 0,3120-10,3110; segments 1"},
        // Widths: GT x scale, halved on screen, doubled on a printer (600 dpi).
        {"GT 3 x 1.5 on screen", pic(W().lineWidth(3).moveTo(0, 0).lineTo(10, 10)),
         "bg p15; p0/2 0,3120-10,3110; segments 1", nullptr, 1.5},
        {"GT 3 x 1.5 on a printer", pic(W().lineWidth(3).moveTo(0, 0).lineTo(10, 10)),
         "bg p15; p0/8 0,3120-10,3110; viewport 480,360 5400x4113; segments 1", nullptr, 1.5, {},
         true},
        {"printer minimum width doubled", seg,
         "bg p15; p0/6 0,3120-10,3110; viewport 480,360 5400x4113; segments 1",
         [] { ViewerSettings.printer_min_linewidth = 3; }, 1.5, {}, true},
        {"shifted printer viewport", seg,
         "bg p15; p0/4 0,3120-10,3110; viewport 510,340 5400x4113; segments 1", shiftedPage, 1, {},
         true},
        {"smaller printer page", seg,
         "bg p15; p0/4 0,3120-10,3110; viewport 510,340 4860x3907; segments 1", smallerPage, 1, {},
         true},
        // One GS and five addresses are four segments, one call each.
        {"one move and five addresses",
         pic(W().moveTo(100, 200).lineTo(300, 200).lineTo(300, 400).lineTo(100, 400)
                 .lineTo(100, 200)),
         "bg p15; p0/0 100,2920-300,2920; p0/0 300,2920-300,2720; p0/0 300,2720-100,2720; "
         "p0/0 100,2720-100,2920; segments 4"},
        // Low-Y and Low-X only: High-Y 15, High-X 7 and the Extra bits stay.
        {"Low-Y/Low-X reuse", pic(W().raw("\x1D").fullAddress(1001, 2002).raw("\x65\x47")),
         "bg p15; p0/0 1001,1118-925,1178; segments 1"},
        // LT 90: the count and 80 bytes are text, the rest five addresses.
        {"LT count 90",
         pic(W().moveTo(0, 0).raw(ESC + "LT" + W::integer(90) + std::string(80, 'x'))
                 .raw(repeat("`@", 5))),
         "bg p15; " + repeat(zeroes, 5) + "segments 5"},
        {"LT count @ is 16",
         pic(W().moveTo(0, 0).raw(ESC + "LT@" + std::string(16, 'x') + "`@`@")),
         "bg p15; " + repeat(zeroes, 2) + "segments 2"},
        {"control byte ends LT text",
         W().raw(ESC + "LT" + W::integer(20) + "abc").bytes() + segAfter, drawn},
        // The window follows a zoom area of positive width; the fill stays the page.
        {"zero-width zoom", seg, drawn, nullptr, 1, corners(500, 400, 500, 900)},
        {"zoom", seg, "bg p15; " + line0 + "; window 1024,780 1024x780; segments 1", nullptr, 1,
         corners(1024, 780, 2048, 1560)},
        {"zoom dragged upwards", seg,
         "bg p15; " + line0 + "; window 1000,900 1000x-500; segments 1", nullptr, 1,
         corners(1000, 900, 2000, 400)},
        // Text at its position, y flipped, the trailing line feed dropped.
        {"texts", pic(W().colourMapEntry(2, 90, 50, 100).lineColour(2).font("Sans").fontSize(20)
                          .textFlags(3).textPosition(100, 200).text("Hello\n").textFlags(0)
                          .textPosition(300, 400).text("line\n\n")),
         "bg p15; 'Hello' 100,2920 Sans 20 bold italic p12; 'line\n' 300,2720 Sans 20 p12; "
         "segments 0"},
        {"unparsable text position keeps the last",
         pic(W().font("Sans").fontSize(12).textPosition(100, 200).raw(ESC + "ZPnothing;").text("a")
                 .raw(ESC + "ZP300;").text("b").raw(ESC + "ZP 400, 500" + ESC).text("c")),
         "bg p15; 'a' 100,2920 Sans 12 p0; 'b' 300,2920 Sans 12 p0; 'c' 400,2620 Sans 12 p0; "
         "segments 0"},
        {"long texts cut to their buffers",
         W().font(std::string(3000, 'f')).fontSize(12).textPosition(10, 10)
                 .text(std::string(5000, 't')).raw(ESC + "ZP" + std::string(200, '7') + ";").bytes()
             + segAfter,
         "bg p15; '" + std::string(1023, 't') + "' 10,3110 " + std::string(1023, 'f') + " 12 p0; "
             + line0 + "; segments 1"},
        {"text running into the end of the data",
         W().font("Sans").fontSize(12).textPosition(5, 5).text("tail").bytes(),
         "bg p15; 'tail' 5,3115 Sans 12 p0; segments 0"},
        // BEL and 0xFF are taken and draw the pending address; a NUL is never taken.
        {"BEL ends the picture", two + "\x07" + tail, drawnTwo},
        {"0xFF ends the picture", two + "\xFF" + tail, drawnTwo},
        {"NUL ends the picture", two + '\0' + tail, drawn},
        // Inside an operand BEL and 0xFF end it and the picture; a NUL only the operand.
        {"BEL in an operand", two + ESC + "MLA" + "\x07" + tail, drawnTwo},
        {"0xFF in an operand", two + ESC + "MLA" + "\xFF" + tail, drawnTwo},
        {"NUL in an operand", two + ESC + "MLA" + '\0' + tail,
         "bg p15; " + line0 + "; " + line1 + "; p0/0 20,3110-30,3090; p0/0 30,3090-40,3080; "
         "segments 4"},
    });
    return rows;
}
} // namespace

class InterpreterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { restoreDefaultSettings(); }

    void bytesBecomePainterCalls()
    {
        for (const Case &c : cases()) {
            restoreDefaultSettings();
            if (c.setup != nullptr)
                c.setup();
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setResolution(600);
            QPrinter *target = c.printer ? &printer : nullptr;
            const std::string log = paintLog(c.bytes, c.scale, c.zoom, target);
            QVERIFY2(log == c.expected, (c.name + (":\n  got  " + log) + "\n  want " + c.expected)
                                            .c_str());
        }
    }

    void absurdNumbersAndCutCommandsAreSafe()
    {
        const std::string manyDigits = std::string(40, '\x7F') + "?";
        const std::string bytes = W().raw(ESC + "GT" + manyDigits).raw(ESC + "ZS" + manyDigits)
                                      .raw(ESC + "ZP99999999999999,-99999999999999;").text("far")
                                      .raw(ESC + "GT" + std::string(6, '\x7F') + "A")
                                      .moveTo(0, 0).lineTo(4095, 4095).end().bytes();
        for (double scale : {1.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()}) {
            const std::string log = paintLog(bytes, scale);
            QVERIFY2(log.find("'far'") == std::string::npos && log.find("/-") == std::string::npos
                         && log.ends_with("segments 1"),
                     log.c_str());
        }
        for (const std::string &cut : {ESC + "TG1", ESC + "MC", ESC + "LTF", ESC + "ZP12,",
                                       ESC + "GTA", ESC + "XY", ESC + "Z", ESC})
            paintLog(W().raw(cut).bytes());
    }
};

QTEST_MAIN(InterpreterTest)
#include "interpreter_test.moc"
