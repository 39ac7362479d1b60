// The interpreter walked onto a recording paint device: what it hands the
// painter for each kind of command, and what it leaves in segmentCount and
// backgroundIndex.
#include "app/viewersettings.h"
#include "commands/exports.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"
#include "tests/stream/recordingdevice.h"
#include "tests/stream/streamfixture.h"
#include "tests/support/pvgwriter.h"

#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {
const std::string ESC = "\x1B";

struct Painted {
    std::vector<RecordedLines> lineCalls;
    std::vector<RecordedText> texts;
    std::vector<RecordedFill> fills;
    QRect window;
    QRect viewport;
    QPen pen;

    std::vector<QLine> lines() const
    {
        std::vector<QLine> all;
        for (const RecordedLines &call : lineCalls)
            all.insert(all.end(), call.lines.begin(), call.lines.end());
        return all;
    }
};

Painted paint(const std::string &bytes, double scale = 1.0, SpanRect zoom = SpanRect(),
              QPrinter *printer = nullptr)
{
    LoadedDocument document(bytes);
    RecordingDevice device;
    QPainter painter(&device);
    renderDocument(&painter, printer, scale, 0, zoom);
    Painted painted;
    painted.window = painter.window();
    painted.viewport = painter.viewport();
    painted.pen = painter.pen();
    painter.end();
    painted.lineCalls = device.recorded().lineCalls;
    painted.texts = device.recorded().texts;
    painted.fills = device.recorded().fills;
    return painted;
}

std::string exportEps(const std::string &bytes, double scale = 1.0)
{
    LoadedDocument document(bytes);
    QTemporaryDir dir;
    const QByteArray path = (dir.path() + "/out.eps").toLocal8Bit();
    copyText(exportPath, path.constData());
    renderDocument(nullptr, nullptr, scale, kConvertToEps);
    return readWholeFile(path.toStdString());
}

QColor paletteColour(int index)
{
    return QColor(palette[index].red, palette[index].green, palette[index].blue);
}

int countOf(const std::string &text, const std::string &piece)
{
    int count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

// Enough comment bytes to push what follows beyond offset 100.
PvgWriter &padPast100(PvgWriter &writer)
{
    return writer.comment(std::string(60, 'p')).comment(std::string(60, 'q'));
}

QLine logicalLine(int x0, int y0, int x1, int y1)
{
    return QLine(x0, 3120 - y0, x1, 3120 - y1);
}
} // namespace

class InterpreterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { restoreDefaultSettings(); }

    void integersDecodeHighDigitsThenSignedLowDigit_data();
    void integersDecodeHighDigitsThenSignedLowDigit();
    void widthEqualToTheCurrentOneChangesNothing();
    void backgroundComesFromTheSecondRa1AfterOffset100_data();
    void backgroundComesFromTheSecondRa1AfterOffset100();
    void whiteLinesOnWhiteBackgroundAreDrawnBlack();
    void colourMapEntriesFollowHueOrLightness_data();
    void colourMapEntriesFollowHueOrLightness();
    void commaForAColourComponentSkipsTheNextComponent();
    void outOfRangeTableIndicesAreIgnored();
    void lineWidthIsScaledThenHalvedOnScreenAndDoubledOnPrinter();
    void printerViewportFollowsResolutionAndSettings();
    void oneMoveAndFiveAddressesDrawFourSegments();
    void doubledEscapeActsAsOne();
    void shortTextConsumesAtMost80Bytes();
    void addressReusesOmittedBytesOfThePreviousOne();
    void zoomAreaSetsTheWindowOnlyWithPositiveWidth();
    void textIsDrawnAtItsPositionWithoutTrailingLineFeed();
    void pictureEndsAtBelFfOrNul_data();
    void pictureEndsAtBelFfOrNul();
    void longTextsAndUnendedOperandsStayInsideTheirBuffers();
    void unparsableTextPositionKeepsThePreviousOne();
    void absurdNumbersNeverOverflow();
};

