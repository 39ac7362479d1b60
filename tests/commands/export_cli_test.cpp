// Batch exports with the real binary, run as scripts run it, without any
// display: the options name the output, the program writes it and quits by
// itself with status 0.

#include "tests/support/pvgwriter.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first entry of a baseline JPEG's first quantisation table; -1 if none.
int firstQuantiser(const QByteArray &jpeg)
{
    const auto byteAt = [&](qsizetype i) { return i < jpeg.size() ? int(quint8(jpeg.at(i))) : -1; };
    for (qsizetype at = 2; byteAt(at) == 0xFF && byteAt(at + 1) != 0xDA;
         at += 2 + byteAt(at + 2) * 256 + byteAt(at + 3))
        if (byteAt(at + 1) == 0xDB)
            return byteAt(at + 5);
    return -1;
}
} // namespace

class ExportCommandLineTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString inRoot(const QString &name) const { return root.filePath(name); }

    // Runs kelvo in workingDirectory (relative to root) with HOME root/home and
    // no display; true when it ended by itself with status 0.
    bool runKelvo(const QStringList &arguments, const QString &workingDirectory = QString())
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        environment.insert("HOME", inRoot("home"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(inRoot(workingDirectory));
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("KELVO_BINARY"), arguments);
        if (process.waitForFinished(30000))
            return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        process.kill();
        process.waitForFinished(5000);
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *directory : {"home", "data", "work", "reports"})
            QVERIFY(QDir(root.path()).mkpath(directory));
        PvgWriter writer;
        writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100);
        writer.moveTo(400, 1560).lineTo(3700, 1560).end();
        QVERIFY(writer.writeFile(inRoot("plot.pvg").toStdString()));
        QVERIFY(writer.writeFile(inRoot("data/run1.pvg").toStdString()));
    }

    void aJpegExportIsTheViewShowingTheDrawing()
    {
        QVERIFY(runKelvo({"plot.pvg", "-c=1", "-q"}));
        const QImage image(inRoot("plot.jpg"), "JPEG");
        // The view: the client width of the window, less height than the window.
        QCOMPARE(image.width(), 640);
        QVERIFY(image.height() > 300 && image.height() < 487);
        const QRgb centre = image.pixel(image.width() / 2, image.height() / 2);
        QVERIFY(qRed(centre) > 180 && qGreen(centre) < 100 && qBlue(centre) < 100);
        QVERIFY(qGray(image.pixel(3, 3)) > 230);
    }

    void theExportIsNamedAndPlacedByTheOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("workingDirectory");
        QTest::addColumn<QString>("written");
        QTest::newRow("beside a document in a directory")
            << QStringList{inRoot("data/run1.pvg"), "-c=1", "-q"} << "work" << "data/run1.jpg";
        QTest::newRow("-cf= in the directory of -cwd=")
            << QStringList{inRoot("plot.pvg"), "-c=1", "-cf=summary", "-cwd=" + inRoot("reports"), "-q"} << "work"
            << "reports/summary.jpg";
        QTest::newRow("-cf= in the current directory")
            << QStringList{inRoot("plot.pvg"), "-c=2", "-cf=summary", "-q"} << "work" << "work/summary.eps";
    }

    void theExportIsNamedAndPlacedByTheOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, workingDirectory);
        QFETCH(QString, written);
        QVERIFY(runKelvo(arguments, workingDirectory));
        const QByteArray bytes = readWholeFile(inRoot(written));
        QVERIFY(bytes.startsWith("\xFF\xD8\xFF") || (bytes.startsWith("%!PS-Adobe") && bytes.endsWith("\nstroke\n")));
        // Nothing lands in the current directory unless it is the place named.
        const QStringList inWork = QDir(inRoot("work")).entryList(QDir::Files);
        QCOMPARE(inWork, written.startsWith("work/") ? QStringList{"summary.eps"} : QStringList{});
    }

    void theJpegQualityIsTheSettingTimesTen()
    {
        QVERIFY(runKelvo({"plot.pvg", "-c=1", "-cf=default", "-q"}));
        QFile config(inRoot("home/kelvo.cfg"));
        QVERIFY(config.open(QIODevice::WriteOnly) && config.write("export_quality = 7\n") > 0);
        config.close();
        QVERIFY(runKelvo({"plot.pvg", "-c=1", "-cf=seventy", "-q"}));
        // Quality 100 quantises by 1; 70 scales the first step of 16 to 10 (7 would give 114).
        QCOMPARE(firstQuantiser(readWholeFile(inRoot("default.jpg"))), 1);
        QCOMPARE(firstQuantiser(readWholeFile(inRoot("seventy.jpg"))), 10);
        QVERIFY(config.remove());
    }
};

QTEST_MAIN(ExportCommandLineTest)
#include "export_cli_test.moc"
