// The command-line parser, in-process: every option of the table, its order
// and the state it leaves, and the usage box.

#include "app/commandline.h"
#include "app/optionstate.h"
#include "commands/currentdocument.h"
#include "tests/support/modalanswerer.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTest>

#include <cstring>

#include <string>
#include <vector>

namespace {

const char expectedUsage[] =
    "kelvo pvgfile [-wp=x,y,wid,ht] [-p] [-po=orientation] [-?] [-h]\n\n"
    "-wp=x,y,wid,ht:\twindow position\n"
    "-p:\t\tprint graph\n"
    "-q:\t\tquit after cmd processing is complete\n"
    "-po=[l,p]:\tprint orientaton, l=landscape (default), p=portrait\n"
    "[-?,-h]:\t\tprint this help\n";

void resetOptions()
{
    setDefaultWindowGeometry();
    geometryFromCommandLine = 0;
    portraitOrientation = 0;
    pendingCommands = 0;
    quitWhenDone = 0;
    temporaryDocument = 0;
    serverName[0] = '\0';
    cwdOption[0] = '\0';
    CurrentDocument.path[0] = '\0';
    CurrentDocument.exportBase[0] = '\0';
}

// The option state that differs from the defaults, as one line.
QString optionSummary()
{
    QStringList parts;
    if (CurrentDocument.path[0])
        parts << QString("path=%1").arg(CurrentDocument.path);
    const SpanRect &g = windowGeometry;
    if (g.left != 200 || g.top != 200 || g.right != 840 || g.bottom != 687 || g.width != 640
        || g.height != 487)
        parts << QString("wp=%1,%2,%3,%4,%5,%6")
                     .arg(g.left).arg(g.top).arg(g.right).arg(g.bottom).arg(g.width).arg(g.height);
    if (geometryFromCommandLine)
        parts << QString("fromCmd=%1").arg(geometryFromCommandLine);
    if (portraitOrientation)
        parts << QString("portrait=%1").arg(portraitOrientation);
    if (pendingCommands)
        parts << QString("pending=%1").arg(pendingCommands);
    if (quitWhenDone)
        parts << QString("quit=%1").arg(int(quitWhenDone));
    if (temporaryDocument)
        parts << QString("tmp=%1").arg(int(temporaryDocument));
    if (serverName[0])
        parts << QString("server=%1").arg(serverName);
    if (cwdOption[0])
        parts << QString("cwd=%1").arg(cwdOption);
    if (CurrentDocument.exportBase[0])
        parts << QString("exportBase=%1").arg(CurrentDocument.exportBase);
    return parts.join(' ');
}

int parse(const QStringList &words, int first = 0)
{
    std::vector<std::string> storage;
    for (const QString &w : words)
        storage.push_back(w.toStdString());
    std::vector<const char *> pointers;
    for (const std::string &s : storage)
        pointers.push_back(s.c_str());
    return parseCommandLine(int(pointers.size()), pointers.data(), first);
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetOptions(); }

    void optionsFillTheState_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("state");