void InterpreterTest::integersDecodeHighDigitsThenSignedLowDigit_data()
{
    QTest::addColumn<QByteArray>("operand");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("written");
    // GT writes the scaled value to the EPS file, so a scale shows negatives.
    QTest::newRow("F4 is 100") << QByteArray("F4") << 1.0 << 100;
    QTest::newRow("A0 is 16") << QByteArray("A0") << 10.0 << 160;
    QTest::newRow("? is 15") << QByteArray("?") << 10.0 << 150;
    QTest::newRow("1 is 1") << QByteArray("1") << 10.0 << 10;
    QTest::newRow("! is -1") << QByteArray("!") << -10.0 << 10;
    QTest::newRow(", is -12") << QByteArray(",") << -1.0 << 12;
    QTest::newRow("ESC as first operand byte is 5") << QByteArray("\x1B") << 10.0 << 50;
    QTest::newRow("GS as first operand byte is 3") << QByteArray("\x1D") << 10.0 << 30;
}

void InterpreterTest::integersDecodeHighDigitsThenSignedLowDigit()
{
    QFETCH(QByteArray, operand);
    QFETCH(double, scale);
    QFETCH(int, written);
    const std::string bytes = PvgWriter().raw(ESC + "GT" + operand.toStdString()).end().bytes();
    const std::string eps = exportEps(bytes, scale);
    QVERIFY2(eps.find(" stroke " + std::to_string(written) + " setlinewidth ") != std::string::npos,
             eps.c_str());
}

void InterpreterTest::widthEqualToTheCurrentOneChangesNothing()
{
    // " " is 0, the width every walk starts with.
    const std::string eps = exportEps(PvgWriter().raw(ESC + "GT ").lineWidth(0).end().bytes(), 10);
    QCOMPARE(countOf(eps, " stroke 5 setlinewidth "), 1);
}

void InterpreterTest::backgroundComesFromTheSecondRa1AfterOffset100_data()
{
    QTest::addColumn<bool>("whiteBackground");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("background");

    auto after100 = [](int index) {
        PvgWriter writer;
        padPast100(writer).background(index).moveTo(0, 0).lineTo(10, 10).end();
        return QByteArray::fromStdString(writer.bytes());
    };
    QTest::newRow("code 1 is white") << false << after100(15) << 15;
    QTest::newRow("code blank is black") << false << after100(0) << 0;
    QTest::newRow("code = is red") << false << after100(12) << 12;
    QTest::newRow("code > is dark grey") << false << after100(8) << 8;
    {
        PvgWriter writer;
        padPast100(writer).raw(ESC + "RA1 ").end();
        QTest::newRow("only one RA1") << false << QByteArray::fromStdString(writer.bytes()) << 15;
    }
    {
        PvgWriter writer;
        padPast100(writer.background(0)).end();
        QTest::newRow("pairs only in the first 100 bytes")
            << false << QByteArray::fromStdString(writer.bytes()) << 15;
    }
    {
        PvgWriter writer;
        padPast100(writer).raw(ESC + "RA1x" + ESC + "RA1x").end();
        QTest::newRow("code not in the table") << false << QByteArray::fromStdString(writer.bytes())
                                               << 15;
    }
    {
        PvgWriter writer;
        padPast100(writer).raw(ESC + "RA1 ").raw(std::string(1, '\0')).raw(ESC + "RA1 ");
        QTest::newRow("search stops at a NUL") << false << QByteArray::fromStdString(writer.bytes())
                                               << 15;
    }
    QTest::newRow("setting on: black code ignored") << true << after100(0) << 15;
    QTest::newRow("setting on: red code ignored") << true << after100(12) << 15;
}

void InterpreterTest::backgroundComesFromTheSecondRa1AfterOffset100()
{
    QFETCH(bool, whiteBackground);
    QFETCH(QByteArray, bytes);
    QFETCH(int, background);
    ViewerSettings.whiteBackground = whiteBackground ? 1 : 0;
    const Painted painted = paint(bytes.toStdString());
    QCOMPARE(backgroundIndex, background);
    QCOMPARE(painted.fills.size(), std::size_t(1));
    QCOMPARE(painted.fills[0].rect, QRectF(0, 0, 4096, 3120));
    QCOMPARE(painted.fills[0].brush.color(), paletteColour(background));
}

