#include "common/batchreport.h"

#include <QString>

#include <cstdio>

namespace {
bool batchActive = false;
bool batchFailed = false;
bool boxesToStandardError = false;
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
    writeBoxToStandardError(line);
}

void setUnansweredBoxesToStandardError()
{
    boxesToStandardError = true;
}

bool unansweredBoxesToStandardError()
{
    return boxesToStandardError;
}

void writeBoxToStandardError(const QString &line)
{
    std::fprintf(stderr, "kelvo: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

int headlessBatchExitStatus(bool commandsFinished)
{
    if (!commandsFinished)
        reportBatchFailure(QStringLiteral("the requested commands did not finish"));
    return batchFailed ? 1 : 0;
}
