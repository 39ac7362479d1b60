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

// An unattended run on the offscreen platform its caller chose is no batch
// run (its exit status is an ordinary run's), but nobody can answer a box
// there either: the box's words go to standard error instead.
void setUnansweredBoxesToStandardError();
bool unansweredBoxesToStandardError();
// Writes "kelvo: " and the line to standard error.
void writeBoxToStandardError(const QString &line);

// The exit status of a batch run once the command chain has returned: 0 when
// every command finished and none failed, otherwise 1 (after a line on
// standard error when the chain did not finish).
int headlessBatchExitStatus(bool commandsFinished);
