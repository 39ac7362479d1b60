// The command-line parser and the headless prescan that must read words as it
// does; the configuration and state files on real files in a private home.
#include "app/batchmode.h"
#include "app/commandline.h"
#include "app/settingsfiles.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testfiles.h"

#include <QTest>

#include <clocale>
#include <sys/stat.h>

// The option state and the settings, as "name=value" words.
static QStringList stateWords()
{
    const SpanRect &g = windowGeometry;
    const ViewerSettingsRecord &s = ViewerSettings;
    return QString::asprintf("path=%s wp=%d,%d,%d,%d,%d,%d fromCmd=%d portrait=%d pending=%d quit=%d tmp=%d server=%s "
                             "cwd=%s exportBase=%s autosave=%d eps_scalefactor=%g eps_include_background=%d "
                             "eps_cvt_lines_to_black=%d export_quality=%d printer_paper_type=%d printer_page_size=%g,%g "
                             "printer_page_shift=%d,%d printer_min_linewidth=%d",
                             CurrentDocument.path, g.left, g.top, g.right, g.bottom, g.width, g.height,
                             geometryFromCommandLine, portraitOrientation, pendingCommands, quitWhenDone, temporaryDocument,
                             serverName, cwdOption, CurrentDocument.exportBase, s.autosave, s.eps_scalefactor,
                             s.eps_include_background, s.eps_cvt_lines_to_black, s.export_quality, s.printer_paper_type,
                             s.printer_page_size[0], s.printer_page_size[1], s.printer_page_shift[0], s.printer_page_shift[1],
                             s.printer_min_linewidth).split(' ')
           + QStringList{QString::asprintf("refused=%zu,%zu", CurrentDocument.refusedPath.size(),
                                           CurrentDocument.refusedExportBase.size())};
}

// The words as a C argument vector; it points into them.
static std::vector<const char *> argv(const QByteArrayList &words)
{
    std::vector<const char *> list;
    for (const QByteArray &word : words)
        list.push_back(word.constData());
    return list;
}

class AppTest : public QObject
{
    Q_OBJECT

    QTemporaryDir home, program;
    QStringList fresh; // stateWords() of a fresh start

    // The words that differ from a fresh start.
    QString changes() const
    {
        QStringList changed = stateWords();
        changed.removeIf([this](const QString &word) { return fresh.contains(word); });
        return changed.join(' ');
    }

private Q_SLOTS:
    // Every number is read under a locale whose decimal point is a comma; the
    // settings must not follow it. The program's own file is read only when the
    // home directory has none.
    void initTestCase()
    {
        QVERIFY2(std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr, "no German locale; see install-deps.sh");
        appDir = program.path().toLocal8Bit().toStdString();
        QVERIFY(writeFile(program.filePath("kelvo.cfg"), "printer_paper_type = 9\n"));
    }

    void init()
    {
        InProcessViewer::resetProcessState(home.path());
        fresh = stateWords();
    }

    // The state each command line leaves ("usage" when it showed the usage box),
    // and whether the prescan takes it for an unattended run: a document, a
    // command, -q and no host. Start-up parses from the second word; every parse
    // (a host sends more) clears the name, -cwd= and -tmp first.
    void commandLines_data()
    {
        QTest::addColumn<QByteArrayList>("words");
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("unattended");
        const auto row = [](const char *name, QByteArrayList words, const QString &state, bool unattended = false) {
            QTest::newRow(name) << words << state << unattended;
        };
        // Too long for their buffers: the path stays a placeholder whose load is refused, -cf= names no export.
        row("values too long are refused", {QByteArray(3000, 'n'), "-cf=" + QByteArray(3000, 'n')},
            "path=" + QByteArray(1023, 'n') + " refused=3000,3000");
        row("-wp=x,y keeps the default size; unknown words, -p inside a path and -h with more are names",
            {"a.pvg", "-wp=10,20", "-x", "plots/a-p.pvg", "-hx", "-c=2", "-q"},
            "path=-hx wp=10,20,650,507,640,487 fromCmd=1 pending=4 quit=1", true);
        row("-po=p is portrait, never set back; no command", {"a.pvg", "-po=p", "-po=l", "-q"}, "path=a.pvg portrait=1 quit=1");
        row("-c=1 replaces the print; other -c= are ignored", {"-p", "-c=3", "-c=", "-c=1"}, "pending=2");
        row("-c=1 then any word starting -p: print, then the JPEG export", {"-c=1", "-print", "-q", "a.pvg"},
            "path=a.pvg pending=3 quit=1", true);
        row("-wp= with all four values, -cf= -svrname= -cwd= -q -tmp",
            {"-cf=out/b", "-svrname=vna-1", "-wp=-5,-6,100,50", "-cwd=/x", "-quiet", "a", "-tmp", "-c=2"},
            "path=a wp=-5,-6,95,44,100,50 fromCmd=1 pending=4 quit=1 tmp=1 server=vna-1 cwd=/x exportBase=out/b");
        row("-h shows the usage", {"a.pvg", "-c=2", "-q", "-h"}, "usage path=a.pvg pending=4 quit=1");
        row("-? stops the parse", {"a.pvg", "-p", "-?x", "b.pvg", "-q"}, "usage path=a.pvg pending=1");
    }

