// The real kelvo binary run as scripts run it, without any display: exports
// named and placed by the options, the JPEG quality, frames at device pixels,
// failures reported through standard error and the exit status, and starts
// that still need a display.
#include "tests/support/pvgwriter.h"
#include "tests/support/testfiles.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <unistd.h>

// The first entry of a baseline JPEG's first quantisation table; -1 if none.
static int firstQuantiser(const QByteArray &jpeg)
{
    const auto byteAt = [&](qsizetype i) { return i < jpeg.size() ? int(quint8(jpeg.at(i))) : -1; };
    for (qsizetype at = 2; byteAt(at) == 0xFF && byteAt(at + 1) != 0xDA; at += 2 + byteAt(at + 2) * 256 + byteAt(at + 3))
        if (byteAt(at + 1) == 0xDB)
            return byteAt(at + 5);
    return -1;
}

class BatchTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString path(const QString &name) const { return root.filePath(name); }
    // A drawing whose path is as long as a path may be (1023 bytes): a longer
    // word that starts with it must not be taken for it.
    QString longest() const
    {
        QString directory = path("deep");
        while (directory.size() < 1023 - 260)
            directory += '/' + QString(200, 'd');
        return directory + '/' + QString(1023 - directory.size() - 5, 'k') + ".pvg";
    }

    // In root/work, without DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM, with
    // HOME root/home and a printing system that is not there; then each of
    // changes set, or taken out when its value is empty; after the shell
    // commands before when given (limits, another directory; they may name
    // a copy of the binary to run instead in $program).
    BinaryRun runKelvo(const QStringList &arguments, const QList<QPair<QString, QString>> &changes = {},
                       int waitMs = 60000, const QString &before = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        environment.insert("HOME", path("home"));
        environment.insert("CUPS_SERVER", path("no-scheduler.sock"));
        for (const auto &[name, value] : changes) {
            if (value.isEmpty())
                environment.remove(name);
            else
                environment.insert(name, value);
        }
        if (!before.isEmpty())
            return runBinary(QStringList{"-c", before + " && exec \"${program:-$0}\" \"$@\"", qEnvironmentVariable("KELVO_BINARY")} + arguments,
                             path("work"), environment, "/bin/sh", waitMs);
        return runBinary(arguments, path("work"), environment, qEnvironmentVariable("KELVO_BINARY"), waitMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        PvgWriter writer;
        writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100).moveTo(400, 1560).lineTo(3700, 1560).end();
        for (const char *name : {"plot.pvg", "data/run1.pvg", "work/plot.pvg", "reports/plot.pvg"})
            QVERIFY(writeFile(path(name), QByteArray::fromStdString(writer.bytes())));
        QVERIFY(QDir().mkpath(QFileInfo(longest()).path()) && longest().size() == 1023
                && writeFile(longest(), QByteArray::fromStdString(writer.bytes())));
    }

    // A script that picks the offscreen platform itself, outside a login
    // session, reads nothing from a successful export: not the toolkit's
    // notes on size hints or on a runtime directory of its own. A box there
    // could never be answered: its words reach the script, and the run ends
    // as it would once Ok had been pressed (with an ordinary run's status).
    void aCallersOffscreenRunStaysQuietAndNeverWaitsOnABox()
    {
        const QList<QPair<QString, QString>> offscreen{{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", ""}};
        BinaryRun run = runKelvo({"plot.pvg", "-c=1", "-cf=quiet", "-q"}, offscreen);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.isEmpty(), run.err);
        QVERIFY(QFile::remove(path("work/quiet.jpg")));
        run = runKelvo({"missing.pvg", "-c=2", "-cf=none", "-q"}, offscreen, 20000);
        QVERIFY2(run.ended, "waits on a box nobody sees");
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QByteArray("kelvo: Error: Error opening file.\n"));
    }

    // Each export lands where the options say and nowhere else. A JPEG is the
    // view, at ten times the export_quality setting: quality 100 quantises by 1;
    // 70 scales the first step of 16 to 10. A load's error box, a failed export
    // and a failed print reach scripts as a message and status 1. A start that
    // needs a user still needs a display: the toolkit gives up (a crash, status
    // -1) before any export; the prescan's other cases are in app_test.
    void runsAsScriptsSeeThem_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message"); // on standard error; none when empty
        QTest::addColumn<QString>("written");
        QTest::addColumn<int>("quantiser");
        const auto row = [](const char *name, const QStringList &arguments, int status, const char *message,
                            const QString &written = {}, int quantiser = -1, const QByteArray &config = {}) {
            QTest::newRow(name) << arguments << config << status << QString(message) << written << quantiser;
        };
        row("beside a document in a directory", {path("data/run1.pvg"), "-c=1", "-q"}, 0, "", "data/run1.jpg", 1);
        row("-cf= in the directory of -cwd=", {"plot.pvg", "-c=1", "-cf=summary", "-cwd=" + path("reports"), "-q"}, 0, "",
            "reports/summary.jpg", 10, "export_quality = 7\n");
        row("-cf= in the current directory", {path("plot.pvg"), "-c=2", "-cf=summary", "-q"}, 0, "", "work/summary.eps");
        row("missing file", {"missing.pvg", "-c=2", "-cf=bad", "-q"}, 1, "kelvo: Error: Error opening file.");
        // Too long to load is too long to name an export after: the run still ends.
        row("a document path too long", {QString(1030, 'c') + ".pvg", "-c=1", "-q"}, 1,
            "kelvo: Error: Export file name too long: ");
        row("a word too long is not cut to another document", {longest() + "_copy.pvg", "-c=2", "-cf=cut", "-q"}, 1,
            "kelvo: Error: Error opening file.");
        row("unwritable EPS", {"plot.pvg", "-c=2", "-cf=nodir/out", "-q"}, 1, "kelvo: Export failed for file: nodir/out.eps");
        row("unwritable JPEG", {"plot.pvg", "-c=1", "-cf=nodir/out", "-q"}, 1,
            "kelvo: Save failed: Export failed for file: nodir/out.jpg");
        row("no printing system", {"plot.pvg", "-p", "-q"}, 1, "kelvo: Print failed");
        row("no document: the Open dialog", {"-c=2", "-cf=bad", "-q"}, -1, "platform plugin");
        row("toolkit option", {"-reverse", "plot.pvg", "-c=2", "-cf=bad", "-q"}, -1, "platform plugin");
    }

    void runsAsScriptsSeeThem()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, config);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QString, written);
        QFETCH(int, quantiser);
        QVERIFY(writeFile(path("home/kelvo.cfg"), config)); // empty: the defaults
        const BinaryRun run = runKelvo(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(message.isEmpty() ? run.err.isEmpty() : QString::fromLocal8Bit(run.err).contains(message), run.err);
        // Nothing lands in the current directory unless it is the place named.
        QCOMPARE(QDir(path("work")).entryList({"*.jpg", "*.eps"}, QDir::Files),
                 written.startsWith("work/") ? QStringList{"summary.eps"} : QStringList{});
        if (written.isEmpty())
            return;
        const QByteArray bytes = readWholeFile(path(written));
        QVERIFY(QFile::remove(path(written)));
        QCOMPARE(firstQuantiser(bytes), quantiser);
        const QImage image = QImage::fromData(bytes, "JPEG");
        if (quantiser < 0)
            QVERIFY(bytes.startsWith("%!PS-Adobe"));
        else // the view: the window's client width, less than its height
            QVERIFY(image.width() == 640 && image.height() > 300 && image.height() < 487);
    }

    // A bare -cf= name lands in the working directory as the system names it,
    // also when that name is not UTF-8; a removed one takes no export (and
    // says so: the root does not stand in for it).
    void aBareNameStaysInTheWorkingDirectory()
    {
        BinaryRun run = runKelvo({path("plot.pvg"), "-c=2", "-cf=odd", "-q"}, {}, 60000,
                                 "mkdir -p \"$(printf 'n\\377')\" && cd \"$(printf 'n\\377')\"");
        QCOMPARE(run.status, 0);
        const QByteArray odd = path("work").toLocal8Bit() + "/n\xff";
        QVERIFY(::unlink(odd + "/odd.eps") == 0 && ::rmdir(odd) == 0); // the toolkit could not
        run = runKelvo({path("plot.pvg"), "-c=2", "-cf=kelvo-gone", "-q"}, {}, 60000, "mkdir gone && cd gone && rmdir ../gone");
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QByteArray("kelvo: Export failed for file: kelvo-gone.eps\n"));
    }

    // A JPEG whose frame cannot be drawn (no thread can have its stack) is a
    // failed export, not a blank picture.
    void aJpegWithoutItsFrameFails()
    {
        if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
            QSKIP("an address-sanitized program cannot start with its address space capped");
        const BinaryRun run = runKelvo({"plot.pvg", "-c=1", "-cf=unmade", "-q"}, {}, 60000, "ulimit -s 800000 && ulimit -v 2000000");
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("kelvo: Save failed: Export failed for file: "), run.err);
        QVERIFY(!QFile::exists(path("work/unmade.jpg")));
    }

    // The program's own settings file is found beside it whatever bytes its
    // directory's name holds (here one that is not UTF-8).
    void theProgramsSettingsAreFoundInAnyDirectory()
    {
        QVERIFY(QFile::remove(path("home/kelvo.cfg")));
        const BinaryRun run = runKelvo({path("plot.pvg"), "-c=2", "-cf=halved", "-q"}, {}, 60000,
                                       "d=\"$(printf 'bin\\377')\" && mkdir \"$d\" && cp \"$0\" \"$d\" && program=\"$d/${0##*/}\""
                                       " && echo 'eps_scalefactor = 0.5' > \"$d/kelvo.cfg\"");
        const QByteArray odd = path("work").toLocal8Bit() + "/bin\xff/"; // the toolkit cannot remove it
        const QByteArray copy = odd + QFileInfo(qEnvironmentVariable("KELVO_BINARY")).fileName().toLocal8Bit();
        QVERIFY(::unlink(copy) == 0 && ::unlink(odd + "kelvo.cfg") == 0 && ::rmdir(odd) == 0);
        QCOMPARE(run.status, 0);
        QVERIFY(readWholeFile(path("work/halved.eps")).contains("%%BoundingBox: 0 0 2048 1560\n"));
        QVERIFY(QFile::remove(path("work/halved.eps")) && writeFile(path("home/kelvo.cfg"), {}));
    }

    // Under a device pixel ratio of 2 the view's frame is drawn at device
    // pixels, not stretched from the window's: the JPEG is twice as wide and
    // tall, a one-pixel pen's lines are twice as long but no wider, a pen
    // given in page units grows both ways.
    void aScreenOfPixelRatioTwoGetsFramesAtDevicePixels()
    {
        for (const auto &[width, growth] : {std::pair(0, 2.0), std::pair(4, 4.0)}) {
            PvgWriter writer;
            writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(width);
            for (int i = 0; i < 8; ++i)
                writer.moveTo(300 + 400 * i, 200).lineTo(500 + 400 * i, 2900);
            QVERIFY(writeFile(path("work/lines.pvg"), QByteArray::fromStdString(writer.end().bytes())));
            double ink[2] = {0, 0};
            QImage images[2];
            for (int i = 0; i < 2; ++i) {
                QCOMPARE(runKelvo({"lines.pvg", "-wp=0,0,640,487", "-c=1", "-q"}, {{"QT_SCALE_FACTOR", i == 0 ? "1" : "2"}}).status, 0);
                images[i] = QImage(path("work/lines.jpg")).convertToFormat(QImage::Format_RGB32);
                QVERIFY(QFile::remove(path("work/lines.jpg")));
                for (int y = 0; y < images[i].height(); ++y)
                    for (int x = 0; x < images[i].width(); ++x)
                        ink[i] += 510 - qGreen(images[i].pixel(x, y)) - qBlue(images[i].pixel(x, y));
            }
            QCOMPARE(images[1].size(), images[0].size() * 2);
            QVERIFY2(std::fabs(ink[1] / ink[0] / growth - 1) < 0.1, qPrintable(QString::number(ink[1] / ink[0])));
        }
    }
};

QTEST_GUILESS_MAIN(BatchTest)
#include "batch_test.moc"
