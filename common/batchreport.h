#pragma once

class QString;

// Unattended (headless batch) runs: nobody can answer a box, so failures go to
// standard error and decide the exit status instead. Start-up switches the
// mode on; everything that can fail reports through here.

void setHeadlessBatchMode();

// Batch mode only: writes "kelvo: " and the line to standard error and marks
// the run as failed. Does nothing in interactive use.
void reportBatchFailure(const QString &line);

// An unattended run on the offscreen platform its caller chose is no batch
// run (its exit status is an ordinary run's), but nobody can answer a box
// there either.
void setUnansweredBoxesToStandardError();

// A box nobody can answer (batch mode, or the run above): writes "kelvo: "
// and its line to standard error, in batch mode as a failure, and returns
// true; false when the box is to be shown.
bool reportUnansweredBox(const QString &line);

// The exit status of a batch run once the command chain has returned: 0 when
// every command finished and none failed, otherwise 1 (after a line on
// standard error when the chain did not finish).
int headlessBatchExitStatus(bool commandsFinished);