void InterpreterTest::whiteLinesOnWhiteBackgroundAreDrawnBlack()
{
    PvgWriter writer;
    padPast100(writer).background(0).colourMapEntry(2, 0, 90, 5).lineColour(2)
        .moveTo(0, 0).lineTo(100, 100).end();

    ViewerSettings.whiteBackground = 1;
    Painted painted = paint(writer.bytes());
    QCOMPARE(painted.lineCalls.size(), std::size_t(1));
    QCOMPARE(painted.lineCalls[0].pen.color(), QColor(0, 0, 0));

    ViewerSettings.whiteBackground = 0;
    painted = paint(writer.bytes());
    QCOMPARE(backgroundIndex, 0);
    QCOMPARE(painted.lineCalls[0].pen.color(), QColor(255, 255, 255));

    // A white background detected from the file does the same as the setting.
    PvgWriter detected;
    padPast100(detected).background(15).colourMapEntry(2, 0, 90, 5).lineColour(2)
        .moveTo(0, 0).lineTo(100, 100).end();
    painted = paint(detected.bytes());
    QCOMPARE(backgroundIndex, 15);
    QCOMPARE(painted.lineCalls[0].pen.color(), QColor(0, 0, 0));
}

void InterpreterTest::colourMapEntriesFollowHueOrLightness_data()
{
    QTest::addColumn<int>("hue");
    QTest::addColumn<int>("lightness");
    QTest::addColumn<int>("saturation");
    QTest::addColumn<int>("paletteIndex");
    QTest::newRow("grey, lightness 90: white") << 0 << 90 << 5 << 15;
    QTest::newRow("hue 120: dark red") << 120 << 50 << 50 << 4;
    QTest::newRow("hue 350: dark blue") << 350 << 50 << 50 << 1;
    QTest::newRow("hue 14: dark blue") << 14 << 50 << 10 << 1;
    QTest::newRow("hue 15: magenta") << 15 << 50 << 10 << 13;
    QTest::newRow("hue 344: blue") << 344 << 50 << 10 << 9;
    QTest::newRow("hue 210: green") << 210 << 50 << 100 << 10;
    QTest::newRow("grey, lightness 9: black") << 200 << 9 << 9 << 0;
    QTest::newRow("grey, lightness 10: dark grey") << 200 << 10 << 9 << 8;
    QTest::newRow("grey, lightness 79: grey") << 200 << 79 << 9 << 7;
}

void InterpreterTest::colourMapEntriesFollowHueOrLightness()
{
    QFETCH(int, hue);
    QFETCH(int, lightness);
    QFETCH(int, saturation);
    QFETCH(int, paletteIndex);
    // On a black background white lines stay white.
    ViewerSettings.whiteBackground = 0;
    PvgWriter writer;
    padPast100(writer).background(0).colourMapEntry(7, hue, lightness, saturation)
        .lineColour(7).moveTo(0, 0).lineTo(10, 10).end();
    const std::string bytes = writer.bytes();
    const Painted painted = paint(bytes);
    QCOMPARE(painted.lineCalls.size(), std::size_t(1));
    QCOMPARE(painted.lineCalls[0].pen.color(), paletteColour(paletteIndex));
}

void InterpreterTest::commaForAColourComponentSkipsTheNextComponent()
{
    // Hue "," reads as 0 and leaves the lightness unread: the next integer,
    // 50, is the saturation, so hue 0 picks dark blue.
    const std::string tg = ESC + "TG" + "1" + "1" + "6" + "," + PvgWriter::integer(50);
    const std::string bytes = PvgWriter().raw(tg).lineColour(6).moveTo(0, 0).lineTo(10, 10)
                                  .end().bytes();
    const Painted painted = paint(bytes);
    QCOMPARE(painted.lineCalls[0].pen.color(), paletteColour(1));

    // Outside TG components a lone "," is just -12.
    const std::string eps = exportEps(PvgWriter().raw(ESC + "GT,").end().bytes(), -1.0);
    QVERIFY(eps.find(" stroke 12 setlinewidth ") != std::string::npos);
}

void InterpreterTest::outOfRangeTableIndicesAreIgnored()
{
    const std::string bytes = PvgWriter()
                                  .colourMapEntry(2, 90, 50, 100) // red
                                  .lineColour(2)
                                  .colourMapEntry(30, 210, 50, 100)
                                  .colourMapEntry(-1, 210, 50, 100)
                                  .lineColour(50)
                                  .lineColour(-1)
                                  .moveTo(0, 0).lineTo(10, 10)
                                  .lineColour(40) // never defined: black
                                  .lineTo(20, 20)
                                  .end().bytes();
    const Painted painted = paint(bytes);
    QCOMPARE(painted.lineCalls.size(), std::size_t(2));
    QCOMPARE(painted.lineCalls[0].pen.color(), paletteColour(12));
    QCOMPARE(painted.lineCalls[1].pen.color(), paletteColour(0));
}

