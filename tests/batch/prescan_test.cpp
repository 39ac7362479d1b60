// The decision to run headless is taken before the application object exists,
// from the raw words: it must read them exactly as the command-line parser does.
#include "app/batchmode.h"
#include "app/commandline.h"
#include "common/optionstate.h"
#include "common/currentdocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the parser makes of the words: a document, a command, -q and no host.
bool parserSeesABatchRun(const std::vector<const char *> &words)
{
    pendingCommands = 0;
    quitWhenDone = 0;
    serverName[0] = '\0';
    return parseCommandLine(int(words.size()), words.data(), 0) == 0 && pendingCommands != 0
           && quitWhenDone != 0 && CurrentDocument.path[0] != '\0' && serverName[0] == '\0';
}

TEST(HeadlessPrescan, ReadsTheWordsAsTheParserDoes)
{
    const std::vector<std::pair<std::vector<const char *>, bool>> cases = {
        {{"-p", "-q", "plot.pvg"}, true},
        {{"plot.pvg", "-print", "-quiet"}, true},             // options count at a word's start
        {{"plot.pvg", "-po=p", "-q"}, false},                 // -po= is never a print request
        {{"plot.pvg", "-c=3", "-q"}, false},                  // an unknown -c= value asks for nothing
        {{"plot.pvg", "-c=2", "-q", ""}, false},              // an empty last name empties the path
        {{"plots/a-p.pvg", "-c=2", "-q"}, true},              // -p inside a name is no option
        {{"plot.pvg", "-c=2", "-q", "-svrname=host", "-svrname="}, true},
        {{"-hello.pvg", "-c=2", "-q"}, true},                 // only the exact word -h asks for help
    };
    for (const auto &[words, unattended] : cases) {
        std::string line;
        for (const char *word : words)
            line += std::string("[") + word + "] ";
        EXPECT_EQ(commandLineIsUnattended(int(words.size()), words.data()), unattended) << line;
        EXPECT_EQ(parserSeesABatchRun(words), unattended) << line;
    }
}

} // namespace
