#pragma once

#include "common/fixedtext.h"

// Resolved output name of the export in progress; the EPS writer opens it.
extern TextBuffer exportPath;