void InterpreterTest::lineWidthIsScaledThenHalvedOnScreenAndDoubledOnPrinter()
{
    const std::string bytes = PvgWriter().lineWidth(3).moveTo(0, 0).lineTo(100, 100).end().bytes();
    Painted painted = paint(bytes, 1.5);
    QCOMPARE(painted.lineCalls[0].pen.width(), 2);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(600);
    painted = paint(bytes, 1.5, SpanRect(), &printer);
    QCOMPARE(painted.lineCalls[0].pen.width(), 8);

    // Thin lines on the printer: twice the configured minimum.
    ViewerSettings.printer_min_linewidth = 3;
    painted = paint(PvgWriter().moveTo(0, 0).lineTo(100, 100).end().bytes(), 1.5, SpanRect(),
                    &printer);
    QCOMPARE(painted.lineCalls[0].pen.width(), 6);
    QCOMPARE(painted.lineCalls[0].pen.style(), Qt::SolidLine);
}

void InterpreterTest::printerViewportFollowsResolutionAndSettings()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(600);
    const std::string bytes = PvgWriter().moveTo(0, 0).lineTo(100, 100).end().bytes();

    Painted painted = paint(bytes, 1.0, SpanRect(), &printer);
    QCOMPARE(painted.viewport, QRect(480, 360, 5400, 4113));
    QCOMPARE(painted.window, QRect(0, 0, 4096, 3120));

    ViewerSettings.printer_page_shift[0] = 30;
    ViewerSettings.printer_page_shift[1] = -20;
    painted = paint(bytes, 1.0, SpanRect(), &printer);
    QCOMPARE(painted.viewport, QRect(510, 340, 5400, 4113));

    ViewerSettings.printer_page_size[0] = 0.9;
    ViewerSettings.printer_page_size[1] = 0.95;
    painted = paint(bytes, 1.0, SpanRect(), &printer);
    QCOMPARE(painted.viewport, QRect(510, 340, 4860, 3907));

    // The screen keeps the painter's own viewport: the whole device.
    painted = paint(bytes);
    QCOMPARE(painted.viewport, QRect(0, 0, 1280, 975));
}

void InterpreterTest::oneMoveAndFiveAddressesDrawFourSegments()
{
    const std::string bytes = PvgWriter()
                                  .moveTo(100, 200).lineTo(300, 200).lineTo(300, 400)
                                  .lineTo(100, 400).lineTo(100, 200).end().bytes();
    const Painted painted = paint(bytes);
    QCOMPARE(segmentCount, 4);
    const std::vector<QLine> expected = {logicalLine(100, 200, 300, 200),
                                         logicalLine(300, 200, 300, 400),
                                         logicalLine(300, 400, 100, 400),
                                         logicalLine(100, 400, 100, 200)};
    QCOMPARE(painted.lines(), expected);
    // Every segment reaches the painter in a line-list call of its own.
    QCOMPARE(painted.lineCalls.size(), std::size_t(4));
}

void InterpreterTest::doubledEscapeActsAsOne()
{
    const std::string single = PvgWriter().colourMapEntry(1, 90, 50, 100).raw(ESC + "ML1")
                                   .moveTo(0, 0).lineTo(10, 10).end().bytes();
    const std::string doubled = PvgWriter().colourMapEntry(1, 90, 50, 100).raw(ESC + ESC + "ML1")
                                    .moveTo(0, 0).lineTo(10, 10).end().bytes();
    const Painted a = paint(single);
    const Painted b = paint(doubled);
    QCOMPARE(a.lineCalls[0].pen.color(), paletteColour(12));
    QCOMPARE(b.lineCalls[0].pen.color(), paletteColour(12));
    QCOMPARE(a.lines(), b.lines());
}

