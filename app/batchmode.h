#pragma once

#include <string>
#include <sys/types.h>

class QString;

// Unattended runs. With no display (neither DISPLAY nor WAYLAND_DISPLAY, and no
// platform chosen through QT_QPA_PLATFORM), a command line that names a
// document and only prints or exports before quitting (-q) runs on the
// offscreen platform. Nobody can answer a box there, so failures go to
// standard error and decide the exit status instead.

// True when the words (argv from index 1, before the toolkit took out its own
// options) ask for nothing but print and export commands followed by -q.
bool commandLineIsUnattended(int count, const char *const *words);

// Decides from the environment and the raw arguments whether to run headless;
// if so selects the offscreen platform and turns batch mode on. Must run before
// the application object is created.
bool enterHeadlessBatchModeIfAsked(int argc, const char *const *argv);

bool headlessBatchMode();

// Batch mode only: writes "kelvo: " and the line to standard error and marks
// the run as failed. Does nothing in interactive use.
void reportBatchFailure(const QString &line);

// The exit status of a batch run once the command chain has returned: 0 when
// every command finished and none failed, otherwise 1 (after a line on
// standard error when the chain did not finish).
int headlessBatchExitStatus(bool commandsFinished);

// Tells, in batch mode, whether a writer that reports nothing produced its
// file: stamps the file before the write, compares after it.
class BatchOutputWatch
{
public:
    explicit BatchOutputWatch(std::string path);
    // Batch mode only: reports "Export failed for file: <path>" when the file
    // is missing or unchanged since construction.
    void reportIfUnwritten() const;

private:
    struct Stamp {
        bool exists = false;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedNs = 0;
        bool operator==(const Stamp &) const = default;
    };
    static Stamp stampOf(const std::string &path);

    std::string path;
    Stamp before;
};
