// The command-line parser and the headless prescan that must read words as it
// does; the configuration and state files on real files in a private home.
#include "app/batchmode.h"
#include "app/commandline.h"
#include "app/settingsfiles.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {
// The option state that differs from a fresh start, as one line.
QString optionSummary()
{
    QStringList parts;
    const auto add = [&](bool differs, const QString &part) { parts << (differs ? part : QString()); };
    const SpanRect &g = windowGeometry;
    add(CurrentDocument.path[0], QString("path=%1").arg(CurrentDocument.path));
    add(g.left != 200 || g.top != 200 || g.right != 840 || g.bottom != 687 || g.width != 640 || g.height != 487,
        QString("wp=%1,%2,%3,%4,%5,%6").arg(g.left).arg(g.top).arg(g.right).arg(g.bottom).arg(g.width).arg(g.height));
    add(geometryFromCommandLine, "fromCmd");
    add(portraitOrientation, "portrait");
    add(pendingCommands, QString("pending=%1").arg(pendingCommands));
    add(quitWhenDone, "quit");
    add(temporaryDocument, "tmp");
    add(serverName[0], QString("server=%1").arg(serverName));
    add(cwdOption[0], QString("cwd=%1").arg(cwdOption));
    add(CurrentDocument.exportBase[0], QString("exportBase=%1").arg(CurrentDocument.exportBase));
    parts.removeAll(QString());
    return parts.join(' ');
}

std::vector<const char *> pointers(const std::vector<std::string> &words)
{
    std::vector<const char *> list;
    for (const std::string &word : words)
        list.push_back(word.c_str());
    return list;
}