void InterpreterTest::shortTextConsumesAtMost80Bytes()
{
    // Count 90: the count and 80 text bytes are consumed, the last ten bytes
    // are walked as five two-byte addresses.
    const std::string text = std::string(80, 'x') + "`@`@`@`@`@";
    const std::string bytes = PvgWriter().moveTo(0, 0)
                                  .raw(ESC + "LT" + PvgWriter::integer(90) + text).end().bytes();
    paint(bytes);
    QCOMPARE(segmentCount, 5);

    // 0x40 is the count's low digit ("@" is 16), not a high digit: sixteen text
    // bytes, then two addresses.
    const std::string at = PvgWriter().moveTo(0, 0)
                               .raw(ESC + "LT" + "@" + std::string(16, 'x') + "`@`@").end().bytes();
    paint(at);
    QCOMPARE(segmentCount, 2);

    // A control byte ends the text early and is walked: here a GS.
    const std::string early = PvgWriter().raw(ESC + "LT" + PvgWriter::integer(20) + "abc")
                                  .moveTo(0, 0).lineTo(10, 10).end().bytes();
    const Painted painted = paint(early);
    QCOMPARE(painted.lines(), std::vector<QLine>{logicalLine(0, 0, 10, 10)});
}

void InterpreterTest::addressReusesOmittedBytesOfThePreviousOne()
{
    // After a full address for (1001, 2002), a Low-Y and a Low-X byte only:
    // High-Y 15, High-X 7 and the Extra bits (x 1, y 2) stay.
    const std::string bytes = PvgWriter().raw("\x1D").fullAddress(1001, 2002)
                                  .raw(std::string(1, char(0x60 | 5)) + char(0x40 | 7))
                                  .end().bytes();
    const Painted painted = paint(bytes);
    QCOMPARE(painted.lines(), std::vector<QLine>{logicalLine(1001, 2002, 925, 1942)});
}

void InterpreterTest::zoomAreaSetsTheWindowOnlyWithPositiveWidth()
{
    const std::string bytes = PvgWriter().moveTo(0, 0).lineTo(10, 10).end().bytes();
    Painted painted = paint(bytes, 1.0, rectFromCorners(500, 400, 500, 900));
    QCOMPARE(painted.window, QRect(0, 0, 4096, 3120));
    painted = paint(bytes, 1.0, rectFromCorners(1024, 780, 2048, 1560));
    QCOMPARE(painted.window, QRect(QPoint(1024, 780), QPoint(2047, 1559)));
    // The background still covers the page, not only the zoomed part.
    QCOMPARE(painted.fills[0].rect, QRectF(0, 0, 4096, 3120));
    // A band dragged upwards has a negative height, which the window keeps.
    painted = paint(bytes, 1.0, rectFromCorners(1000, 900, 2000, 400));
    QCOMPARE(painted.window, QRect(1000, 900, 1000, -500));

    // Zero width: the EPS box is the full page.
    LoadedDocument document(bytes);
    QTemporaryDir dir;
    const QByteArray path = (dir.path() + "/zero.eps").toLocal8Bit();
    copyText(exportPath, path.constData());
    renderDocument(nullptr, nullptr, 1.0, kConvertToEps, rectFromCorners(500, 400, 500, 900));
    QVERIFY(readWholeFile(path.toStdString()).find("%%BoundingBox: 0 0 1024 780\n")
            != std::string::npos);
}

void InterpreterTest::textIsDrawnAtItsPositionWithoutTrailingLineFeed()
{
    const std::string bytes = PvgWriter()
                                  .colourMapEntry(2, 90, 50, 100).lineColour(2)
                                  .font("Sans").fontSize(20).textFlags(3)
                                  .textPosition(100, 200).text("Hello\n")
                                  .textFlags(0).textPosition(300, 400).text("line\n\n")
                                  .end().bytes();
    const Painted painted = paint(bytes);
    QCOMPARE(painted.texts.size(), std::size_t(2));
    QCOMPARE(painted.texts[0].text, QString("Hello"));
    QCOMPARE(painted.texts[0].position, QPointF(100, 2920));
    QCOMPARE(painted.texts[0].font.family(), QString("Sans"));
    QCOMPARE(painted.texts[0].font.pointSize(), 20);
    QCOMPARE(painted.texts[0].font.weight(), QFont::Bold);
    QVERIFY(painted.texts[0].font.italic());
    QCOMPARE(painted.texts[0].pen.color(), paletteColour(12));
    QCOMPARE(painted.texts[1].position, QPointF(300, 2720));
    QCOMPARE(painted.texts[1].font.weight(), QFont::Normal);
    QVERIFY(!painted.texts[1].font.italic());
    QCOMPARE(segmentCount, 0);
}

