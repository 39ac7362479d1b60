// EPS export: whole files against files written by hand, pieces of the text
// for the number readers, and the files rendered by a real PostScript interpreter.
#include "stream/pvgmeta.h"
#include "tests/stream/streamfixture.h"
#include "tests/support/pvgwriter.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

namespace {
using W = PvgWriter;
const std::string ESC = "\x1B";

struct Case {
    const char *name; // expected file, or the piece of text expected exactly once
    std::string bytes;
    double scale = 1.0;
    void (*setup)() = nullptr;
    SpanRect zoom = SpanRect();
};

std::string expectedFile(const std::string &name)
{
    const std::string root = qgetenv("KELVO_SOURCE_DIR").toStdString();
    return readWholeFile(root + "/tests/stream/expected/" + name);
}

const std::string connected = W().moveTo(100, 200).lineTo(300, 200).lineTo(300, 400)
                                  .lineTo(100, 400).lineTo(100, 200).lineTo(200, 300)
                                  .moveTo(200, 300).lineTo(500, 500) // continues the subpath
                                  .moveTo(1000, 1000).lineTo(1100, 1000).end().bytes();
const std::string diagonal = W().moveTo(0, 0).lineTo(4095, 3119).end().bytes();
void halfScale() { ViewerSettings.eps_scalefactor = 0.5; }
void withBackground() { ViewerSettings.eps_include_background = 1; }

std::string run(const Case &c)
{
    restoreDefaultSettings();
    if (c.setup != nullptr)
        c.setup();
    return exportEps(c.bytes, c.zoom, c.scale);
}

// GT writes its width scaled into the file, so the scale also shows negatives.
std::string widthGT(const std::string &operand)
{
    return W().raw(ESC + "GT" + operand).end().bytes();
}
} // namespace

class EpsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { restoreDefaultSettings(); }

    void wholeFilesMatch()
    {
        const Case cases[] = {
            {"connected.eps", connected},
            {"scale_half.eps", diagonal, 1, halfScale},
            {"background.eps", diagonal, 1, withBackground},
            {"black_lines.eps", W().colourMapEntry(2, 90, 50, 100).lineColour(2).moveTo(10, 20)
                                    .lineTo(30, 40).end().bytes(),
             1, [] { ViewerSettings.eps_cvt_lines_to_black = 1; }},
            {"zoomed.eps", W().moveTo(1200, 1800).lineTo(1800, 2200).end().bytes(), 1,
             withBackground, corners(1024, 780, 2048, 1560)},
            // GT 2 is written as the minimum 5; a repeated GT 12 changes nothing.
            {"widths.eps", W().lineWidth(2).moveTo(100, 100).lineTo(200, 100).lineWidth(12)
                               .lineTo(300, 100).lineWidth(12).lineTo(400, 100).end().bytes()},
            // Palette 8 as fractions; white on the white page is written black.
            {"palette.eps", W().colourMapEntry(2, 0, 20, 0).colourMapEntry(3, 0, 90, 0)
                                .lineColour(2).moveTo(10, 10).lineTo(20, 10).lineColour(3)
                                .lineTo(30, 10).end().bytes()},
        };
        for (const Case &c : cases)
            QVERIFY2(run(c) == expectedFile(c.name), c.name);
        exportEps(connected);
        QCOMPARE(segmentCount, 7);
    }

    void piecesAppearOnce()
    {
        const std::string whiteOnBlack = W().raw(pastOffset100()).background(0)
                                             .colourMapEntry(3, 0, 90, 0).lineColour(3)
                                             .moveTo(10, 10).lineTo(20, 10).end().bytes();
        auto blackBackground = [] { ViewerSettings.whiteBackground = 0; };
        const Case cases[] = {
            // Integers: high digits, then the signed low digit.
            {" stroke 100 setlinewidth ", widthGT("F4")},
            {" stroke 160 setlinewidth ", widthGT("A0"), 10},
            {" stroke 150 setlinewidth ", widthGT("?"), 10},
            {" stroke 10 setlinewidth ", widthGT("1"), 10},
            {" stroke 10 setlinewidth ", widthGT("!"), -10},
            {" stroke 12 setlinewidth ", widthGT(","), -1},
            {" stroke 50 setlinewidth ", widthGT(ESC), 10},
            {" stroke 30 setlinewidth ", widthGT("\x1D"), 10},
            // GT 0 is the width every walk starts with: no change.
            {" stroke 5 setlinewidth ", W().lineWidth(0).end().bytes(), 10},
            {"%%BoundingBox: 0 0 1024 780\n", diagonal, 1, nullptr, corners(500, 400, 500, 900)},
            // White lines stay white on a dark page; the header colour stays black.
            {"\nstroke 1.00 1.00 1.00 setcolor\n", whiteOnBlack, 1, blackBackground},
            {"scale\n0.00 0.00 0.00 setcolor\n", whiteOnBlack, 1, blackBackground},
        };
        for (const Case &c : cases) {
            const std::string eps = run(c);
            const std::size_t at = eps.find(c.name);
            QVERIFY2(at != std::string::npos && at == eps.rfind(c.name), (c.name + eps).c_str());
        }
    }

    void numbersUseADecimalPointInAnyLocale()
    {
        bool found = false;
        for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
            found = found || std::setlocale(LC_ALL, name) != nullptr;
        if (!found)
            QSKIP("No locale with a decimal comma (install-deps.sh generates de_DE.UTF-8)");
        char probe[16];
        std::snprintf(probe, sizeof probe, "%3.2f", 0.25);
        halfScale();
        const std::string text = exportEps(diagonal);
        std::setlocale(LC_ALL, "C");
        QCOMPARE(std::string(probe), std::string("0,25"));
        QCOMPARE(text, expectedFile("scale_half.eps"));
    }

    void fileThatCannotBeCreatedGetsNothingAndTheWalkGoesOn()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/missing/out.eps";
        QCOMPARE(exportEps(connected, SpanRect(), 1.0, path), std::string());
        QCOMPARE(segmentCount, 7);
        QVERIFY(!QFile::exists(path));
    }

    void ghostscriptDrawsTheLinesInTheirColours()
    {
        const QString gs = QStandardPaths::findExecutable("gs");
        if (gs.isEmpty())
            QSKIP("Ghostscript (gs) is not installed");
        // A thick red line across the middle and a thick blue one down the left.
        const std::string bytes = W().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 330, 50, 100)
                                      .lineWidth(40).lineColour(2).moveTo(0, 1560)
                                      .lineTo(4095, 1560)
                                      .lineColour(3).moveTo(400, 0).lineTo(400, 3119).end().bytes();
        QTemporaryDir dir;
        const QString eps = dir.path() + "/out.eps", png = dir.path() + "/out.png";
        for (bool background : {false, true}) {
            ViewerSettings.eps_include_background = background ? 1 : 0;
            exportEps(bytes, SpanRect(), 1.0, eps);
            QProcess process;
            process.start(gs, {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dEPSCrop", "-r72",
                               "-sDEVICE=png16m", "-sOutputFile=" + png, eps});
            QVERIFY(process.waitForFinished(60000));
            QCOMPARE(process.exitCode(), 0);
            const QImage image(png);
            QCOMPARE(image.size(), QSize(1024, 780));
            QCOMPARE(image.pixelColor(700, 390), QColor(255, 0, 0));
            QCOMPARE(image.pixelColor(100, 600), QColor(0, 0, 255));
            QCOMPARE(image.pixelColor(700, 100), QColor(background ? Qt::black : Qt::white));
        }
    }
};

QTEST_MAIN(EpsTest)
#include "eps_test.moc"