        QTest::newRow("no words") << QStringList{} << "";
        QTest::newRow("two names: the last wins") << QStringList{"a.pvg", "b.pvg"} << "path=b.pvg";
        QTest::newRow("-wp=10,20 keeps the default size")
            << QStringList{"-wp=10,20", "a.pvg"} << "path=a.pvg wp=10,20,650,507,640,487 fromCmd=1";
        QTest::newRow("-wp= with all four values")
            << QStringList{"-wp=1,2,3,4"} << "wp=1,2,4,6,3,4 fromCmd=1";
        QTest::newRow("-wp= with negative values")
            << QStringList{"-wp=-5,-6,100,50"} << "wp=-5,-6,95,44,100,50 fromCmd=1";
        QTest::newRow("-wp= that converts nothing still takes over the geometry")
            << QStringList{"-wp=abc"} << "fromCmd=1";
        QTest::newRow("-wp= stops at the first field that does not convert")
            << QStringList{"-wp=10,x,30,40"} << "wp=10,200,650,687,640,487 fromCmd=1";
        QTest::newRow("-wp= skips blanks before a number but not before a comma")
            << QStringList{"-wp= 7, 8 ,9,9"} << "wp=7,8,647,495,640,487 fromCmd=1";
        QTest::newRow("-wp= values beyond 32 bits are held at the limit")
            << QStringList{"-wp=99999999999999999999,-99999999999"}
            << "wp=2147483647,-2147483648,-2147483009,-2147483161,640,487 fromCmd=1";
        QTest::newRow("-po=l leaves landscape") << QStringList{"-po=l"} << "";
        QTest::newRow("-po=p selects portrait and does not print")
            << QStringList{"-po=p"} << "portrait=1";
        QTest::newRow("-po= never sets landscape back")
            << QStringList{"-po=p", "-po=l"} << "portrait=1";
        QTest::newRow("-p prints") << QStringList{"-p"} << "pending=1";
        QTest::newRow("a word beginning with -p prints") << QStringList{"-print"} << "pending=1";
        QTest::newRow("-p then -c=1: the JPEG export replaces the print")
            << QStringList{"-p", "-c=1"} << "pending=2";
        QTest::newRow("-c=1 then -p: print, then the JPEG export")
            << QStringList{"-c=1", "-p"} << "pending=3";
        QTest::newRow("-c=2 asks for the EPS export only")
            << QStringList{"-p", "-c=2"} << "pending=4";
        QTest::newRow("-c= with another value is ignored")
            << QStringList{"-p", "-c=3", "-c="} << "pending=1";
        QTest::newRow("-c=2 -q a.pvg")
            << QStringList{"-c=2", "-q", "a.pvg"} << "path=a.pvg pending=4 quit=1";
        QTest::newRow("-cf= sets the export base") << QStringList{"-cf=out/base"}
                                                   << "exportBase=out/base";
        QTest::newRow("-svrname= sets the server") << QStringList{"-svrname=vna-1234"}
                                                   << "server=vna-1234";
        QTest::newRow("-q") << QStringList{"-q"} << "quit=1";
        QTest::newRow("a word beginning with -q quits") << QStringList{"-quiet"} << "quit=1";
        QTest::newRow("-tmp") << QStringList{"a.pvg", "-tmp"} << "path=a.pvg tmp=1";
        QTest::newRow("-cwd=") << QStringList{"-cwd=/tmp/exports"} << "cwd=/tmp/exports";
        QTest::newRow("-x is a document name") << QStringList{"-x"} << "path=-x";
        QTest::newRow("a path with -p inside is a document name")
            << QStringList{"plots/a-p.pvg"} << "path=plots/a-p.pvg";
        QTest::newRow("options are case-sensitive") << QStringList{"-Q", "-P"} << "path=-P";
        QTest::newRow("-h followed by more is a document name") << QStringList{"-hx"} << "path=-hx";
        QTest::newRow("an empty word is an empty document name")
            << QStringList{"a.pvg", ""} << "";
    }

    void optionsFillTheState()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, state);
        QCOMPARE(parse(words), 0);
        QCOMPARE(optionSummary(), state);
    }

    void eachParseClearsPathCwdAndTmpButNotTheRest()
    {
        parse({"a.pvg", "-cwd=/x", "-tmp", "-cf=base", "-po=p", "-q", "-wp=1,2", "-svrname=s", "-p"});
        QCOMPARE(parse({}), 0);
        QCOMPARE(optionSummary(),
                 QString("wp=1,2,641,489,640,487 fromCmd=1 portrait=1 pending=1 quit=1 server=s "
                         "exportBase=base"));
    }

    void parsingStartsAtTheGivenWord()
    {
        QCOMPARE(parse({"kelvo", "a.pvg"}, 1), 0);
        QCOMPARE(optionSummary(), QString("path=a.pvg"));
        QCOMPARE(parse({"b.pvg"}, 0), 0);
        QCOMPARE(optionSummary(), QString("path=b.pvg"));
    }

    void overlongValuesAreCutToTheirBuffers()
    {
        const QString longText(3000, 'n');
        QCOMPARE(parse({longText, "-svrname=" + longText, "-cf=" + longText, "-cwd=" + longText}), 0);
        const std::string expected(1023, 'n');
        QCOMPARE(std::string(CurrentDocument.path), expected);
        QCOMPARE(std::string(serverName), expected);
        QCOMPARE(std::string(CurrentDocument.exportBase), expected);
        QCOMPARE(std::string(cwdOption), expected);
    }

    void randomWordsAreHarmless()
    {
        const QStringList options = {"-wp=", "-po=", "-p", "-c=", "-cf=", "-svrname=", "-q",
                                     "-tmp", "-cwd=", "-", ""};
        QRandomGenerator random(20240601);
        for (int round = 0; round < 300; ++round) {
            QStringList words;
            for (int n = random.bounded(8); n > 0; --n) {
                QString word = options[random.bounded(options.size())];
                for (int k = random.bounded(random.bounded(2) ? 12 : 1500); k > 0; --k)
                    word += QChar(u"0123456789,-+ ap12x/"[random.bounded(20)]);
                words << word;
            }
            QCOMPARE(parse(words), 0);
            QVERIFY(std::strlen(CurrentDocument.path) < 1024);
        }
    }

    void helpShowsTheUsageBoxAndStops_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("state");
        QTest::newRow("-?") << QStringList{"-?"} << "";
        QTest::newRow("-h") << QStringList{"-h"} << "";
        QTest::newRow("-? with more characters") << QStringList{"-?x"} << "";
        QTest::newRow("words after the help are not examined")
            << QStringList{"a.pvg", "-p", "-?", "b.pvg", "-q"} << "path=a.pvg pending=1";
    }

    void helpShowsTheUsageBoxAndStops()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, state);
        ModalAnswerer catcher;
        QCOMPARE(parse(words), -1);
        QCOMPARE(optionSummary(), state);

        QCOMPARE(catcher.seen.size(), 1);
        const SeenDialog &box = catcher.seen.first();
        QCOMPARE(box.title, QString("KELVO Usage"));
        QCOMPARE(box.text, QString::fromLatin1(expectedUsage));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons.size(), 1);
        QCOMPARE(QString(box.buttons.first()).remove('&'), QString("OK"));
        QVERIFY(box.parent == nullptr);
        QVERIFY(box.flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    }
};

QTEST_MAIN(CommandLineTest)
#include "commandline_test.moc"
