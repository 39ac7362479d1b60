// The real kelvo-convert run as scripts and file managers run it: every
// format shows the drawing, EPS is the viewer's own, settings come from the
// same files, failures leave nothing behind, batches and thumbnails.
#include "tests/support/pvgwriter.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

struct Run { int exitCode = -1; QString standardError; QByteArray standardOutput; };

static QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
static bool writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class ConvertTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString path(const QString &name) const { return root.filePath(name); }

    // No display, HOME in the test's directory.
    Run run(const QString &program, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        environment.insert("HOME", path("home"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(root.path());
        process.start(program, arguments);
        const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
        return {ended ? process.exitCode() : -1, QString::fromLocal8Bit(process.readAllStandardError()),
                process.readAllStandardOutput()};
    }
    Run convert(const QStringList &arguments) { return run(qEnvironmentVariable("KELVO_CONVERT_BINARY"), arguments); }

    // The centre of the picture shows the thick red line, a corner the background.
    static void checkPicture(const QImage &image, QSize size, int cornerGray)
    {
        QCOMPARE(image.size(), size);
        const QRgb centre = image.pixel(size.width() / 2, size.height() / 2);
        QVERIFY2(qRed(centre) > 180 && qGreen(centre) < 100 && qBlue(centre) < 100, "no red line in the centre");
        QVERIFY(qAbs(qGray(image.pixel(2, 2)) - cornerGray) < 30);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *directory : {"home", "out"})
            QVERIFY(QDir(root.path()).mkpath(directory));
        PvgWriter writer;
        writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100).moveTo(400, 1560).lineTo(3700, 1560);
        writer.fontSize(30).textPosition(600, 2800).text("Pressure & <rate>").end();
        for (const char *name : {"plot.pvg", "second.pvg", "drawing.eps"})
            QVERIFY(writer.writeFile(path(name).toStdString()));
        PvgWriter onBlack;
        onBlack.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100).moveTo(400, 1560);
        for (int x = 500; x <= 3700; x += 100) // the background is looked for after the first 100 bytes
            onBlack.lineTo(x, 1560);
        QVERIFY(onBlack.background(0).end().writeFile(path("black.pvg").toStdString()));
        QVERIFY(writeWholeFile(path("notes.pvg"), "plain words\n"));
        // White Background off: each file's own background.
        QVERIFY(writeWholeFile(path("home/.kelvosettings"), QByteArray("1.0").leftJustified(35, '\0')));
    }

    // Rasters directly, SVG through rsvg-convert, PDF through poppler: each a valid file showing the drawing.
    void everyFormatShowsTheDrawing_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("pageSize"); // of SVG and PDF, in points
        QTest::addColumn<int>("cornerGray");
        QTest::newRow("png") << "plot.pvg" << "a.png" << "--size=800x600" << "" << 255;
        QTest::newRow("png, the file's black background") << "black.pvg" << "b.png" << "--size=800x600" << "" << 0;
        QTest::newRow("jpeg, upper case") << "plot.pvg" << "a.JPEG" << "--size=800x600" << "" << 255;
        QTest::newRow("svg") << "plot.pvg" << "a.svg" << "--size=640x480" << "1024 x 780" << 255;
        QTest::newRow("pdf") << "plot.pvg" << "a.pdf" << "--size=640x480" << "1024 x 780" << 255;
        QTest::newRow("pdf zoomed") << "plot.pvg" << "z.pdf" << "--zoom=1024,780,3072,2340" << "512 x 390" << 255;
        QTest::newRow("svg zoomed") << "plot.pvg" << "z.svg" << "--zoom=1024,780,3072,2340" << "512 x 390" << 255;
    }
    void everyFormatShowsTheDrawing()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(QString, option);
        QFETCH(QString, pageSize);
        QFETCH(int, cornerGray);
        const Run result = convert({option, input, "out/" + output});
        QVERIFY(result.exitCode == 0 && result.standardError.isEmpty());
        const QString file = path("out/" + output);
        const bool wholePage = !output.startsWith("z");
        if (output.endsWith(".svg")) {
            QCOMPARE(run("xmllint", {"--noout", file}).exitCode, 0);
            const QByteArray svg = readWholeFile(file);
            QVERIFY(svg.contains(QStringLiteral("width=\"%1pt\" height=\"%2pt\"").arg(pageSize.section(' ', 0, 0), pageSize.section(' ', 2, 2)).toUtf8()));
            QVERIFY(!wholePage || svg.contains(">Pressure &amp; &lt;rate&gt;</text>"));
            QCOMPARE(run("rsvg-convert", {"-w", "640", "-h", "480", "-o", file + ".png", file}).exitCode, 0);
        } else if (output.endsWith(".pdf")) {
            QVERIFY(run("pdfinfo", {file}).standardOutput.contains("Page size:       " + pageSize.toUtf8() + " pts"));
            QVERIFY(!wholePage || run("pdftotext", {file, "-"}).standardOutput.contains("Pressure & <rate>"));
            QCOMPARE(run("pdftoppm", {"-png", "-singlefile", "-scale-to-x", "640", "-scale-to-y", "480", file, file}).exitCode, 0);
        }
        const QImage picture(pageSize.isEmpty() ? file : file + ".png");
        checkPicture(picture.convertToFormat(QImage::Format_RGB32), pageSize.isEmpty() ? QSize(800, 600) : QSize(640, 480), cornerGray);
    }

    // EPS byte for byte what kelvo's own export writes for a view of that width, under the same settings;
    // the JPEG export of that view and a conversion to its size alike but for rounding.
    void theViewersOwnExports_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("config");
        QTest::newRow("default width") << 1280 << QByteArray();
        QTest::newRow("narrow, scaled, background") << 333 << QByteArray("eps_scalefactor = 0.5\neps_include_background = yes\n");
        QTest::newRow("lines to black") << 640 << QByteArray("eps_cvt_lines_to_black=y\n");
    }
    void theViewersOwnExports()
    {
        QFETCH(int, width);
        QFETCH(QByteArray, config);
        QVERIFY(writeWholeFile(path("home/kelvo.cfg"), config));
        QCOMPARE(run(qEnvironmentVariable("KELVO_BINARY"), {"plot.pvg", QStringLiteral("-wp=0,0,%1,500").arg(width), "-c=2", "-cf=" + path("out/viewer"), "-q"}).exitCode, 0);
        QCOMPARE(convert({QStringLiteral("--size=%1x500").arg(width), "plot.pvg", "out/converted.eps"}).exitCode, 0);
        const QByteArray viewer = readWholeFile(path("out/viewer.eps"));
        QVERIFY(viewer.startsWith("%!PS-Adobe-3.0 EPSF-3.0\n"));
        QCOMPARE(readWholeFile(path("out/converted.eps")), viewer);

        QCOMPARE(run(qEnvironmentVariable("KELVO_BINARY"), {"black.pvg", QStringLiteral("-wp=0,0,%1,500").arg(width), "-c=1", "-cf=" + path("out/viewer"), "-q"}).exitCode, 0);
        const QImage view = QImage(path("out/viewer.jpg")).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(convert({QStringLiteral("--size=%1x%2").arg(width).arg(view.height()), "black.pvg", "out/converted.jpg"}).exitCode, 0);
        const QImage converted = QImage(path("out/converted.jpg")).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(converted.size(), view.size());
        qint64 difference = 0;
        for (int y = 0; y < view.height(); ++y)
            for (int x = 0; x < view.width(); ++x)
                difference += qAbs(qGray(view.pixel(x, y)) - qGray(converted.pixel(x, y)));
        QVERIFY2(difference < view.width() * view.height() / 100, qPrintable(QString::number(difference)));
        QFile::remove(path("home/kelvo.cfg"));
    }

    // One line naming the file and the reason, a failing status, and no new or changed file.
    void failuresLeaveNothingBehind_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not a PVG file") << QStringList{"notes.pvg", "out/kept.png"} << "notes.pvg" << "not a recognized PVG";
        QTest::newRow("missing input") << QStringList{"nowhere.pvg", "out/kept.png"} << "nowhere.pvg" << "No such file";
        QTest::newRow("a directory as input") << QStringList{"out", "out/kept.png"} << "out" << "not a regular file";
        QTest::newRow("unknown extension") << QStringList{"plot.pvg", "out/kept.gif"} << "out/kept.gif" << "unknown output format";
        QTest::newRow("output is the input") << QStringList{"drawing.eps", "./out/../drawing.eps"} << "./out/../drawing.eps" << "is the input";
        QTest::newRow("output links to the input") << QStringList{"plot.pvg", "out/link.eps"} << "out/link.eps" << "is the input";
        QTest::newRow("unwritable place") << QStringList{"plot.pvg", "out/none/kept.png"} << "out/none/kept.png" << "cannot create";
        QTest::newRow("bad size") << QStringList{"--size=0x10", "plot.pvg", "out/kept.png"} << "bad --size '0x10'" << "WIDTHxHEIGHT";
    }
    void failuresLeaveNothingBehind()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        QFETCH(QString, reason);
        QFile::remove(path("out/link.eps"));
        QVERIFY(QFile::link(path("plot.pvg"), path("out/link.eps")));
        QVERIFY(writeWholeFile(path("out/kept.png"), "earlier"));
        const QByteArray input = readWholeFile(path("drawing.eps"));
        const Run result = convert(arguments);
        const bool usage = result.standardError.contains("\nTry 'kelvo-convert --help'.\n");
        QCOMPARE(result.exitCode, usage ? 2 : 1);
        QCOMPARE(result.standardError.count('\n'), usage ? 2 : 1);
        QVERIFY2(result.standardError.startsWith("kelvo-convert: " + named + ": ") && result.standardError.contains(reason),
                 qPrintable(result.standardError));
        QCOMPARE(readWholeFile(path("out/kept.png")), QByteArray("earlier"));
        QVERIFY(readWholeFile(path("drawing.eps")) == input && readWholeFile(path("plot.pvg")) == input);
        QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden | QDir::System).filter("kept"), QStringList{"kept.png"});
    }

    void aBatchConvertsEveryFileAndSaysHowMany()
    {
        const Run result = convert({"--format=png", "--output-dir=batch/pictures", "plot.pvg", "notes.pvg", "second.pvg", "black.pvg", "out/../plot.pvg"});
        QCOMPARE(result.exitCode, 1);
        const QStringList lines = result.standardError.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.filter("notes.pvg: File is not a recognized PVG").size(), 1);
        QCOMPARE(lines.filter("out/../plot.pvg: its output batch/pictures/plot.png is already that of plot.pvg").size(), 1);
        QCOMPARE(lines.last(), "kelvo-convert: 3 of 5 files converted, 2 failed");
        QVERIFY(!result.standardError.contains('\r')); // no progress line off a terminal
        QCOMPARE(QDir(path("batch/pictures")).entryList(QDir::Files), (QStringList{"black.png", "plot.png", "second.png"}));
        const Run clean = convert({"--format=.EPS", "--output-dir=batch", "plot.pvg", "black.pvg"});
        QVERIFY(clean.exitCode == 0 && clean.standardError == "kelvo-convert: 2 of 2 files converted\n");
        // A PVG file named like another input's output is not written over.
        QVERIFY(QFile::copy(path("plot.pvg"), path("batch/second.eps")));
        const Run guarded = convert({"--format=eps", "--output-dir=batch", "second.pvg", "batch/second.eps"});
        QCOMPARE(guarded.exitCode, 1);
        QVERIFY(guarded.standardError.startsWith("kelvo-convert: batch/second.eps: is an input file, not written\n"));
        QCOMPARE(readWholeFile(path("batch/second.eps")), readWholeFile(path("plot.pvg")));
    }

    // The installed thumbnailer entry, run as a file manager runs it (the output has no extension).
    void theThumbnailerEntryMakesAThumbnail()
    {
        const QString source = qEnvironmentVariable("KELVO_SOURCE_DIR") + "/app/desktop/";
        const QString entry = QString::fromUtf8(readWholeFile(source + "kelvo.thumbnailer"));
        const QString mimeType = QRegularExpression("type=\"([^\"]+)\"").match(readWholeFile(source + "org.kelvo.Kelvo.xml")).captured(1);
        QVERIFY(entry.contains("\nMimeType=" + mimeType + ";\n") && entry.contains("\nTryExec=kelvo-convert\n"));
        QStringList words = QRegularExpression("\nExec=([^\n]*)").match(entry).captured(1).split(' ');
        QCOMPARE(words.takeFirst(), "kelvo-convert");
        words.replaceInStrings("%s", "128").replaceInStrings("%i", path("plot.pvg")).replaceInStrings("%o", path("out/thumbnail"));
        QCOMPARE(convert(words).exitCode, 0);
        QCOMPARE(QImage(path("out/thumbnail"), "PNG").size(), QSize(128, 98));
        // A zoom area taller than wide gives its own proportions.
        QCOMPARE(convert(QStringList{"--zoom=0,0,1000,2000"} + words).exitCode, 0);
        QCOMPARE(QImage(path("out/thumbnail"), "PNG").size(), QSize(64, 128));
    }
};

QTEST_GUILESS_MAIN(ConvertTest)
#include "convert_test.moc"
