// The configuration file and the state file, read from and written to real
// files in a temporary home directory and program directory.

#include "common/optionstate.h"
#include "app/settingsfiles.h"

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
    const ViewerSettingsRecord d;
    const ViewerSettingsRecord &s = ViewerSettings;
    QStringList parts;
    const auto add = [&](const char *key, auto value, auto fallback) {
        if (value != fallback)
            parts << QString("%1=%2").arg(key).arg(value);
    };
    add("autosave", s.autosave, d.autosave);
    add("eps_scalefactor", s.eps_scalefactor, d.eps_scalefactor);
    add("eps_include_background", s.eps_include_background, d.eps_include_background);
    add("eps_cvt_lines_to_black", s.eps_cvt_lines_to_black, d.eps_cvt_lines_to_black);
    add("export_quality", s.export_quality, d.export_quality);
    add("printer_paper_type", s.printer_paper_type, d.printer_paper_type);
    const auto addPair = [&](const char *key, auto pair, auto fallback) {
        if (pair[0] != fallback || pair[1] != fallback)
            parts << QString("%1=%2,%3").arg(key).arg(pair[0]).arg(pair[1]);
    };
    addPair("printer_page_size", s.printer_page_size, 1.0);
    addPair("printer_page_shift", s.printer_page_shift, 0);
    add("printer_min_linewidth", s.printer_min_linewidth, d.printer_min_linewidth);
    return parts.join(' ');
}

// The 35 bytes of a state file; version is zero-padded to its 10 bytes.
QByteArray stateImage(const QByteArray &version, char white, const QList<qint32> &geometry)
{
    QByteArray bytes = version.leftJustified(10, '\0', true) + white;
    for (qint32 v : geometry)
        for (int i = 0; i < 4; ++i)
            bytes += char(quint32(v) >> (8 * i));
    return bytes;
}

QByteArray currentStateImage()
{
    const SpanRect &g = windowGeometry;
    return stateImage(QByteArray(ViewerSettings.settingsVersion, 10), char(ViewerSettings.whiteBackground),
                      {g.left, g.top, g.right, g.bottom, g.width, g.height});
}

const QByteArray defaultState = stateImage("1.0", 1, {200, 200, 840, 687, 640, 487});

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private:
    // Fresh directories for every test, so that no test sees another's files.
    std::unique_ptr<QTemporaryDir> home, program;
    QString config() const { return home->filePath("kelvo.cfg"); }
    QString state() const { return home->filePath(".kelvosettings"); }

