#include "common/batchreport.h"

#include <QString>

#include <cstdio>

namespace {
bool batchActive = false;
bool batchFailed = false;
bool boxesToStandardError = false;

void writeLine(const QString &line)
{
    std::fprintf(stderr, "kelvo: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
} // namespace

void setHeadlessBatchMode()
{
    batchActive = true;
}

void reportBatchFailure(const QString &line)
{
    if (!batchActive)
        return;
    batchFailed = true;
    writeLine(line);
}

void setUnansweredBoxesToStandardError()
{
    boxesToStandardError = true;
}

bool reportUnansweredBox(const QString &line)
{
    if (batchActive)
        reportBatchFailure(line);
    else if (boxesToStandardError)
        writeLine(line);
    return batchActive || boxesToStandardError;
}

int headlessBatchExitStatus(bool commandsFinished)
{
    if (!commandsFinished)
        reportBatchFailure(QStringLiteral("the requested commands did not finish"));
    return batchFailed ? 1 : 0;
}