int parse(const QStringList &words, int first = 0)
{
    std::vector<std::string> storage;
    for (const QString &word : words)
        storage.push_back(word.toStdString());
    const std::vector<const char *> list = pointers(storage);
    return parseCommandLine(int(list.size()), list.data(), first);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The settings that differ from the defaults, as one line.
QString settingsSummary()
{
    const ViewerSettingsRecord d, &s = ViewerSettings;
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
    if (s.printer_page_size[0] != 1.0 || s.printer_page_size[1] != 1.0)
        parts << QString("printer_page_size=%1,%2").arg(s.printer_page_size[0]).arg(s.printer_page_size[1]);
    if (s.printer_page_shift[0] != 0 || s.printer_page_shift[1] != 0)
        parts << QString("printer_page_shift=%1,%2").arg(s.printer_page_shift[0]).arg(s.printer_page_shift[1]);
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

class AppTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home, program;
    QString config() const { return home->filePath("kelvo.cfg"); }
    QString state() const { return home->filePath(".kelvosettings"); }

private Q_SLOTS:
    void init()
    {
        InProcessViewer::resetProcessState("/tmp");
        home = std::make_unique<QTemporaryDir>();
        program = std::make_unique<QTemporaryDir>();
        copyText(homeDir, home->path().toLocal8Bit().constData());
        copyText(appDir, program->path().toLocal8Bit().constData());
    }

    void optionsFillTheState_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("state");
        const auto row = [](const char *name, QStringList words, const char *state) {
            QTest::newRow(name) << words << QString(state);
        };
        row("two names: the last wins", {"a.pvg", "b.pvg"}, "path=b.pvg");
        row("-wp=10,20 keeps the default size", {"-wp=10,20", "a.pvg"}, "path=a.pvg wp=10,20,650,507,640,487 fromCmd");
        row("-wp= with all four values", {"-wp=-5,-6,100,50"}, "wp=-5,-6,95,44,100,50 fromCmd");
        row("-wp= converting nothing still takes over", {"-wp=abc"}, "fromCmd");
        row("-wp= stops at the first bad field", {"-wp=10,x,30,40"}, "wp=10,200,650,687,640,487 fromCmd");
        row("-wp= skips blanks before a number only", {"-wp= 7, 8 ,9,9"}, "wp=7,8,647,495,640,487 fromCmd");
        row("-wp= beyond 32 bits is held at the limit", {"-wp=99999999999999999999,-99999999999"},
            "wp=2147483647,-2147483648,-2147483009,-2147483161,640,487 fromCmd");
        row("-po=l leaves landscape", {"-po=l"}, "");
        row("-po=p is portrait and never set back", {"-po=p", "-po=l"}, "portrait");
        row("-p prints, as does any word starting so", {"-print"}, "pending=1");
        row("-p then -c=1: the JPEG export replaces the print", {"-p", "-c=1"}, "pending=2");
        row("-c=1 then -p: print, then the JPEG export", {"-c=1", "-p"}, "pending=3");
        row("-c=2 asks for the EPS export only", {"-p", "-c=2"}, "pending=4");
        row("-c= with another value is ignored", {"-p", "-c=3", "-c="}, "pending=1");
        row("-cf= -svrname= -cwd= -q -tmp", {"-cf=out/b", "-svrname=vna-1", "-cwd=/x", "-quiet", "a", "-tmp"},
            "path=a quit tmp server=vna-1 cwd=/x exportBase=out/b");
        row("-x and a path with -p inside are names", {"-x", "plots/a-p.pvg"}, "path=plots/a-p.pvg");
        row("options are case-sensitive", {"-Q", "-P"}, "path=-P");
        row("-h followed by more is a name", {"-hx"}, "path=-hx");
        row("an empty word is an empty name", {"a.pvg", ""}, "");
    }

    void optionsFillTheState()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, state);
        QCOMPARE(parse(words), 0);
        QCOMPARE(optionSummary(), state);
    }

    void eachParseClearsNameCwdAndTmpButNotTheRestAndCutsLongValues()
    {
        parse({"a.pvg", "-cwd=/x", "-tmp", "-cf=base", "-po=p", "-q", "-wp=1,2", "-svrname=s", "-p"});
        QCOMPARE(parse({"kelvo"}, 1), 0); // start-up parses from the second word
        QCOMPARE(optionSummary(), QString("wp=1,2,641,489,640,487 fromCmd portrait pending=1 quit server=s exportBase=base"));
        const QString longText(3000, 'n');
        QCOMPARE(parse({longText, "-svrname=" + longText, "-cf=" + longText, "-cwd=" + longText}), 0);
        for (const char *text : {CurrentDocument.path, serverName, CurrentDocument.exportBase, cwdOption})
            QCOMPARE(std::string(text), std::string(1023, 'n'));
    }

    void helpShowsTheUsageBoxAndStops()
    {
        for (const QStringList &words : {QStringList{"-h"}, QStringList{"a.pvg", "-p", "-?x", "b.pvg", "-q"}}) {
            InProcessViewer::resetProcessState("/tmp");
            ModalAnswerer answerer;
            QCOMPARE(parse(words), -1);
            QCOMPARE(optionSummary(), QString(words.size() > 1 ? "path=a.pvg pending=1" : ""));
            QCOMPARE(answerer.seen.size(), 1);
            const SeenDialog &box = answerer.seen.first();
            QCOMPARE(box.title + "|" + box.text, "KELVO Usage|kelvo pvgfile [-wp=x,y,wid,ht] [-p] [-po=orientation] "
                     "[-?] [-h]\n\n-wp=x,y,wid,ht:\twindow position\n-p:\t\tprint graph\n-q:\t\tquit after cmd "
                     "processing is complete\n-po=[l,p]:\tprint orientaton, l=landscape (default), p=portrait\n"
                     "[-?,-h]:\t\tprint this help\n");
            QCOMPARE(box.buttons.join('|').remove('&'), QString("OK"));
            QVERIFY(box.icon == QMessageBox::NoIcon && !box.hasParent);
            QVERIFY(box.flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
        }
    }

    // The decision to run headless is taken from the raw words before the
    // parser runs: a document, a command, -q and no host, read as it reads them.
    void thePrescanReadsTheWordsAsTheParserDoes()
    {
        const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
            {{"-p", "-q", "plot.pvg"}, true},
            {{"plot.pvg", "-print", "-quiet"}, true},
            {{"plot.pvg", "-po=p", "-q"}, false},
            {{"plot.pvg", "-c=3", "-q"}, false},
            {{"plot.pvg", "-c=2", "-q", ""}, false},
            {{"plots/a-p.pvg", "-c=2", "-q"}, true},
            {{"plot.pvg", "-c=2", "-q", "-svrname=host"}, false},
            {{"plot.pvg", "-c=2", "-q", "-svrname=host", "-svrname="}, true},
            {{"-hello.pvg", "-c=2", "-q"}, true},
            {{"-h", "plot.pvg", "-c=2", "-q"}, false},
        };
        for (const auto &[words, unattended] : cases) {
            const std::vector<const char *> list = pointers(words);
            QCOMPARE(commandLineIsUnattended(int(list.size()), list.data()), unattended);
            pendingCommands = quitWhenDone = 0;
            serverName[0] = '\0';
            const bool parsed = parseCommandLine(int(list.size()), list.data(), 0, UsageBox::Skip) == 0;
            QCOMPARE(parsed && pendingCommands && quitWhenDone && CurrentDocument.path[0] && !serverName[0], unattended);
        }
    }

    void theConfigFileIsLookedForInHomeThenTheProgramDirectory()
    {
        QCOMPARE(readConfigFile(), -1);
        QVERIFY(writeFile(program->filePath("kelvo.cfg"), "export_quality = 7\n"));
        QVERIFY(QDir(home->path()).mkdir("kelvo.cfg")); // not a file: passed over
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(settingsSummary(), QString("export_quality=7"));
        QVERIFY(QDir(home->path()).rmdir("kelvo.cfg") && writeFile(config(), "export_quality = 3\n"));
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
        row("the documented example", "# kelvo settings\nautosave = yes\nexport_quality = 8\n"
            "printer_page_size = 0.9, 0.95\nprinter_page_shift = 30,-20\n",
            "autosave=1 export_quality=8 printer_page_size=0.9,0.95 printer_page_shift=30,-20");
        row("every other key", "printer_min_linewidth=5\nprinter_paper_type=2\neps_cvt_lines_to_black=y\n"
            "eps_include_background=Y\neps_scalefactor=0.5\n", "eps_scalefactor=0.5 eps_include_background=1 "
            "eps_cvt_lines_to_black=1 printer_paper_type=2 printer_min_linewidth=5");
        row("a flag skips blanks; Yes is on", "autosave =\t  Yes\n", "autosave=1");
        row("flags 1, true, on and no are off",
            "autosave = yes\nautosave = 1\neps_include_background = true\neps_cvt_lines_to_black = on\n", "");
        row("'#' in the first column only is a comment", "# autosave = yes\n # export_quality = 4\n", "export_quality=4");
        row("the earlier key in the order decides", "eps_scalefactor = 0.5 autosave = yes\n", "eps_scalefactor=0.5");
        row("keys are case-sensitive", "AUTOSAVE = yes\n", "");
        row("a key without '=' is ignored", "export_quality 5 autosave\nautosave=yes\n", "autosave=1");
        row("a key's last value counts", "export_quality = 3\nexport_quality = 6\n", "export_quality=6");
        row("the value follows the first '='", "x=4 export_quality = 9\n", "export_quality=4");
        row("integer: the leading part counts", "export_quality = -7abc\nprinter_min_linewidth=  +4 # thick\n",
            "export_quality=-7 printer_min_linewidth=4");
        row("integer: no digits read as 0", "export_quality = abc\n", "export_quality=0");
        row("integer: held at the 32-bit limit", "export_quality = 99999999999999\n", "export_quality=2147483647");
        row("double: fraction and exponent", "eps_scalefactor = -1.5e-1x\n", "eps_scalefactor=-0.15");
        row("double: a comma is not a point; inf is no number",
            "eps_scalefactor=0,75\nprinter_paper_type=1\neps_scalefactor = inf\n", "eps_scalefactor=0 printer_paper_type=1");
        row("pair: blanks around the comma", "printer_page_shift =  30 ,  -20\n", "printer_page_shift=30,-20");
        row("pair without ',' is ignored", "printer_page_shift = 5\nprinter_page_size = 0.5\n", "");
        row("pair: a missing first number reads as 0", "printer_page_shift = ,7\n", "printer_page_shift=0,7");
        row("Windows line ends; no end on the last line", "autosave = yes\r\nexport_quality = 2",
            "autosave=1 export_quality=2");
        row("a zero byte ends the line's text", QByteArray("autosave\0= yes\n", 15), "");
        row("an over-long line arrives in pieces", "#" + QByteArray(1100, 'x') + " autosave = yes\n", "autosave=1");
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
        const QList<QByteArray> pieces = {"printer_page_shift", "printer_page_size", "autosave", "eps_scalefactor",
                                          "=", ",", "#", "\n", " ", "-", "e", ".", "9999999999999999"};
        QRandomGenerator random(20240601);
        for (int round = 0; round < 30; ++round) {
            QByteArray content;
            for (const int length = random.bounded(2000); content.size() < length;)
                content += random.bounded(2) ? pieces[random.bounded(pieces.size())] : QByteArray(1, char(random.bounded(256)));
            QVERIFY(writeFile(config(), content) && writeFile(state(), content.left(random.bounded(40))));
            QCOMPARE(readConfigFile(), 0);
            QCOMPARE(readStateFile(), 0);
        }
    }

    void decimalPointIsAPointWhateverTheLocale()
    {
        QTemporaryDir locales;
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) { // not installed: build it privately
            QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.utf8")});
            qputenv("LOCPATH", locales.path().toLocal8Bit());
            if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
                QSKIP("no German locale available");
        }
        QVERIFY(writeFile(config(), "eps_scalefactor = 0.75\nprinter_page_size = 1.5,0.5\n"));
        const int result = readConfigFile();
        std::setlocale(LC_ALL, "C");
        QCOMPARE(result, 0);
        QCOMPARE(settingsSummary(), QString("eps_scalefactor=0.75 printer_page_size=1.5,0.5"));
    }

    void aStateFileRoundTripsAndStoresWhatItHas()
    {
        QCOMPARE(writeStateFile(), 0);
        QCOMPARE(readWholeFile(state()), defaultState);
        ViewerSettings.whiteBackground = 0;
        windowGeometry.setCorners(-30, 5, 70000, -2);
        QCOMPARE(writeStateFile(), 0);
        const QByteArray written = stateImage("1.0", 0, {-30, 5, 70000, -2, 70030, -7});
        QCOMPARE(readWholeFile(state()), written);
        InProcessViewer::resetProcessState(home->path());
        QCOMPARE(readStateFile(), 0);
        QCOMPARE(currentStateImage(), written);
        // Stored byte for byte, whatever the version says; bytes past 35 are ignored.
        const QByteArray before = stateImage("abcdefghij", 9, {-1, -1, -1, -1, -1, -1});
        const QByteArray file = stateImage("9.9xyzabcd", 7, {0x11223344, -2, 3, -4, 5, -6}) + "trailing";
        for (int length : {0, 1, 10, 11, 14, 15, 22, 34, 35, 43}) {
            std::memcpy(ViewerSettings.settingsVersion, before.constData(), 10);
            ViewerSettings.whiteBackground = 9;
            windowGeometry = {-1, -1, -1, -1, -1, -1};
            QVERIFY(writeFile(state(), file.left(length)));
            QCOMPARE(readStateFile(), 0);
            QCOMPARE(currentStateImage(), (file.left(length) + before.mid(length)).left(kStateFileSize));
        }
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

private:
    static QByteArray readWholeFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
