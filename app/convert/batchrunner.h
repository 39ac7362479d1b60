#pragma once

#include "app/convert/convertoptions.h"

// Converts every input of a batch into the output directory on a thread per
// processor core, one file per conversion. Failures get a line each on
// standard error as they happen, a terminal also sees a progress line, and a
// summary line ends the run. Returns the exit status: 0 when every file was
// converted.
int runBatch(const ConvertOptions &options);
