#pragma once

class QString;

// Unattended (headless batch) runs: nobody can answer a box, so failures go to
// standard error and decide the exit status instead. Start-up switches the
// mode on; everything that can fail reports through here.

void setHeadlessBatchMode();
bool headlessBatchMode();

// Batch mode only: writes "kelvo: " and the line to standard error and marks
// the run as failed. Does nothing in interactive use.
void reportBatchFailure(const QString &line);

// The exit status of a batch run once the command chain has returned: 0 when
// every command finished and none failed, otherwise 1 (after a line on
// standard error when the chain did not finish).
int headlessBatchExitStatus(bool commandsFinished);
