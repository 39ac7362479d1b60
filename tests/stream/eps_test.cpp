// EPS export: the whole text of each file against files written by hand, and
// the files rendered by a real PostScript interpreter.
#include "app/viewersettings.h"
#include "commands/exports.h"
#include "stream/pvgmeta.h"
#include "tests/stream/streamfixture.h"
#include "tests/support/pvgwriter.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cstdlib>

namespace {
std::string expectedFile(const char *name)
{
    return readWholeFile(std::string(std::getenv("KELVO_SOURCE_DIR")) + "/tests/stream/expected/"
                         + name);
}

class EpsExport
{
public:
    std::string run(const std::string &bytes, SpanRect zoom = SpanRect(), double scale = 1.0)
    {
        LoadedDocument document(bytes);
        const QByteArray local = path().toLocal8Bit();
        copyText(exportPath, local.constData());
        renderDocument(nullptr, nullptr, scale, kConvertToEps, zoom);
        return readWholeFile(local.toStdString());
    }
    QString path() const { return dir.path() + "/out.eps"; }

private:
    QTemporaryDir dir;
};

std::string connectedDrawing()
{
    return PvgWriter()
        .moveTo(100, 200).lineTo(300, 200).lineTo(300, 400).lineTo(100, 400).lineTo(100, 200)
        .lineTo(200, 300)
        .moveTo(200, 300).lineTo(500, 500)   // from the last end point: same subpath
        .moveTo(1000, 1000).lineTo(1100, 1000)
        .end().bytes();
}

std::string diagonal()
{
    return PvgWriter().moveTo(0, 0).lineTo(4095, 3119).end().bytes();
}
} // namespace

class EpsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { restoreDefaultSettings(); }

    void connectedSegmentsShareOneSubpathFourToALine();
    void scaleFactorSetsBoxAndScale();
    void includedBackgroundFillsThePageInBlack();
    void linesToBlackWritesEveryColourAsBlack();
    void zoomedExportBoxesTheZoomedArea();
    void widthChangesHaveAMinimumOfFive();
    void coloursAreWrittenAsFractions();
    void whiteLinesStayWhiteOnlyOnADarkBackground();
    void numbersUseADecimalPointInAnyLocale();
    void fileThatCannotBeCreatedGetsNothingAndTheWalkGoesOn();
    void ghostscriptDrawsTheLinesInTheirColours();
};

void EpsTest::connectedSegmentsShareOneSubpathFourToALine()
{
    EpsExport eps;
    QCOMPARE(eps.run(connectedDrawing()), expectedFile("connected.eps"));
    QCOMPARE(segmentCount, 7);
}

void EpsTest::scaleFactorSetsBoxAndScale()
{
    ViewerSettings.eps_scalefactor = 0.5;
    EpsExport eps;
    QCOMPARE(eps.run(diagonal()), expectedFile("scale_half.eps"));
}

void EpsTest::includedBackgroundFillsThePageInBlack()
{
    ViewerSettings.eps_include_background = 1;
    EpsExport eps;
    QCOMPARE(eps.run(diagonal()), expectedFile("background.eps"));
}

void EpsTest::linesToBlackWritesEveryColourAsBlack()
{
    ViewerSettings.eps_cvt_lines_to_black = 1;
    EpsExport eps;
    const std::string bytes = PvgWriter().colourMapEntry(2, 90, 50, 100).lineColour(2)
                                  .moveTo(10, 20).lineTo(30, 40).end().bytes();
    QCOMPARE(eps.run(bytes), expectedFile("black_lines.eps"));
}

void EpsTest::zoomedExportBoxesTheZoomedArea()
{
    ViewerSettings.eps_include_background = 1;
    EpsExport eps;
    const std::string bytes = PvgWriter().moveTo(1200, 1800).lineTo(1800, 2200).end().bytes();
    QCOMPARE(eps.run(bytes, rectFromCorners(1024, 780, 2048, 1560)), expectedFile("zoomed.eps"));
}

void EpsTest::widthChangesHaveAMinimumOfFive()
{
    EpsExport eps;
    const std::string bytes = PvgWriter()
                                  .lineWidth(2).moveTo(100, 100).lineTo(200, 100)
                                  .lineWidth(12).lineTo(300, 100)
                                  .lineWidth(12).lineTo(400, 100)
                                  .end().bytes();
    QCOMPARE(eps.run(bytes), expectedFile("widths.eps"));
}

