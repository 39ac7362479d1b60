// The configuration file and the state file, read from and written to real
// files in a temporary home directory and program directory.

#include "app/optionstate.h"
#include "app/viewersettings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The settings that differ from the defaults, as one line.
QString settingsSummary()
{
    const ViewerSettingsRecord defaults;
    const ViewerSettingsRecord &s = ViewerSettings;
    QStringList parts;
    if (s.autosave != defaults.autosave)
        parts << QString("autosave=%1").arg(s.autosave);
    if (s.eps_scalefactor != defaults.eps_scalefactor)
        parts << QString("eps_scalefactor=%1").arg(s.eps_scalefactor);
    if (s.eps_include_background != defaults.eps_include_background)
        parts << QString("eps_include_background=%1").arg(s.eps_include_background);
    if (s.eps_cvt_lines_to_black != defaults.eps_cvt_lines_to_black)
        parts << QString("eps_cvt_lines_to_black=%1").arg(s.eps_cvt_lines_to_black);
    if (s.export_quality != defaults.export_quality)
        parts << QString("export_quality=%1").arg(s.export_quality);
    if (s.printer_paper_type != defaults.printer_paper_type)
        parts << QString("printer_paper_type=%1").arg(s.printer_paper_type);
    if (s.printer_page_size[0] != 1.0 || s.printer_page_size[1] != 1.0)
        parts << QString("printer_page_size=%1,%2").arg(s.printer_page_size[0]).arg(s.printer_page_size[1]);
    if (s.printer_page_shift[0] != 0 || s.printer_page_shift[1] != 0)
        parts << QString("printer_page_shift=%1,%2")
                     .arg(s.printer_page_shift[0])
                     .arg(s.printer_page_shift[1]);
    if (s.printer_min_linewidth != defaults.printer_min_linewidth)
        parts << QString("printer_min_linewidth=%1").arg(s.printer_min_linewidth);
    return parts.join(' ');
}

QByteArray littleEndian(qint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(quint32(value) >> (8 * i));
    return bytes;
}

// version is zero-padded to its 10 bytes.
QByteArray stateImage(const char *version, char white, const QList<qint32> &geometry)
{
    QByteArray bytes(10, '\0');
    std::memcpy(bytes.data(), version, qMin<size_t>(std::strlen(version), 10));
    bytes += white;
    for (qint32 v : geometry)
        bytes += littleEndian(v);
    return bytes;
}

