// The decision to run headless is taken before the application object exists,
// from the raw words: it must read them exactly as the command-line parser does.
#include "app/batchmode.h"
#include "app/commandline.h"
#include "app/optionstate.h"
#include "commands/currentdocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the parser makes of the words: a document, a print or export command,
// -q and no host to wait for.
bool parserSeesABatchRun(const std::vector<const char *> &words)
{
    pendingCommands = 0;
    quitWhenDone = 0;
    serverName[0] = '\0';
    if (parseCommandLine(int(words.size()), words.data(), 0) != 0)
        return false;
    return pendingCommands != 0 && quitWhenDone != 0 && CurrentDocument.path[0] != '\0'
           && serverName[0] == '\0';
}

struct Case {
    std::vector<const char *> words;
    bool unattended;
};

TEST(HeadlessPrescan, ReadsTheWordsAsTheParserDoes)
{
    const std::vector<Case> cases = {
        {{"plot.pvg", "-c=2", "-cf=out", "-q"}, true},
        {{"plot.pvg", "-c=1", "-q"}, true},
        {{"-p", "-q", "plot.pvg"}, true},
        {{"plot.pvg", "-print", "-quiet"}, true},            // options count at a word's start
        {{"plot.pvg", "-po=p", "-q"}, false},                // -po= is never a print request
        {{"plot.pvg", "-po=p", "-p", "-q", "-wp=1,2,300,200", "-tmp", "-cwd=/tmp"}, true},
        {{"plot.pvg", "-c=3", "-q"}, false},                 // an unknown -c= value asks for nothing
        {{"plot.pvg", "-p", "-c=9", "-q"}, true},            // ... and leaves earlier commands
        {{"plot.pvg", "-c=2"}, false},                       // no -q
        {{"-c=2", "-q"}, false},                             // no document: the Open dialog
        {{"", "plot.pvg", "-c=2", "-q"}, true},              // an empty word before the last name
        {{"plot.pvg", "-c=2", "-q", ""}, false},             // an empty last name empties the path
        {{"plots/a-p.pvg", "-c=2", "-q"}, true},             // -p inside a name is no option
        {{"-x", "-c=2", "-q"}, true},                        // an unknown option is a document name
        {{"plot.pvg", "-c=2", "-q", "-svrname=host"}, false},
        {{"plot.pvg", "-c=2", "-q", "-svrname=host", "-svrname="}, true},
        {{"-hello.pvg", "-c=2", "-q"}, true},                // only the exact word -h asks for help
    };
    for (const Case &c : cases) {
        std::string line;
        for (const char *word : c.words)
            line += std::string("[") + word + "] ";
        EXPECT_EQ(commandLineIsUnattended(int(c.words.size()), c.words.data()), c.unattended) << line;
        EXPECT_EQ(parserSeesABatchRun(c.words), c.unattended) << line;
    }
}

TEST(HeadlessPrescan, HelpAndToolkitOptionsKeepAnOrdinaryStart)
{
    const std::vector<std::vector<const char *>> lines = {
        {"plot.pvg", "-c=2", "-q", "-?"},
        {"plot.pvg", "-c=2", "-q", "-h"},
        {"-platform", "xcb", "plot.pvg", "-c=2", "-q"},
        {"plot.pvg", "-c=2", "-q", "--style=fusion"},
        {"-reverse", "plot.pvg", "-c=2", "-q"},
    };
    for (const auto &words : lines)
        EXPECT_FALSE(commandLineIsUnattended(int(words.size()), words.data())) << words.front();
}

} // namespace