private Q_SLOTS:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        program = std::make_unique<QTemporaryDir>();
        copyText(homeDir, home->path().toLocal8Bit().constData());
        copyText(appDir, program->path().toLocal8Bit().constData());
        ViewerSettings = ViewerSettingsRecord{};
        setDefaultWindowGeometry();
        geometryFromCommandLine = 0;
    }

    void theConfigFileIsLookedForInHomeThenTheProgramDirectory()
    {
        QCOMPARE(readConfigFile(), -1);
        QCOMPARE(settingsSummary(), QString());
        QVERIFY(writeFile(program->filePath("kelvo.cfg"), "export_quality = 7\n"));
        QVERIFY(QDir(home->path()).mkdir("kelvo.cfg")); // not a file: passed over
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(settingsSummary(), QString("export_quality=7"));
        QVERIFY(QDir(home->path()).rmdir("kelvo.cfg"));
        QVERIFY(writeFile(config(), "export_quality = 3\n"));
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(settingsSummary(), QString("export_quality=3"));
    }

    void configLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("settings");
        const auto row = [](const char *name, const QByteArray &content, const char *settings) {
            QTest::newRow(name) << content << QString(settings);
        };
        row("the documented example",
            "# kelvo settings\nautosave = yes\nexport_quality = 8\n"
            "printer_page_size = 0.9, 0.95\nprinter_page_shift = 30,-20\n",
            "autosave=1 export_quality=8 printer_page_size=0.9,0.95 printer_page_shift=30,-20");
        row("every other key",
            "printer_min_linewidth=5\nprinter_paper_type=2\neps_cvt_lines_to_black=y\n"
            "eps_include_background=Y\neps_scalefactor=0.5\n",
            "eps_scalefactor=0.5 eps_include_background=1 eps_cvt_lines_to_black=1 "
            "printer_paper_type=2 printer_min_linewidth=5");
        row("a flag skips blanks; Yes is on", "autosave =\t  Yes\n", "autosave=1");
        row("flags 1, true, on and no are off",
            "autosave = yes\nautosave = 1\neps_include_background = true\n"
            "eps_cvt_lines_to_black = on\n", "");
        row("'#' in the first column is a comment", "# autosave = yes\n", "");
        row("'#' after a blank is not a comment", " # autosave = yes\n", "autosave=1");
        row("the earlier key in the order decides", "eps_scalefactor = 0.5 autosave = yes\n",
            "eps_scalefactor=0.5");
        row("keys are case-sensitive", "AUTOSAVE = yes\n", "");
        row("a key without '=' is ignored", "export_quality 5 autosave\nautosave=yes\n", "autosave=1");
        row("a key's last value counts", "export_quality = 3\nexport_quality = 6\n", "export_quality=6");
        row("the value follows the first '='", "x=4 export_quality = 9\n", "export_quality=4");
        row("integer: the leading part counts",
            "export_quality = -7abc\nprinter_min_linewidth=  +4 # thick\n",
            "export_quality=-7 printer_min_linewidth=4");
        row("integer: no digits read as 0", "export_quality = abc\n", "export_quality=0");
        row("integer: held at the 32-bit limit", "export_quality = 99999999999999\n",
            "export_quality=2147483647");
        row("double: fraction and exponent", "eps_scalefactor = -1.5e-1x\n", "eps_scalefactor=-0.15");
        row("double: a comma is not a point; inf is no number",
            "eps_scalefactor=0,75\nprinter_paper_type=1\neps_scalefactor = inf\n",
            "eps_scalefactor=0 printer_paper_type=1");
        row("pair: blanks around the comma", "printer_page_shift =  30 ,  -20\n",
            "printer_page_shift=30,-20");
        row("pair without ',' is ignored", "printer_page_shift = 5\nprinter_page_size = 0.5\n", "");
        row("pair: a missing first number reads as 0", "printer_page_shift = ,7\n",
            "printer_page_shift=0,7");
        row("Windows line ends; no end on the last line", "autosave = yes\r\nexport_quality = 2",
            "autosave=1 export_quality=2");
        row("a zero byte ends the line's text", QByteArray("autosave\0= yes\n", 15), "");
        row("an over-long line arrives in pieces",
            "#" + QByteArray(1100, 'x') + " autosave = yes\n", "autosave=1");
    }

    void configLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, settings);
        QVERIFY(writeFile(config(), content));
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(settingsSummary(), settings);
    }

    void randomConfigAndStateFilesAreHarmless()
    {
        // Key names and separators mixed with random bytes, so that the parsers
        // meet their own keys in odd company.
        const QList<QByteArray> pieces = {"printer_page_shift", "printer_page_size", "autosave",
                                          "eps_scalefactor", "export_quality", "=", ",", "#",
                                          "\n", " ", "-", "e", ".", "9999999999999999"};
        QRandomGenerator random(20240601);
        for (int round = 0; round < 30; ++round) {
            QByteArray content;
            for (const int length = random.bounded(2000); content.size() < length;)
                content += random.bounded(2) ? pieces[random.bounded(pieces.size())]
                                             : QByteArray(1, char(random.bounded(256)));
            QVERIFY(writeFile(config(), content));
            QCOMPARE(readConfigFile(), 0);
            QVERIFY(writeFile(state(), content.left(random.bounded(40))));
            QCOMPARE(readStateFile(), 0);
        }
    }

    void decimalPointIsAPointWhateverTheLocale()
    {
        const char *german = std::setlocale(LC_ALL, "de_DE.UTF-8");
        QTemporaryDir locales;
        if (german == nullptr) { // not installed: build it privately
            QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.utf8")});
            qputenv("LOCPATH", locales.path().toLocal8Bit());
            german = std::setlocale(LC_ALL, "de_DE.UTF-8");
        }
        if (german == nullptr)
            QSKIP("no German locale available");
        QVERIFY(writeFile(config(), "eps_scalefactor = 0.75\nprinter_page_size = 1.5,0.5\n"));
        const int result = readConfigFile();
        std::setlocale(LC_ALL, "C");
        QCOMPARE(result, 0);
        QCOMPARE(settingsSummary(), QString("eps_scalefactor=0.75 printer_page_size=1.5,0.5"));
    }

    void aFreshStateFileHoldsTheDefaultsAndRoundTrips()
    {
        QCOMPARE(writeStateFile(), 0);
        QCOMPARE(readFile(state()), defaultState);

        ViewerSettings.whiteBackground = 0;
        windowGeometry.setCorners(-30, 5, 70000, -2);
        QCOMPARE(writeStateFile(), 0);
        const QByteArray written = readFile(state());
        QCOMPARE(written, stateImage("1.0", 0, {-30, 5, 70000, -2, 70030, -7}));
        ViewerSettings = ViewerSettingsRecord{};
        setDefaultWindowGeometry();
        QCOMPARE(readStateFile(), 0);
        QCOMPARE(currentStateImage(), written);
    }

    // Stored byte for byte, whatever the version says; bytes past 35 are ignored.
    void aStateFileStoresWhatItHas_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {0, 1, 10, 11, 14, 15, 22, 34, 35, 43})
            QTest::addRow("%d bytes", length) << length;
    }

    void aStateFileStoresWhatItHas()
    {
        QFETCH(int, length);
        const QByteArray before = stateImage("abcdefghij", 9, {-1, -1, -1, -1, -1, -1});
        const QByteArray file = stateImage("9.9xyzabcd", 7, {0x11223344, -2, 3, -4, 5, -6}) + "trailing";
        std::memcpy(ViewerSettings.settingsVersion, before.constData(), 10);
        ViewerSettings.whiteBackground = 9;
        windowGeometry = {-1, -1, -1, -1, -1, -1};
        QVERIFY(writeFile(state(), file.left(length)));
        QCOMPARE(readStateFile(), 0);
        QCOMPARE(currentStateImage(), (file.left(length) + before.mid(length)).left(kStateFileSize));
    }

    void geometryFromTheCommandLineIsNotOverwritten()
    {
        QVERIFY(writeFile(state(), stateImage("2.0", 0, {1, 2, 3, 4, 5, 6})));
        windowGeometry.setCorners(10, 20, 650, 507);
        geometryFromCommandLine = 1;
        QCOMPARE(readStateFile(), 0);
        QCOMPARE(currentStateImage(), stateImage("2.0", 0, {10, 20, 650, 507, 640, 487}));
    }

    void unusableStateFilesChangeNothingAndNeverHang()
    {
        QCOMPARE(readStateFile(), -1); // missing
        QVERIFY(QDir(home->path()).mkdir(".kelvosettings"));
        QCOMPARE(readStateFile(), -1);
        QCOMPARE(writeStateFile(), -1);
        QVERIFY(QDir(home->path()).rmdir(".kelvosettings"));
        for (const QString &path : {state(), config()})
            QVERIFY(mkfifo(path.toLocal8Bit().constData(), 0600) == 0);
        QCOMPARE(readStateFile(), -1);
        QCOMPARE(writeStateFile(), -1);
        QCOMPARE(readConfigFile(), -1);
        QCOMPARE(currentStateImage(), defaultState);
        QCOMPARE(settingsSummary(), QString());
        copyText(homeDir, home->filePath("no/such/dir").toLocal8Bit().constData());
        QCOMPARE(writeStateFile(), -1);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