QByteArray currentStateImage()
{
    QByteArray bytes(ViewerSettings.settingsVersion, 10);
    bytes += char(ViewerSettings.whiteBackground);
    const SpanRect &g = windowGeometry;
    for (qint32 v : {g.left, g.top, g.right, g.bottom, g.width, g.height})
        bytes += littleEndian(v);
    return bytes;
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private:
    // Fresh directories for every test, so that no test sees another's files.
    std::unique_ptr<QTemporaryDir> homeHolder;
    std::unique_ptr<QTemporaryDir> programHolder;

    QString homeFile(const char *name) const { return homeHolder->filePath(name); }

private Q_SLOTS:
    void init()
    {
        homeHolder = std::make_unique<QTemporaryDir>();
        programHolder = std::make_unique<QTemporaryDir>();
        QVERIFY(homeHolder->isValid() && programHolder->isValid());
        QTemporaryDir &home = *homeHolder;
        QTemporaryDir &program = *programHolder;
        copyText(homeDir, home.path().toLocal8Bit().constData());
        copyText(appDir, program.path().toLocal8Bit().constData());
        ViewerSettings = ViewerSettingsRecord{};
        setDefaultWindowGeometry();
        geometryFromCommandLine = 0;
    }

    // Configuration file

    void configInHomeIsReadAndTheProgramDirectoryIgnored()
    {
        QVERIFY(writeFile(homeFile("kelvo.cfg"), "export_quality = 3\n"));
        QVERIFY(writeFile(programHolder->filePath("kelvo.cfg"), "export_quality = 7\nautosave = yes\n"));
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(settingsSummary(), QString("export_quality=3"));
    }

    void configInTheProgramDirectoryWhenHomeHasNone()
    {
        QVERIFY(writeFile(programHolder->filePath("kelvo.cfg"), "export_quality = 7\n"));
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(settingsSummary(), QString("export_quality=7"));
    }

    void noConfigFileLeavesTheDefaults()
    {
        QCOMPARE(readConfigFile(), -1);
        QCOMPARE(settingsSummary(), QString());
    }

    void aDirectoryNamedLikeTheConfigFileIsPassedOver()
    {
        QVERIFY(QDir(homeHolder->path()).mkdir("kelvo.cfg"));
        QVERIFY(writeFile(programHolder->filePath("kelvo.cfg"), "export_quality = 7\n"));
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(settingsSummary(), QString("export_quality=7"));
        QDir(homeHolder->path()).rmdir("kelvo.cfg");
    }

    void aFifoNamedLikeTheConfigFileDoesNotHang()
    {
        QVERIFY(mkfifo(homeFile("kelvo.cfg").toLocal8Bit().constData(), 0600) == 0);
        QCOMPARE(readConfigFile(), -1);
        QCOMPARE(settingsSummary(), QString());
    }

    void configLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("settings");

        QTest::newRow("the documented example")
            << QByteArray("# kelvo settings\nautosave = yes\nexport_quality = 8\n"
                          "printer_page_size = 0.9, 0.95\nprinter_page_shift = 30,-20\n")
            << "autosave=1 export_quality=8 printer_page_size=0.9,0.95 printer_page_shift=30,-20";
        QTest::newRow("every key") << QByteArray("printer_min_linewidth=5\nprinter_paper_type=2\n"
                                                 "eps_cvt_lines_to_black=y\neps_include_background=Y\n"
                                                 "eps_scalefactor=0.5\n")
                                   << "eps_scalefactor=0.5 eps_include_background=1 "
                                      "eps_cvt_lines_to_black=1 printer_paper_type=2 "
                                      "printer_min_linewidth=5";
        QTest::newRow("autosave=Yes is on") << QByteArray("autosave=Yes\n") << "autosave=1";
        QTest::newRow("a flag skips blanks") << QByteArray("autosave =\t  y\n") << "autosave=1";
        QTest::newRow("autosave = 1 is off") << QByteArray("autosave = yes\nautosave = 1\n") << "";
        QTest::newRow("true, on and no are off")
            << QByteArray("eps_include_background = true\neps_cvt_lines_to_black = on\n"
                          "autosave = no\n")
            << "";
        QTest::newRow("'#' in the first column is a comment") << QByteArray("# autosave = yes\n") << "";
        QTest::newRow("'#' after a blank is not a comment")
            << QByteArray(" # autosave = yes\n") << "autosave=1";
        QTest::newRow("the earlier key in the order decides")
            << QByteArray("eps_scalefactor = 0.5 autosave = yes\n") << "eps_scalefactor=0.5";
        QTest::newRow("keys are case-sensitive") << QByteArray("AUTOSAVE = yes\n") << "";
        QTest::newRow("a key without '=' is ignored and decides its line")
            << QByteArray("export_quality 5 autosave\nautosave=yes\n") << "autosave=1";
        QTest::newRow("a key's last value counts")
            << QByteArray("export_quality = 3\nexport_quality = 6\n") << "export_quality=6";
        QTest::newRow("the value follows the first '=' of the line")
            << QByteArray("x=4 export_quality = 9\n") << "export_quality=4";
        QTest::newRow("integer: the leading part counts")
            << QByteArray("export_quality = -7abc\nprinter_min_linewidth=  +4 # thick\n")
            << "export_quality=-7 printer_min_linewidth=4";
        QTest::newRow("integer: no digits read as 0") << QByteArray("export_quality = abc\n")
                                                      << "export_quality=0";
        QTest::newRow("integer: beyond 32 bits held at the limit")
            << QByteArray("export_quality = 99999999999999\n") << "export_quality=2147483647";
        QTest::newRow("double: fraction and exponent")
            << QByteArray("eps_scalefactor = -1.5e-1x\n") << "eps_scalefactor=-0.15";
        QTest::newRow("double: no leading digit") << QByteArray("eps_scalefactor = .5\n")
                                                  << "eps_scalefactor=0.5";
        QTest::newRow("double: a comma is not a decimal point")
            << QByteArray("eps_scalefactor=0,75\n") << "eps_scalefactor=0";
        QTest::newRow("double: no number reads as 0") << QByteArray("eps_scalefactor = inf\n")
                                                      << "eps_scalefactor=0";
        QTest::newRow("pair: blanks around the comma")
            << QByteArray("printer_page_shift =  30 ,  -20\n") << "printer_page_shift=30,-20";
        QTest::newRow("pair without ',' is ignored")
            << QByteArray("printer_page_shift = 5\nprinter_page_size = 0.5\n") << "";
        QTest::newRow("pair: a missing first number reads as 0")
            << QByteArray("printer_page_shift = ,7\n") << "printer_page_shift=0,7";
        QTest::newRow("Windows line ends") << QByteArray("autosave = yes\r\nexport_quality = 2\r\n")
                                           << "autosave=1 export_quality=2";
        QTest::newRow("the last line needs no line end") << QByteArray("export_quality = 4")
                                                         << "export_quality=4";
        QTest::newRow("a zero byte ends the line's text")
            << QByteArray("autosave\0= yes\n", 15) << "";
        QTest::newRow("an over-long line arrives in pieces")
            << QByteArray("#" + QByteArray(1100, 'x') + " autosave = yes\n") << "autosave=1";
        QTest::newRow("binary junk") << QByteArray("\x01\xff\xfe=\x80=\n\n\n=", 10) << "";
    }

    void configLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, settings);
        QVERIFY(writeFile(homeFile("kelvo.cfg"), content));
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(settingsSummary(), settings);
    }

    void randomConfigAndStateFilesAreHarmless()
    {
        // Key names and separators mixed with random bytes, so that the parsers
        // meet their own keys in odd company.
        const QList<QByteArray> pieces = {"printer_page_shift", "printer_page_size", "autosave",
                                          "eps_scalefactor", "export_quality", "=", ",", "#",
                                          "\n", " ", "-", "+", "e", ".", "9999999999999999"};
        QRandomGenerator random(20240601);
        for (int round = 0; round < 300; ++round) {
            QByteArray content;
            const int length = random.bounded(2000);
            while (content.size() < length) {
                if (random.bounded(2) == 0)
                    content += pieces[random.bounded(pieces.size())];
                else
                    content += char(random.bounded(256));
            }
            QVERIFY(writeFile(homeFile("kelvo.cfg"), content));
            QCOMPARE(readConfigFile(), 0);
            QVERIFY(writeFile(homeFile(".kelvosettings"), content.left(random.bounded(40))));
            QCOMPARE(readStateFile(), 0);
        }
    }

    void decimalPointIsAPointWhateverTheLocale()
    {
        // German writes "0,75"; the file's "0.75" must still read as 0.75.
        const char *german = std::setlocale(LC_ALL, "de_DE.UTF-8");
        QTemporaryDir locales;
        if (german == nullptr) {
            // Not installed: build it privately (the locales package has its source).
            QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8",
                                            locales.filePath("de_DE.utf8")});
            qputenv("LOCPATH", locales.path().toLocal8Bit());
            german = std::setlocale(LC_ALL, "de_DE.UTF-8");
        }
        if (german == nullptr)
            QSKIP("no German locale available");
        QCOMPARE(std::localeconv()->decimal_point[0], ',');
        QVERIFY(writeFile(homeFile("kelvo.cfg"), "eps_scalefactor = 0.75\nprinter_page_size = 1.5,0.5\n"));
        const int result = readConfigFile();
        std::setlocale(LC_ALL, "C");
        QCOMPARE(result, 0);
        QCOMPARE(ViewerSettings.eps_scalefactor, 0.75);
        QCOMPARE(ViewerSettings.printer_page_size[0], 1.5);
        QCOMPARE(ViewerSettings.printer_page_size[1], 0.5);
    }

    // State file

    void aFreshStateFileHoldsTheDefaults()
    {
        QCOMPARE(writeStateFile(), 0);
        const QByteArray expected = stateImage("1.0", 1, {200, 200, 840, 687, 640, 487});
        QCOMPARE(expected.size(), 35);
        QCOMPARE(readFile(homeFile(".kelvosettings")), expected);
        QVERIFY(readFile(homeFile(".kelvosettings")).startsWith(QByteArray("1.0\0\0\0\0\0\0\0", 10)));
    }

    void theStateFileRoundTrips()
    {
        ViewerSettings.whiteBackground = 0;
        windowGeometry.setCorners(-30, 5, 70000, -2);
        QCOMPARE(writeStateFile(), 0);
        const QByteArray written = readFile(homeFile(".kelvosettings"));
        QCOMPARE(written, stateImage("1.0", 0, {-30, 5, 70000, -2, 70030, -7}));

        ViewerSettings = ViewerSettingsRecord{};
        setDefaultWindowGeometry();
        QCOMPARE(readStateFile(), 0);
        QCOMPARE(currentStateImage(), written);
    }

    void theStateFileIsReadAsItIs()
    {
        const QByteArray image = stateImage("9.9xyzabcd", 7, {1, -2, 3, -4, 5, -6});
        QVERIFY(writeFile(homeFile(".kelvosettings"), image + "trailing bytes are ignored"));
        QCOMPARE(readStateFile(), 0);
        QCOMPARE(currentStateImage(), image);
    }

    void aShortStateFileStoresWhatItHas_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {0, 1, 9, 10, 11, 12, 14, 15, 22, 34})
            QTest::addRow("%d bytes", length) << length;
    }

    void aShortStateFileStoresWhatItHas()
    {
        QFETCH(int, length);
        const QByteArray before = stateImage("abcdefghij", 9, {-1, -1, -1, -1, -1, -1});
        const QByteArray file = stateImage("1.0", 0, {0x11223344, 2, 3, 4, 5, 6});
        std::memcpy(ViewerSettings.settingsVersion, before.constData(), 10);
        ViewerSettings.whiteBackground = 9;
        windowGeometry = {-1, -1, -1, -1, -1, -1};

        QVERIFY(writeFile(homeFile(".kelvosettings"), file.left(length)));
        QCOMPARE(readStateFile(), 0);
        QCOMPARE(currentStateImage(), file.left(length) + before.mid(length));
    }

    void geometryFromTheCommandLineIsNotOverwritten()
    {
        QVERIFY(writeFile(homeFile(".kelvosettings"),
                          stateImage("2.0", 0, {1, 2, 3, 4, 5, 6})));
        windowGeometry.setCorners(10, 20, 650, 507);
        geometryFromCommandLine = 1;
        QCOMPARE(readStateFile(), 0);
        QCOMPARE(currentStateImage(), stateImage("2.0", 0, {10, 20, 650, 507, 640, 487}));
    }

    void aMissingStateFileChangesNothing()
    {
        QCOMPARE(readStateFile(), -1);
        QCOMPARE(currentStateImage(), stateImage("1.0", 1, {200, 200, 840, 687, 640, 487}));
        QVERIFY(QDir(homeHolder->path()).mkdir(".kelvosettings"));
        QCOMPARE(readStateFile(), -1);
        QCOMPARE(writeStateFile(), -1);
        QDir(homeHolder->path()).rmdir(".kelvosettings");
    }

    void aStateFileThatCannotBeCreatedIsNotWritten()
    {
        copyText(homeDir, homeHolder->filePath("no/such/dir").toLocal8Bit().constData());
        QCOMPARE(writeStateFile(), -1);
    }

    void aFifoNamedLikeTheStateFileDoesNotHang()
    {
        QVERIFY(mkfifo(homeFile(".kelvosettings").toLocal8Bit().constData(), 0600) == 0);
        QCOMPARE(readStateFile(), -1);
        QCOMPARE(writeStateFile(), -1);
        QFile::remove(homeFile(".kelvosettings"));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
