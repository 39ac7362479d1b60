// The command-line parser in-process: every option of the table, the state it
// leaves, and the usage box. The real binary's view of it is in startup_e2e_test.

#include "app/commandline.h"
#include "common/optionstate.h"
#include "common/currentdocument.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The option state that differs from a fresh start, as one line.
QString optionSummary()
{
    QStringList parts;
    const auto add = [&](bool differs, const QString &part) {
        if (differs)
            parts << part;
    };
    const SpanRect &g = windowGeometry;
    add(CurrentDocument.path[0], QString("path=%1").arg(CurrentDocument.path));
    add(g.left != 200 || g.top != 200 || g.right != 840 || g.bottom != 687 || g.width != 640
            || g.height != 487,
        QString("wp=%1,%2,%3,%4,%5,%6").arg(g.left).arg(g.top).arg(g.right).arg(g.bottom)
            .arg(g.width).arg(g.height));
    add(geometryFromCommandLine, "fromCmd=1");
    add(portraitOrientation, "portrait=1");
    add(pendingCommands, QString("pending=%1").arg(pendingCommands));
    add(quitWhenDone, "quit=1");
    add(temporaryDocument, "tmp=1");
    add(serverName[0], QString("server=%1").arg(serverName));
    add(cwdOption[0], QString("cwd=%1").arg(cwdOption));
    add(CurrentDocument.exportBase[0], QString("exportBase=%1").arg(CurrentDocument.exportBase));
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
    void init() { InProcessViewer::resetProcessState("/tmp"); }

    void optionsFillTheState_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("state");
        const auto row = [](const char *name, QStringList words, const char *state) {
            QTest::newRow(name) << words << QString(state);
        };
        row("no words", {}, "");
        row("two names: the last wins", {"a.pvg", "b.pvg"}, "path=b.pvg");
        row("-wp=10,20 keeps the default size", {"-wp=10,20", "a.pvg"},
            "path=a.pvg wp=10,20,650,507,640,487 fromCmd=1");
        row("-wp= with all four values", {"-wp=-5,-6,100,50"}, "wp=-5,-6,95,44,100,50 fromCmd=1");
        row("-wp= converting nothing still takes over", {"-wp=abc"}, "fromCmd=1");
        row("-wp= stops at the first bad field", {"-wp=10,x,30,40"},
            "wp=10,200,650,687,640,487 fromCmd=1");
        row("-wp= skips blanks before a number only", {"-wp= 7, 8 ,9,9"},
            "wp=7,8,647,495,640,487 fromCmd=1");
        row("-wp= beyond 32 bits is held at the limit", {"-wp=99999999999999999999,-99999999999"},
            "wp=2147483647,-2147483648,-2147483009,-2147483161,640,487 fromCmd=1");
        row("-po=l leaves landscape", {"-po=l"}, "");
        row("-po=p is portrait and never set back", {"-po=p", "-po=l"}, "portrait=1");
        row("-p prints, as does any word starting so", {"-print"}, "pending=1");
        row("-p then -c=1: the JPEG export replaces the print", {"-p", "-c=1"}, "pending=2");
        row("-c=1 then -p: print, then the JPEG export", {"-c=1", "-p"}, "pending=3");
        row("-c=2 asks for the EPS export only", {"-p", "-c=2"}, "pending=4");
        row("-c= with another value is ignored", {"-p", "-c=3", "-c="}, "pending=1");
        row("-c=2 -q a.pvg", {"-c=2", "-q", "a.pvg"}, "path=a.pvg pending=4 quit=1");
        row("-cf= -svrname= -cwd=", {"-cf=out/b", "-svrname=vna-1", "-cwd=/x"},
            "server=vna-1 cwd=/x exportBase=out/b");
        row("any word starting with -q quits", {"-quiet"}, "quit=1");
        row("-tmp", {"a.pvg", "-tmp"}, "path=a.pvg tmp=1");
        row("-x is a document name", {"-x"}, "path=-x");
        row("a path with -p inside is a name", {"plots/a-p.pvg"}, "path=plots/a-p.pvg");
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

    void eachParseClearsNameCwdAndTmpButNotTheRest()
    {
        parse({"a.pvg", "-cwd=/x", "-tmp", "-cf=base", "-po=p", "-q", "-wp=1,2", "-svrname=s", "-p"});
        QCOMPARE(parse({"kelvo"}, 1), 0); // start-up parses from the second word
        QCOMPARE(optionSummary(), QString("wp=1,2,641,489,640,487 fromCmd=1 portrait=1 pending=1 "
                                          "quit=1 server=s exportBase=base"));
    }

    void overlongValuesAreCutToTheirBuffers()
    {
        const QString longText(3000, 'n');
        QCOMPARE(parse({longText, "-svrname=" + longText, "-cf=" + longText, "-cwd=" + longText}), 0);
        const std::string expected(1023, 'n');
        for (const char *text : {CurrentDocument.path, serverName, CurrentDocument.exportBase, cwdOption})
            QCOMPARE(std::string(text), expected);
    }

    void randomWordsAreHarmless()
    {
        const QStringList options = {"-wp=", "-po=", "-p", "-c=", "-cf=", "-svrname=", "-q",
                                     "-tmp", "-cwd=", "-", ""};
        QRandomGenerator random(20240601);
        for (int round = 0; round < 30; ++round) {
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
        ModalAnswerer answerer;
        QCOMPARE(parse(words), -1);
        QCOMPARE(optionSummary(), state);

        QCOMPARE(answerer.seen.size(), 1);
        const SeenDialog &box = answerer.seen.first();
        QCOMPARE(box.title, QString("KELVO Usage"));
        QCOMPARE(box.text,
                 QString("kelvo pvgfile [-wp=x,y,wid,ht] [-p] [-po=orientation] [-?] [-h]\n\n"
                         "-wp=x,y,wid,ht:\twindow position\n"
                         "-p:\t\tprint graph\n"
                         "-q:\t\tquit after cmd processing is complete\n"
                         "-po=[l,p]:\tprint orientaton, l=landscape (default), p=portrait\n"
                         "[-?,-h]:\t\tprint this help\n"));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons.join('|').remove('&'), QString("OK"));
        QVERIFY(!box.hasParent);
        QVERIFY(box.flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    }
};

QTEST_MAIN(CommandLineTest)
#include "commandline_test.moc"
