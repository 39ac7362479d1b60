// The real kelvo-convert run as scripts and file managers run it: every
// format shows the drawing, EPS is the viewer's own, failures leave nothing
// behind, batches and thumbnails.
#include "tests/support/pvgwriter.h"
#include "tests/support/testfiles.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

class ConvertTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString path(const QString &name) const { return root.filePath(name); }

    // No display, HOME in the test's directory.
    BinaryRun run(const QString &program, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        environment.insert("HOME", path("home"));
        return runBinary(arguments, root.path(), environment, program, 120000);
    }
    BinaryRun convert(const QStringList &arguments) { return run(qEnvironmentVariable("KELVO_CONVERT_BINARY"), arguments); }
    int kelvo(const QString &input, int width, const char *command)
    {
        return run(qEnvironmentVariable("KELVO_BINARY"), {input, QStringLiteral("-wp=0,0,%1,500").arg(width), command,
                                                          "-cf=" + path("out/viewer"), "-q"}).status;
    }

private Q_SLOTS:
    // A thick red line across the middle and a text; black.pvg has a black
    // background; White Background is off, so each file's own shows.
    void initTestCase()
    {
        QVERIFY(QDir(root.path()).mkpath("home") && QDir(root.path()).mkpath("out"));
        PvgWriter writer;
        writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100).moveTo(400, 1560).lineTo(3700, 1560);
        writer.fontSize(30).textPosition(600, 2800).text("Pressure & <rate>").end();
        for (const char *name : {"plot.pvg", "second.pvg", "drawing.eps"})
            QVERIFY(writer.writeFile(path(name).toStdString()));
        // The comment puts the background commands past the first 100 bytes, where detection looks.
        QVERIFY(PvgWriter().comment(std::string(120, 'x')).background(0).colourMapEntry(2, 90, 50, 100).lineColour(2)
                    .lineWidth(100).moveTo(400, 1560).lineTo(3700, 1560).end().writeFile(path("black.pvg").toStdString()));
        QVERIFY(writeFile(path("notes.pvg"), "plain words\n"));
        PvgWriter dense = PvgWriter().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100);
        for (int i = 0; i < 40000; ++i)
            dense.lineColour(2 + i % 2).lineWidth(i % 5 * 2).moveTo((i * 37) % 4096, 0).lineTo((i * 91) % 4096, 3119);
        QVERIFY(dense.end().writeFile(path("dense.pvg").toStdString()));
        QVERIFY(writeFile(path("home/.kelvosettings"), QByteArray("1.0").leftJustified(35, '\0')));
    }

    // The toolkit cannot remove a file whose name is not UTF-8.
    void cleanupTestCase() { std::filesystem::remove_all(root.path().toStdString()); }

    // Rasters directly, SVG through rsvg-convert, PDF through poppler: each
    // shows the red line in the centre and its background in a corner, and
    // tells its page size and the text (unless zoomed away from it).
    void everyFormatShowsTheDrawing_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("facts"); // in the SVG text, or what poppler says of the PDF
        const QString svgText = ">Pressure &amp; &lt;rate&gt;</text>", pdfText = "Pressure & <rate>";
        QTest::newRow("png, the file's black background") << "black.pvg" << "b.png" << "--size=800x600" << QStringList();
        QTest::newRow("jpeg, upper case") << "plot.pvg" << "a.JPEG" << "--size=800x600" << QStringList();
        QTest::newRow("svg") << "plot.pvg" << "a.svg" << "--size=640x480" << QStringList{"width=\"1024pt\" height=\"780pt\"", svgText};
        QTest::newRow("pdf") << "plot.pvg" << "a.pdf" << "--size=640x480" << QStringList{"Page size:       1024 x 780 pts", pdfText};
        QTest::newRow("pdf zoomed") << "plot.pvg" << "z.pdf" << "--zoom=1024,780,3072,2340" << QStringList{"Page size:       512 x 390 pts"};
    }
    void everyFormatShowsTheDrawing()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(QString, option);
        QFETCH(QStringList, facts);
        const BinaryRun result = convert({option, input, "out/" + output});
        QVERIFY(result.status == 0 && result.err.isEmpty());
        const QString file = path("out/" + output);
        QString png = file + ".png", told;
        if (output.endsWith(".svg")) {
            told = readWholeFile(file);
            QCOMPARE(run("rsvg-convert", {"-w", "640", "-h", "480", "-o", png, file}).status, 0);
        } else if (output.endsWith(".pdf")) {
            told = run("pdfinfo", {file}).out + run("pdftotext", {file, "-"}).out;
            QCOMPARE(run("pdftoppm", {"-png", "-singlefile", "-scale-to-x", "640", "-scale-to-y", "480", file, file}).status, 0);
        } else {
            png = file;
        }
        for (const QString &fact : facts)
            QVERIFY2(told.contains(fact), qPrintable(fact));
        const QImage image = QImage(png).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(image.size(), png == file ? QSize(800, 600) : QSize(640, 480));
        const QRgb centre = image.pixel(image.width() / 2, image.height() / 2);
        QVERIFY2(qRed(centre) > 180 && qGreen(centre) < 100 && qBlue(centre) < 100, "no red line in the centre");
        QVERIFY(qAbs(qGray(image.pixel(2, 2)) - (input == "black.pvg" ? 0 : 255)) < 30);
    }

    // A zoom a unit tall is a page a point tall, not one of no size; a page
    // of whole points is drawn to its edges (at 4 pixels a point, its last
    // column is the page's black, not white).
    void aPdfPageIsNeverEmptyNorShort()
    {
        QCOMPARE(convert({"--zoom=0,1560,4096,1561", "plot.pvg", "out/strip.pdf"}).status, 0);
        QVERIFY(run("pdfinfo", {path("out/strip.pdf")}).out.contains("Page size:       1024 x 1 pts"));
        QCOMPARE(convert({"black.pvg", "out/edge.pdf"}).status, 0);
        QCOMPARE(run("pdftoppm", {"-png", "-singlefile", "-r", "288", "-x", "4095", "-W", "1", path("out/edge.pdf"), path("out/edge")}).status, 0);
        QVERIFY(qGray(QImage(path("out/edge.png")).pixel(0, 1560)) < 30);
    }

    // Each segment is its own stroke, caps and all, as in the view: where a
    // thick line turns sharply, the first segment's square cap stands out
    // beyond the corner (a join, mitred or bevelled, would cut it off).
    void aCornerShowsItsSegmentsCaps()
    {
        QVERIFY(PvgWriter().colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100).moveTo(1000, 1000)
                    .lineTo(3000, 1000).lineTo(2000, 2500).end().writeFile(path("corner.pvg").toStdString()));
        QVERIFY(convert({"--size=1280x960", "corner.pvg", "out/corner.png"}).status == 0
                && convert({"corner.pvg", "out/corner.svg"}).status == 0);
        QCOMPARE(run("rsvg-convert", {"-w", "1280", "-h", "960", "-o", path("out/svg.png"), path("out/corner.svg")}).status, 0);
        for (const char *picture : {"out/corner.png", "out/svg.png"}) {
            const QRgb cap = QImage(path(picture)).pixel(951, 640); // page (3045, 1040)
            QVERIFY2(qRed(cap) > 180 && qGreen(cap) < 100, picture);
        }
    }

    // EPS and JPEG byte for byte what kelvo's own exports write for a view of
    // that width, under the same settings; the dense drawing covers the
    // narrow view many times over, so its frame is drawn latest first.
    void theViewersOwnExports_data()
    {
        QTest::addColumn<QString>("drawing");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("config");
        QTest::newRow("default width") << "plot.pvg" << 1280 << QByteArray();
        QTest::newRow("narrow, scaled, background") << "plot.pvg" << 333 << QByteArray("eps_scalefactor = 0.5\neps_include_background = yes\n");
        QTest::newRow("lines to black") << "plot.pvg" << 640 << QByteArray("eps_cvt_lines_to_black=y\n");
        QTest::newRow("dense") << "dense.pvg" << 120 << QByteArray();
    }
    void theViewersOwnExports()
    {
        QFETCH(QString, drawing);
        QFETCH(int, width);
        QFETCH(QByteArray, config);
        QVERIFY(writeFile(path("home/kelvo.cfg"), config));
        QCOMPARE(kelvo(drawing, width, "-c=2"), 0);
        QCOMPARE(convert({QStringLiteral("--size=%1x500").arg(width), drawing, "out/converted.eps"}).status, 0);
        const QByteArray viewer = readWholeFile(path("out/viewer.eps"));
        QVERIFY(viewer.startsWith("%!PS-Adobe-3.0 EPSF-3.0\n"));
        QCOMPARE(readWholeFile(path("out/converted.eps")), viewer);
        // Lines to black leaves no other colour; without it the drawing's own show.
        QCOMPARE(viewer.count(" setcolor\n") == viewer.count("0.00 0.00 0.00 setcolor\n"), config.contains("lines_to_black"));

        QCOMPARE(kelvo(drawing, width, "-c=1"), 0);
        const QSize view = QImage(path("out/viewer.jpg")).size(); // the window less its bars
        QCOMPARE(view.width(), width);
        QCOMPARE(convert({QStringLiteral("--size=%1x%2").arg(width).arg(view.height()), drawing, "out/converted.jpg"}).status, 0);
        QVERIFY(readWholeFile(path("out/converted.jpg")) == readWholeFile(path("out/viewer.jpg")));

        QFile::remove(path("home/kelvo.cfg"));
    }

    // One line naming the file and the reason, a failing status, and no new or changed file.
    void failuresLeaveNothingBehind_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a PVG file") << QStringList{"notes.pvg", "out/kept.png"} << "notes.pvg: File is not a recognized PVG";
        QTest::newRow("missing input") << QStringList{"nowhere.pvg", "out/kept.png"} << "nowhere.pvg: No such file";
        QTest::newRow("unknown extension") << QStringList{"plot.pvg", "out/kept.gif"} << "out/kept.gif: unknown output format";
        QTest::newRow("output is the input") << QStringList{"drawing.eps", "./out/../drawing.eps"} << "./out/../drawing.eps: is the input";
        QTest::newRow("output links to the input") << QStringList{"plot.pvg", "out/link.eps"} << "out/link.eps: is the input";
        QTest::newRow("no place to write") << QStringList{"plot.pvg", "nowhere/kept.png"} << "nowhere/kept.png: cannot create the file there";
    }
    void failuresLeaveNothingBehind()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QFile::remove(path("out/link.eps"));
        QVERIFY(QFile::link(path("plot.pvg"), path("out/link.eps")));
        QVERIFY(writeFile(path("out/kept.png"), "earlier"));
        const QByteArray input = readWholeFile(path("drawing.eps"));
        const BinaryRun result = convert(arguments);
        const bool usage = result.err.endsWith("\nTry 'kelvo-convert --help'.\n");
        QCOMPARE(result.status, usage ? 2 : 1);
        QCOMPARE(result.err.count('\n'), usage ? 2 : 1);
        QVERIFY2(result.err.startsWith("kelvo-convert: " + message.toUtf8()), result.err.constData());
        QCOMPARE(readWholeFile(path("out/kept.png")), QByteArray("earlier"));
        QVERIFY(readWholeFile(path("drawing.eps")) == input && readWholeFile(path("plot.pvg")) == input);
        QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden | QDir::System).filter("kept"), QStringList{"kept.png"});
    }

    // A desktop session's platform with no display behind it (a job started from
    // a terminal that has since gone) does not stop a conversion.
    void aWindowPlatformWithoutADisplayDoesNotStopIt()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("HOME", path("home"));
        const BinaryRun result = runBinary({"plot.pvg", "out/xcb.png"}, root.path(), environment,
                                           qEnvironmentVariable("KELVO_CONVERT_BINARY"), 120000);
        QCOMPARE(result.status, 0);
        QCOMPARE(QImage(path("out/xcb.png")).size(), QSize(1280, 975));
    }

    // Failures are named in the summary; a PVG file named like another input's output is not written over.
    // Of inputs that would share an output, also through links, the first PVG file converts.
    void aBatchConvertsEveryFileAndSaysHowMany()
    {
        QVERIFY(QDir(root.path()).mkpath("batch") && QFile::copy(path("plot.pvg"), path("batch/second.eps")));
        const BinaryRun result = convert({"--format=.EPS", "--output-dir=batch", "plot.pvg", "notes.pvg", "second.pvg",
                                          "batch/second.eps", "out/../plot.pvg"});
        QCOMPARE(result.status, 1);
        // Each of second.pvg and batch/second.eps would write batch/second.eps.
        QCOMPARE(result.err,
                 "kelvo-convert: second.pvg: its output batch/second.eps is an input file, not written\n"
                 "kelvo-convert: batch/second.eps: its output batch/second.eps is an input file, not written\n"
                 "kelvo-convert: out/../plot.pvg: its output batch/plot.eps is already that of plot.pvg, not converted\n"
                 "kelvo-convert: notes.pvg: File is not a recognized PVG graphic format.\n"
                 "kelvo-convert: 1 of 5 files converted, 4 failed\n");
        QCOMPARE(QDir(path("batch")).entryList(QDir::Files), (QStringList{"plot.eps", "second.eps"}));
        QCOMPARE(readWholeFile(path("batch/second.eps")), readWholeFile(path("plot.pvg")));
        QCOMPARE(convert({"--format=png", "--output-dir=batch", "plot.pvg", "black.pvg"}).err,
                 "kelvo-convert: 2 of 2 files converted\n");
        // A file that is no drawing does not take the name from the one that is.
        QVERIFY(QFile::copy(path("notes.pvg"), path("plot.txt")));
        QCOMPARE(convert({"--format=svg", "--output-dir=batch", "plot.txt", "plot.pvg"}).err,
                 "kelvo-convert: plot.txt: File is not a recognized PVG graphic format.\n"
                 "kelvo-convert: 1 of 2 files converted, 1 failed\n");
        QVERIFY(QFileInfo(path("batch/plot.svg")).size() > 0);
        // Outputs that are one file, by a link already there, are one output.
        QVERIFY(QDir(root.path()).mkpath("linked") && QFile::link("black.png", path("linked/plot.png")));
        QCOMPARE(convert({"--format=png", "--output-dir=linked", "plot.pvg", "black.pvg"}).err,
                 "kelvo-convert: black.pvg: its output linked/black.png is already that of plot.pvg, not converted\n"
                 "kelvo-convert: 1 of 2 files converted, 1 failed\n");
        // Every word after "--" is a file, also one the toolkit would take for its own option.
        for (const char *name : {"-style", "-reverse"})
            QVERIFY(QFile::copy(path("plot.pvg"), path(name)));
        QCOMPARE(convert({"--format=png", "--output-dir=dashed", "--", "-style", "plot.pvg", "-reverse"}).err,
                 "kelvo-convert: 3 of 3 files converted\n");
        QCOMPARE(QDir(path("dashed")).entryList(QDir::Files), (QStringList{"-reverse.png", "-style.png", "plot.png"}));
        // A FIFO among the inputs is no file, and nobody waits for it to be written.
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.pvg")).constData(), 0644), 0);
        const BinaryRun piped = convert({"--format=svg", "--output-dir=batch", "pipe.pvg"});
        QVERIFY(piped.ended && piped.status == 1 && piped.err.startsWith("kelvo-convert: pipe.pvg: not a regular file\n"));
    }

    // File names are bytes: a Latin-1 name (not UTF-8) reaches the file
    // system, the batch's output directory and the messages as it was given.
    void namesThatAreNotUtf8AreKept()
    {
        const std::string latin = "l\xe9ger", home = root.path().toStdString() + "/";
        std::filesystem::copy_file(home + "plot.pvg", home + latin + ".pvg");
        const QString script = "n=$(printf 'l\\351ger'); \"$0\" \"$n.pvg\" \"out/$n.png\" || exit 9; "
                               "exec \"$0\" --format=svg --output-dir=\"out/$n\" \"$n.pvg\" \"$(printf 'm\\351.pvg')\"";
        const BinaryRun result = run("/bin/sh", {"-c", script, qEnvironmentVariable("KELVO_CONVERT_BINARY")});
        QCOMPARE(result.status, 1);
        QVERIFY2(result.err.startsWith("kelvo-convert: m\xe9.pvg: No such file"), result.err.constData());
        QVERIFY(result.err.endsWith("kelvo-convert: 1 of 2 files converted, 1 failed\n"));
        std::ifstream png(home + "out/" + latin + ".png", std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(png), {}};
        QCOMPARE(QImage::fromData(QByteArray::fromStdString(bytes)).size(), QSize(1280, 975));
        QVERIFY(std::filesystem::file_size(home + "out/" + latin + "/" + latin + ".svg") > 0);
    }

    // A process that may start no more threads (their stacks cannot be had)
    // ends the batch with its summary, not an abort.
    void aBatchWithoutThreadsSaysSo()
    {
        if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
            QSKIP("an address-sanitized program cannot start with its address space capped");
        const QString limited = "ulimit -s 4000000 && ulimit -v 3000000 && exec \"$0\" \"$@\"";
        const BinaryRun result = run("/bin/sh", {"-c", limited, qEnvironmentVariable("KELVO_CONVERT_BINARY"),
                                                 "--format=png", "--output-dir=out", "plot.pvg", "second.pvg"});
        QVERIFY2(result.ended && result.status == 1, qPrintable(result.err));
        QVERIFY(result.err.endsWith("kelvo-convert: 0 of 2 files converted, 2 failed\n"));
    }

    // Under a limit on its memory a conversion is done or fails with its one
    // line; it never aborts. The limits tried lie just under the least that
    // suffices, where the render's and the encoder's last allocations fail.
    void tooLittleMemoryFailsTheFileNotTheProgram()
    {
        if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
            QSKIP("an address-sanitized program cannot start with its address space capped");
        // 8 MB of curves of short steep lines in four colours, drawn latest
        // first, whose picture makes a PNG of a few hundred kilobytes.
        PvgWriter plot = PvgWriter().colourMapEntry(2, 90, 50, 100).colourMapEntry(3, 210, 50, 100)
                             .colourMapEntry(4, 330, 50, 100).colourMapEntry(5, 0, 0, 0);
        for (int curve = 0; plot.bytes().size() < 8000000; ++curve) {
            const double amplitude = 200 + curve * 7919 % 1200, frequency = 1 + curve * 31 % 12;
            plot.lineColour(2 + curve % 4).lineWidth(curve % 7).moveTo(40, 1560);
            for (int i = 1; i < 1000; ++i)
                plot.lineTo(40 + i * 4, 1560 + int(amplitude * std::sin(curve + frequency * i / 160.0)));
        }
        QVERIFY(plot.end().writeFile(path("large.pvg").toStdString()));
        auto convertWithin = [this](int kilobytes) {
            return run("/bin/sh", {"-c", QStringLiteral("ulimit -v %1 && exec \"$0\" \"$@\"").arg(kilobytes),
                                   qEnvironmentVariable("KELVO_CONVERT_BINARY"), "large.pvg", "out/large.png"});
        };
        int enough = 1 << 22, tooLittle = 1 << 14; // in kilobytes
        while (enough - tooLittle > 256) {
            const int middle = (enough + tooLittle) / 2;
            const BinaryRun result = convertWithin(middle);
            (result.ended && result.status == 0 ? enough : tooLittle) = middle;
        }
        for (int kilobytes = enough - 256; kilobytes > enough - 8192; kilobytes -= 512) {
            const BinaryRun result = convertWithin(kilobytes);
            QVERIFY2(result.ended && (result.status == 0 || (result.status == 1 && result.err.count('\n') == 1)),
                     qPrintable(QString::number(kilobytes) + " kB: " + result.err));
        }
    }

    // A text of the largest size in a slanted fallback face would have the
    // font engine make an image of its glyph at that size (gigabytes): it is
    // filled as its outline, and converts in little memory.
    void aHugeTextTakesLittleMemory()
    {
        if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
            QSKIP("an address-sanitized program cannot start with its address space capped");
        PvgWriter huge;
        huge.fontSize(32767).textFlags(2).textPosition(2000, 1500).text("W");
        QVERIFY(huge.end().writeFile(path("huge.pvg").toStdString()));
        const BinaryRun result = run("/bin/sh", {"-c", "ulimit -v 1000000 && exec \"$0\" \"$@\"",
                                                 qEnvironmentVariable("KELVO_CONVERT_BINARY"), "huge.pvg", "out/huge.png"});
        QVERIFY2(result.ended && result.status == 0, qPrintable(result.err));
        QCOMPARE(QImage(path("out/huge.png"), "PNG").size(), QSize(1280, 975));
    }

    // The installed thumbnailer's command, run as a file manager runs it (the output has no extension);
    // a zoom area taller than wide gives its own proportions.
    void theThumbnailerEntryMakesAThumbnail()
    {
        const QString entry = readWholeFile(qEnvironmentVariable("KELVO_SOURCE_DIR") + "/app/desktop/kelvo.thumbnailer");
        QStringList words = QRegularExpression("\nExec=([^\n]*)").match(entry).captured(1).split(' ');
        QCOMPARE(words.takeFirst(), "kelvo-convert");
        words.replaceInStrings("%s", "128").replaceInStrings("%i", path("plot.pvg")).replaceInStrings("%o", path("out/thumbnail"));
        for (const auto &[zoom, size] : {std::pair(QStringList(), QSize(128, 98)), std::pair(QStringList{"--zoom=0,0,1000,2000"}, QSize(64, 128))}) {
            QCOMPARE(convert(zoom + words).status, 0);
            QCOMPARE(QImage(path("out/thumbnail"), "PNG").size(), size);
        }
        // A miniature of the usual view: the wide line is a solid band (drawn
        // at 128 wide, its pen would be a third of a pixel, pale pink).
        QCOMPARE(convert(words).status, 0);
        const QRgb middle = QImage(path("out/thumbnail"), "PNG").pixel(64, 49);
        QVERIFY2(qRed(middle) > 220 && qGreen(middle) < 40 && qBlue(middle) < 40, qPrintable(QString::number(middle, 16)));
    }
};

QTEST_GUILESS_MAIN(ConvertTest)
#include "convert_test.moc"
