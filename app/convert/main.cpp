// kelvo-convert: PVG drawings to PNG, JPEG, SVG, PDF and EPS without a window.
#include "app/convert/batchrunner.h"
#include "app/convert/conversion.h"
#include "app/convert/convertoptions.h"
#include "app/convert/filenames.h"
#include "app/settingsfiles.h"
#include "common/optionstate.h"
#include "common/pathhelpers.h"
#include "common/unfinishedwrites.h"
#include "stream/palette.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kUsageError = 2;

// The toolkit's notes (a missing runtime directory, font fallbacks) are not
// the converter's business; its own failures go to standard error itself.
void quietToolkit(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "kelvo-convert: %s\n", message.toLocal8Bit().constData());
}

// The help and the version are the output asked for: a full disk or a
// closed pipe fails the run.
int writtenOut()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    std::fputs("kelvo-convert: cannot write to standard output\n", stderr);
    return kUsageError;
}

void readSettings()
{
    appDir = programDirectory();
    const char *home = std::getenv("HOME");
    homeDir = home != nullptr ? home : "~";
    readConfigFile();
    readStateFile();
    fillPaletteFractions();
}
} // namespace

int main(int argc, char **argv)
{
    prepareSafeWrites();
    // Text and PDF need the toolkit's GUI part, but never a display: a
    // platform chosen for windows (xcb with no X server) would abort here.
    qInstallMessageHandler(quietToolkit);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The toolkit sees the program's name only: it would take words such as
    // -platform, -style or -reverse for its own, also after "--", and those
    // files would silently not be converted.
    int toolkitArgumentCount = 1;
    QGuiApplication application(toolkitArgumentCount, argv);

    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << wordFromArgument(argv[i]);
    ConvertOptions options;
    QString error;
    if (!parseConvertOptions(words, options, error)) {
        std::fprintf(stderr, "kelvo-convert: %s\nTry 'kelvo-convert --help'.\n", fileSystemName(error).constData());
        return kUsageError;
    }
    switch (options.mode) {
    case ConvertMode::Help:
        std::fputs(kConvertUsage, stdout);
        return writtenOut();
    case ConvertMode::Version:
        std::printf("kelvo-convert %s\n", KELVO_VERSION);
        return writtenOut();
    case ConvertMode::Batch:
        readSettings();
        return runBatch(options);
    case ConvertMode::Single:
    case ConvertMode::Thumbnail:
        break;
    }

    readSettings();
    ConversionJob job;
    job.input = options.inputs.front();
    job.output = options.output;
    job.format = options.format;
    job.size = options.size;
    job.drawnSize = options.drawnSize;
    job.zoomed = options.zoomed;
    job.zoomArea = options.zoomArea;
    if (!convertFile(job, error)) {
        std::fprintf(stderr, "kelvo-convert: %s\n", fileSystemName(error).constData());
        return 1;
    }
    return 0;
}