void InterpreterTest::pictureEndsAtBelFfOrNul_data()
{
    QTest::addColumn<QByteArray>("terminator");
    QTest::addColumn<int>("segments");
    QTest::addColumn<int>("segmentsWhenInOperand");
    // BEL and 0xFF are taken from the document, which draws the address
    // before them; a NUL is never taken, so that address stays undrawn.
    // Inside an operand BEL and 0xFF end the operand and then the picture; a
    // NUL only ends the operand and the walk goes on.
    QTest::newRow("BEL") << QByteArray("\x07") << 2 << 1;
    QTest::newRow("0xFF") << QByteArray("\xFF") << 2 << 1;
    QTest::newRow("NUL") << QByteArray(1, '\0') << 1 << 3;
}

void InterpreterTest::pictureEndsAtBelFfOrNul()
{
    QFETCH(QByteArray, terminator);
    QFETCH(int, segments);
    QFETCH(int, segmentsWhenInOperand);
    const std::string bytes = PvgWriter().moveTo(0, 0).lineTo(10, 10).lineTo(20, 10)
                                  .raw(terminator.toStdString())
                                  .lineTo(30, 30).lineTo(40, 40).end().bytes();
    const Painted painted = paint(bytes);
    QCOMPARE(segmentCount, segments);
    QCOMPARE(painted.lines().size(), std::size_t(segments));

    const std::string inOperand = PvgWriter().moveTo(0, 0).lineTo(10, 10)
                                      .raw(ESC + "MLA" + terminator.toStdString())
                                      .lineTo(30, 30).lineTo(40, 40).end().bytes();
    paint(inOperand);
    QCOMPARE(segmentCount, segmentsWhenInOperand);
}

void InterpreterTest::longTextsAndUnendedOperandsStayInsideTheirBuffers()
{
    const std::string family(3000, 'f');
    const std::string bytes = PvgWriter().font(family).fontSize(12).textPosition(10, 10)
                                  .text(std::string(5000, 't')).raw(ESC + "ZP" + std::string(200, '7') + ";")
                                  .moveTo(0, 0).lineTo(10, 10).end().bytes();
    Painted painted = paint(bytes);
    QCOMPARE(painted.texts.size(), std::size_t(1));
    QCOMPARE(painted.texts[0].text.size(), 1023);
    QCOMPARE(painted.texts[0].font.family().size(), 1023);
    QCOMPARE(segmentCount, 1);

    // A text running into the end of the data ends there.
    painted = paint(PvgWriter().textPosition(5, 5).text("tail").bytes());
    QCOMPARE(painted.texts.size(), std::size_t(1));
    QCOMPARE(painted.texts[0].text, QString("tail"));

    // Commands cut off by the end of the data.
    for (const std::string &cut : {ESC + "TG1", ESC + "MC", ESC + "LTF", ESC + "ZP12,", ESC + "GTA",
                                   ESC + "XY", ESC + "Z", ESC})
        paint(PvgWriter().raw(cut).bytes());
}

void InterpreterTest::unparsableTextPositionKeepsThePreviousOne()
{
    const std::string bytes = PvgWriter().textPosition(100, 200)
                                  .raw(ESC + "ZPnothing;").text("a")
                                  .raw(ESC + "ZP300;").text("b")
                                  .raw(ESC + "ZP 400, 500" + ESC).text("c")
                                  .end().bytes();
    const Painted painted = paint(bytes);
    QCOMPARE(painted.texts.size(), std::size_t(3));
    QCOMPARE(painted.texts[0].position, QPointF(100, 2920));
    QCOMPARE(painted.texts[1].position, QPointF(300, 2920));
    QCOMPARE(painted.texts[2].position, QPointF(400, 2620));
}

void InterpreterTest::absurdNumbersNeverOverflow()
{
    const std::string manyDigits = std::string(40, '\x7F') + "?";
    const std::string bytes = PvgWriter()
                                  .raw(ESC + "GT" + manyDigits)
                                  .raw(ESC + "ZS" + manyDigits)
                                  .raw(ESC + "ZP99999999999999,-99999999999999;")
                                  .text("far")
                                  .raw(ESC + "GT" + std::string(6, '\x7F') + "A")
                                  .moveTo(0, 0).lineTo(4095, 4095).end().bytes();
    for (double scale : {1.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()}) {
        const Painted painted = paint(bytes, scale);
        QCOMPARE(segmentCount, 1);
        QVERIFY(painted.texts.empty());
        QVERIFY(painted.lineCalls[0].pen.width() >= 0);
    }
}

QTEST_MAIN(InterpreterTest)
#include "interpreter_test.moc"