    void commandLines()
    {
        QFETCH(QByteArrayList, words);
        QFETCH(QString, state);
        QFETCH(bool, unattended);
        const QByteArrayList allWords = QByteArrayList{"kelvo"} + words, earlierWords{"z", "-cwd=/y", "-tmp"};
        const std::vector<const char *> list = argv(allWords), earlier = argv(earlierWords); // point into the lists
        QCOMPARE(commandLineIsUnattended(int(list.size()) - 1, list.data() + 1), unattended);
        QCOMPARE(stateWords(), fresh); // the prescan leaves no trace
        parseCommandLine(int(earlier.size()), earlier.data(), 0);
        ModalAnswerer answerer;
        const QString usage = parseCommandLine(int(list.size()), list.data(), 1) == -1 ? "usage " : "";
        QCOMPARE((usage + changes()).trimmed(), state);
        QCOMPARE(answerer.titlesAndTexts().join(""), usage.isEmpty() ? "" : "KELVO Usage: kelvo pvgfile [-wp=x,y,wid,ht] "
                 "[-p] [-po=orientation] [-?] [-h]\n\n-wp=x,y,wid,ht:\twindow position\n-p:\t\tprint graph\n-q:\t\tquit "
                 "after cmd processing is complete-po=[l,p]:\tprint orientaton, l=landscape (default), p=portrait\n"
                 "[-?,-h]:\t\tprint this help\n");
        for (const SeenDialog &box : answerer.seen)
            QVERIFY(box.icon == QMessageBox::NoIcon && !box.hasParent && box.flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    }

    void configLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("settings");
        const auto row = [](const char *name, const QByteArray &content, const char *settings) {
            QTest::newRow(name) << content << QString(settings);
        };
        // A flag is on when it starts with y or Y after blanks; '#' in the first
        // column only makes a comment.
        row("the documented example; tabs, Windows line ends, no end on the last line", "# kelvo settings\r\nautosave =\t  Yes\r\n"
            "export_quality = 8\r\neps_include_background = 1\r\neps_cvt_lines_to_black = on\r\n"
            "printer_page_size = 0.9, 0.95\r\nprinter_page_shift = 30,-20",
            "autosave=1 export_quality=8 printer_page_size=0.9,0.95 printer_page_shift=30,-20");
        row("every other key", "printer_min_linewidth=5\nprinter_paper_type=2\neps_cvt_lines_to_black=y\n"
            "eps_include_background=Y\neps_scalefactor=0.5\nautosave = true\n# autosave = yes\n # export_quality = 4\n",
            "eps_scalefactor=0.5 eps_include_background=1 eps_cvt_lines_to_black=1 export_quality=4 printer_paper_type=2 "
            "printer_min_linewidth=5");
        // Integers: the leading part, none without digits, the 32-bit limit;
        // doubles: a comma is no point, inf is no number; pairs need a ','.
        row("numbers", "export_quality = abc\nprinter_min_linewidth=  +4 # thick\nprinter_paper_type = -99999999999999x\n"
            "eps_scalefactor=0,75\nprinter_page_size = -1.5e-1x,2.5\neps_scalefactor = inf\nprinter_page_shift = 5\n",
            "eps_scalefactor=0 export_quality=0 printer_paper_type=-2147483648 printer_page_size=-0.15,2.5 "
            "printer_min_linewidth=4");
    }

    void configLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, settings);
        QVERIFY(writeFile(home.filePath("kelvo.cfg"), content) && readConfigFile() == 0);
        QCOMPARE(changes(), settings);
    }

    // A FIFO is passed over, never waited on. The state is
    // stored byte for byte, whatever the version says: a short file changes only
    // the bytes it has, bytes past 35 are ignored.
    void settingsFiles()
    {
        const QString config = home.filePath("kelvo.cfg"), state = home.filePath(".kelvosettings");
        for (const QString &path : {config, state}) {
            QFile::remove(path);
            QVERIFY(mkfifo(path.toLocal8Bit().constData(), 0600) == 0);
        }
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(changes(), QString("printer_paper_type=9"));
        // A directory opens and reads as empty: the program's file is not read.
        QVERIFY(QFile::remove(config) && QDir(home.path()).mkdir("kelvo.cfg"));
        InProcessViewer::resetProcessState(home.path());
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(changes(), QString());
        QVERIFY(QDir(home.path()).rmdir("kelvo.cfg"));
        // So does a device (a settings file switched off).
        QVERIFY(QFile::link("/dev/null", config));
        QCOMPARE(readConfigFile(), 0);
        QCOMPARE(changes(), QString());
        QVERIFY(QFile::remove(config));
        QCOMPARE(readStateFile(), -1);
        QCOMPARE(writeStateFile(), -1);
        QVERIFY(QFile::remove(state));
        const auto afterReading = [&state](const QByteArray &file) {
            return writeFile(state, file) && readStateFile() == 0 && writeStateFile() == 0 ? readWholeFile(state) : "";
        };
        const QByteArray before = stateFileBytes("abcdefghij", 9, {-1, -1, -1, -1, -1, -1});
        const QByteArray file = stateFileBytes("9.9xyzabcd", 7, {0x11223344, -2, 3, -4, 5, -6}) + "trailing";
        QCOMPARE(afterReading(before), before);
        for (int length : {0, 10, 11, 15, 35, 43}) // each longer than the last, so the rest is still before's
            QCOMPARE(afterReading(file.left(length)), (file.left(length) + before.mid(length)).left(kStateFileSize));
    }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
