#include "app/batchmode.h"

#include "app/commandline.h"
#include "common/batchreport.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QtGlobal>

#include <cstring>
#include <string>

namespace {

// Options the toolkit takes out of the arguments before kelvo's parser sees
// them. With one of them present the prescan cannot tell what the parser will
// get, so the run stays an ordinary one.
bool isToolkitOption(const char *word)
{
    static const char *const names[] = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "display",
        "qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon", "icon",
        "reverse", "session", "testability", "qmljsdebugger", "style", "stylesheet",
        "widgetcount", "name", "nograb", "dograb", "sync",
    };
    if (word[0] != '-')
        return false;
    const char *name = word[1] == '-' ? word + 2 : word + 1;
    const std::size_t length = std::strcspn(name, "=");
    for (const char *known : names) {
        if (std::strlen(known) == length && std::strncmp(name, known, length) == 0)
            return true;
    }
    return false;
}

QtMessageHandler previousMessageHandler = nullptr;
bool offscreenMessagesQuiet = false;

// The offscreen platform warns on every window it shows that it cannot pass on
// size hints, and a run outside a login session (cron, a build machine) is
// told that the toolkit made a runtime directory of its own; neither is news
// to a script reading standard error.
void quietOffscreenMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()")
        || message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (previousMessageHandler != nullptr)
        previousMessageHandler(type, context, message);
}

bool environmentHasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

// The option state a parse writes, kept so that the prescan's parse leaves
// no trace: the real one runs once the toolkit has taken its options out.
struct ParsedState {
    SpanRect geometry = windowGeometry;
    int32_t geometryGiven = geometryFromCommandLine;
    int32_t portrait = portraitOrientation;
    int32_t pending = pendingCommands;
    char quit = quitWhenDone;
    char temporary = temporaryDocument;
    CurrentDocumentRecord document = CurrentDocument;
    std::string server = serverName;
    std::string cwd = cwdOption;

    void restore() const
    {
        windowGeometry = geometry;
        geometryFromCommandLine = geometryGiven;
        portraitOrientation = portrait;
        pendingCommands = pending;
        quitWhenDone = quit;
        temporaryDocument = temporary;
        CurrentDocument = document;
        copyText(serverName, server.c_str());
        copyText(cwdOption, cwd.c_str());
    }
};

// The parser itself decides what the words ask for; only the toolkit's own
// options, which it never sees, are looked at here.
bool commandLineIsUnattended(int count, const char *const *words)
{
    for (int i = 0; i < count; ++i) {
        if (words[i] == nullptr || isToolkitOption(words[i]))
            return false;
    }
    const ParsedState before;
    pendingCommands = 0;
    quitWhenDone = 0;
    serverName[0] = '\0';
    const bool help = parseCommandLine(count, words, 0, UsageBox::Skip) == -1;
    // The usage box needs someone to close it; a host may send more work;
    // without a document the Open dialog would wait for a user.
    const bool unattended = !help && pendingCommands != 0 && quitWhenDone
                            && serverName[0] == '\0' && CurrentDocument.path[0] != '\0';
    before.restore();
    return unattended;
}

bool enterHeadlessBatchModeIfAsked(int argc, const char *const *argv)
{
    const bool callersOffscreen = offscreenPlatformInEnvironment();
    if ((environmentHasDisplay() && !callersOffscreen) || argc < 1 || !commandLineIsUnattended(argc - 1, argv + 1))
        return false;
    // A script that chose the offscreen platform itself keeps an ordinary
    // run's exit status; only a box, which would wait for ever, is not shown.
    if (callersOffscreen) {
        setUnansweredBoxesToStandardError();
        return false;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    setHeadlessBatchMode();
    return true;
}

bool offscreenPlatformInEnvironment()
{
    return qgetenv("QT_QPA_PLATFORM").startsWith("offscreen");
}

void quietOffscreenPlatform()
{
    if (offscreenMessagesQuiet)
        return;
    offscreenMessagesQuiet = true;
    previousMessageHandler = qInstallMessageHandler(quietOffscreenMessages);
}

