// Batch exports with the real binary: the options name the output, the
// program writes it and quits by itself.

#include "tests/commands/export_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

namespace {
QImage readJpeg(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.format() == "jpeg" ? reader.read() : QImage();
}
} // namespace

class ExportCommandLineTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> root;

    QString inRoot(const QString &name) const { return root->path() + QLatin1Char('/') + name; }
    QString home() const { return inRoot(QStringLiteral("home")); }

    void makeDirectory(const QString &name) { QVERIFY(QDir(root->path()).mkpath(name)); }
    void writeDrawing(const QString &name)
    {
        QVERIFY(writeWholeFile(inRoot(name), QByteArray::fromStdString(redCrossDrawing())));
    }
    static void expectCleanExit(const KelvoRun &run)
    {
        QVERIFY2(run.finished, "kelvo did not end by itself");
        QCOMPARE(run.exitCode, 0);
    }

private Q_SLOTS:
    void init()
    {
        root = std::make_unique<QTemporaryDir>();
        QVERIFY(root->isValid());
        makeDirectory(QStringLiteral("home"));
    }

    void aJpegExportIsNamedAfterTheDocumentAndShowsTheDrawing()
    {
        writeDrawing(QStringLiteral("plot.pvg"));
        expectCleanExit(runKelvo({QStringLiteral("plot.pvg"), QStringLiteral("-c=1"),
                                  QStringLiteral("-q")},
                                 root->path(), home()));

        const QImage image = readJpeg(inRoot(QStringLiteral("plot.jpg")));
        QVERIFY(!image.isNull());
        // The view: the client width of the window, less height than the window.
        QCOMPARE(image.width(), 640);
        QVERIFY(image.height() > 300 && image.height() < 487);
        const QRgb centre = image.pixel(image.width() / 2, image.height() / 2);
        QVERIFY(qRed(centre) > 180 && qGreen(centre) < 100 && qBlue(centre) < 100);
        const QRgb corner = image.pixel(3, 3);
        QVERIFY(qRed(corner) > 230 && qGreen(corner) > 230 && qBlue(corner) > 230);
    }

    void aDocumentInADirectoryGetsItsExportBesideIt()
    {
        makeDirectory(QStringLiteral("data"));
        makeDirectory(QStringLiteral("elsewhere"));
        writeDrawing(QStringLiteral("data/run1.pvg"));
        expectCleanExit(runKelvo({inRoot(QStringLiteral("data/run1.pvg")), QStringLiteral("-c=1"),
                                  QStringLiteral("-q")},
                                 inRoot(QStringLiteral("elsewhere")), home()));
        QVERIFY(!readJpeg(inRoot(QStringLiteral("data/run1.jpg"))).isNull());
        QVERIFY(QDir(inRoot(QStringLiteral("elsewhere"))).isEmpty());
    }

    void aBareExportNameGoesIntoTheDirectoryOfCwdOption()
    {
        makeDirectory(QStringLiteral("reports"));
        makeDirectory(QStringLiteral("work"));
        writeDrawing(QStringLiteral("plot.pvg"));
        expectCleanExit(runKelvo({inRoot(QStringLiteral("plot.pvg")), QStringLiteral("-c=1"),
                                  QStringLiteral("-cf=summary"),
                                  QStringLiteral("-cwd=") + inRoot(QStringLiteral("reports")),
                                  QStringLiteral("-q")},
                                 inRoot(QStringLiteral("work")), home()));
        QVERIFY(!readJpeg(inRoot(QStringLiteral("reports/summary.jpg"))).isNull());
        QVERIFY(QDir(inRoot(QStringLiteral("work"))).isEmpty());
    }

    void aBareExportNameWithoutCwdOptionGoesIntoTheCurrentDirectory()
    {
        makeDirectory(QStringLiteral("work"));
        writeDrawing(QStringLiteral("plot.pvg"));
        expectCleanExit(runKelvo({inRoot(QStringLiteral("plot.pvg")), QStringLiteral("-c=1"),
                                  QStringLiteral("-cf=summary"), QStringLiteral("-q")},
                                 inRoot(QStringLiteral("work")), home()));
        QVERIFY(!readJpeg(inRoot(QStringLiteral("work/summary.jpg"))).isNull());
    }

    void anEpsExportWritesPostScriptAndQuits()
    {
        writeDrawing(QStringLiteral("plot.pvg"));
        expectCleanExit(runKelvo({QStringLiteral("plot.pvg"), QStringLiteral("-c=2"),
                                  QStringLiteral("-cf=out"), QStringLiteral("-q")},
                                 root->path(), home()));
        const QByteArray eps = readWholeFile(inRoot(QStringLiteral("out.eps")));
        const QByteArray header = QByteArrayLiteral(
            "%!PS-Adobe-3.0 EPSF-3.0\n"
            "%%Creator: PVG Viewer (kelvo)\n"
            "%%Title:   VORNA-generated file\n"
            "%%BoundingBox: 0 0 1024 780\n"
            "/DeviceRGB setcolorspace 0 setlinecap 0 setlinejoin 30 setmiterlimit\n"
            "5 setlinewidth\n"
            "0.25 0.25 scale\n"
            "0.00 0.00 0.00 setcolor\n");
        QVERIFY2(eps.startsWith(header), eps.left(300).constData());
        QVERIFY(eps.contains("400 1560 moveto 3700 1560 lineto "));
        QVERIFY(eps.contains("\nstroke 1.00 0.00 0.00 setcolor\n"));
        QVERIFY(eps.endsWith("\nstroke\n"));
        QVERIFY(!QFile::exists(inRoot(QStringLiteral("plot.eps"))));
    }

    void theJpegQualityIsTheSettingTimesTen()
    {
        writeDrawing(QStringLiteral("plot.pvg"));
        expectCleanExit(runKelvo({QStringLiteral("plot.pvg"), QStringLiteral("-c=1"),
                                  QStringLiteral("-cf=default"), QStringLiteral("-q")},
                                 root->path(), home()));
        QVERIFY(writeWholeFile(home() + QStringLiteral("/kelvo.cfg"),
                               QByteArrayLiteral("# lower quality\nexport_quality = 7\n")));
        expectCleanExit(runKelvo({QStringLiteral("plot.pvg"), QStringLiteral("-c=1"),
                                  QStringLiteral("-cf=seventy"), QStringLiteral("-q")},
                                 root->path(), home()));

        QCOMPARE(firstQuantisationTable(readWholeFile(inRoot(QStringLiteral("default.jpg")))),
                 expectedLuminanceTable(100));
        QCOMPARE(firstQuantisationTable(readWholeFile(inRoot(QStringLiteral("seventy.jpg")))),
                 expectedLuminanceTable(70));
    }
};

QTEST_MAIN(ExportCommandLineTest)
#include "export_cli_test.moc"
