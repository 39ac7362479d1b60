#include "common/batchreport.h"

#include <QString>

#include <cstdio>
#include <sys/stat.h>
#include <utility>

namespace {
bool batchActive = false;
bool batchFailed = false;
} // namespace

void setHeadlessBatchMode()
{
    batchActive = true;
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