void EpsTest::coloursAreWrittenAsFractions()
{
    EpsExport eps;
    const std::string bytes = PvgWriter()
                                  .colourMapEntry(2, 0, 20, 0)   // dark grey, palette 8
                                  .colourMapEntry(3, 0, 90, 0)   // white, on white
                                  .lineColour(2).moveTo(10, 10).lineTo(20, 10)
                                  .lineColour(3).lineTo(30, 10)
                                  .end().bytes();
    QCOMPARE(eps.run(bytes), expectedFile("palette.eps"));
}

void EpsTest::whiteLinesStayWhiteOnlyOnADarkBackground()
{
    ViewerSettings.whiteBackground = 0;
    PvgWriter writer;
    writer.comment(std::string(60, 'p')).comment(std::string(60, 'q')).background(0)
        .colourMapEntry(3, 0, 90, 0).lineColour(3).moveTo(10, 10).lineTo(20, 10).end();
    EpsExport eps;
    const std::string text = eps.run(writer.bytes());
    QVERIFY(text.find("\nstroke 1.00 1.00 1.00 setcolor\n") != std::string::npos);
    // The header's colour stays black whatever the background.
    QVERIFY(text.find("scale\n0.00 0.00 0.00 setcolor\n") != std::string::npos);
}

void EpsTest::numbersUseADecimalPointInAnyLocale()
{
    const char *locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"};
    const char *found = nullptr;
    for (const char *name : locales) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            found = name;
            break;
        }
    }
    if (found == nullptr)
        QSKIP("No locale with a decimal comma is installed (install-deps.sh generates de_DE.UTF-8)");
    char probe[16];
    std::snprintf(probe, sizeof probe, "%3.2f", 0.25);
    const bool commaLocale = std::string(probe) == "0,25";
    ViewerSettings.eps_scalefactor = 0.5;
    EpsExport eps;
    const std::string text = eps.run(diagonal());
    std::setlocale(LC_ALL, "C");
    QVERIFY2(commaLocale, "the chosen locale should format 0.25 as 0,25");
    QCOMPARE(text, expectedFile("scale_half.eps"));
}

void EpsTest::fileThatCannotBeCreatedGetsNothingAndTheWalkGoesOn()
{
    QTemporaryDir dir;
    const QByteArray path = (dir.path() + "/missing/out.eps").toLocal8Bit();
    copyText(exportPath, path.constData());
    LoadedDocument document(connectedDrawing());
    renderDocument(nullptr, nullptr, 1.0, kConvertToEps);
    QCOMPARE(segmentCount, 7);
    QVERIFY(!QFile::exists(QString::fromLocal8Bit(path)));
}

void EpsTest::ghostscriptDrawsTheLinesInTheirColours()
{
    const QString gs = QStandardPaths::findExecutable("gs");
    if (gs.isEmpty())
        QSKIP("Ghostscript (gs) is not installed");
    // A thick red line across the middle and a thick blue one down the left.
    const std::string bytes = PvgWriter()
                                  .colourMapEntry(2, 90, 50, 100)   // red
                                  .colourMapEntry(3, 330, 50, 100)  // blue
                                  .lineWidth(40)
                                  .lineColour(2).moveTo(0, 1560).lineTo(4095, 1560)
                                  .lineColour(3).moveTo(400, 0).lineTo(400, 3119)
                                  .end().bytes();
    for (bool background : {false, true}) {
        ViewerSettings.eps_include_background = background ? 1 : 0;
        EpsExport eps;
        eps.run(bytes);
        const QString png = eps.path() + ".png";
        QProcess process;
        process.start(gs, {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dEPSCrop", "-r72",
                           "-sDEVICE=png16m", "-sOutputFile=" + png, eps.path()});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QImage image(png);
        QCOMPARE(image.size(), QSize(1024, 780));
        QCOMPARE(image.pixelColor(700, 390), QColor(255, 0, 0));
        QCOMPARE(image.pixelColor(100, 600), QColor(0, 0, 255));
        QCOMPARE(image.pixelColor(700, 100), background ? QColor(0, 0, 0) : QColor(255, 255, 255));
    }
}

QTEST_MAIN(EpsTest)
#include "eps_test.moc"
