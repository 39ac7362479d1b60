#include "app/batchmode.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace {

bool batchActive = false;
bool batchFailed = false;

bool startsWith(const char *word, const char *prefix)
{
    return std::strncmp(word, prefix, std::strlen(prefix)) == 0;
}

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

// The offscreen platform warns on every window it shows that it cannot pass on
// size hints; that is no news to a script reading standard error.
void quietOffscreenMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
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

// Mirrors the command-line parser: options are tested at the start of a word in
// the parser's order, so "-po=" is never a print request and any other word that
// starts with "-p" is.
bool commandLineIsUnattended(int count, const char *const *words)
{
    int commands = 0;
    bool quit = false;
    bool hostLink = false;
    const char *document = "";
    for (int i = 0; i < count; ++i) {
        const char *word = words[i];
        if (word == nullptr || isToolkitOption(word))
            return false;
        if (startsWith(word, "-wp=") || startsWith(word, "-po="))
            continue;
        if (startsWith(word, "-p")) {
            commands |= 1;
        } else if (startsWith(word, "-c=")) {
            if (word[3] == '1')
                commands = 2;
            else if (word[3] == '2')
                commands = 4;
        } else if (startsWith(word, "-cf=")) {
        } else if (startsWith(word, "-svrname=")) {
            hostLink = word[9] != '\0'; // a host may send more work: not a batch run
        } else if (startsWith(word, "-q")) {
            quit = true;
        } else if (startsWith(word, "-tmp") || startsWith(word, "-cwd=")) {
        } else if (startsWith(word, "-?") || std::strcmp(word, "-h") == 0) {
            return false; // the usage box needs someone to close it
        } else {
            document = word;
        }
    }
    // Without a document the Open dialog would wait for a user.
    return commands != 0 && quit && !hostLink && document[0] != '\0';
}

bool enterHeadlessBatchModeIfAsked(int argc, const char *const *argv)
{
    if (environmentHasDisplay() || argc < 1 || !commandLineIsUnattended(argc - 1, argv + 1))
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    previousMessageHandler = qInstallMessageHandler(quietOffscreenMessages);
    batchActive = true;
    return true;
}

bool headlessBatchMode()
{
    return batchActive;
}

void reportBatchFailure(const QString &line)
{
    if (!batchActive)
        return;
    batchFailed = true;
    std::fprintf(stderr, "kelvo: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

int headlessBatchExitStatus(bool commandsFinished)
{
    if (!commandsFinished)
        reportBatchFailure(QStringLiteral("the requested commands did not finish"));
    return batchFailed ? 1 : 0;
}

BatchOutputWatch::BatchOutputWatch(std::string outputPath)
    : path(std::move(outputPath))
{
    if (batchActive)
        before = stampOf(path);
}

void BatchOutputWatch::reportIfUnwritten() const
{
    if (!batchActive)
        return;
    const Stamp after = stampOf(path);
    // A writer that could not open the file leaves it absent or untouched.
    if (!after.exists || after == before)
        reportBatchFailure(QStringLiteral("Export failed for file: ") + QString::fromLocal8Bit(path.c_str()));
}

BatchOutputWatch::Stamp BatchOutputWatch::stampOf(const std::string &path)
{
    Stamp stamp;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return stamp;
    stamp.exists = true;
    stamp.inode = status.st_ino;
    stamp.size = status.st_size;
    stamp.modifiedNs = static_cast<long long>(status.st_mtim.tv_sec) * 1000000000LL + status.st_mtim.tv_nsec;
    return stamp;
}
