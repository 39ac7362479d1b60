#pragma once

#include "common/fixedtext.h"

// Resolved output name of the export in progress, which the export opens.
extern TextBuffer exportPath;
