#pragma once

#include "common/fixedtext.h"
#include "common/spanrect.h"

#include <cstdint>
#include <string>

class AppWindow;
class DrawView;

// Bits of pendingCommands, in the order the command chain runs them.
enum PendingCommand : int32_t {
    PrintCommand = 1,
    JpegExportCommand = 2,
    EpsExportCommand = 4,
};

// Numbers a finished command passes to PostCmdargDone.
enum FinishedCommand : int {
    NoCommandFinished = 0,
    PrintFinished = 1,
    JpegExportFinished = 2,
    EpsExportFinished = 3,
};

// Process-wide option state, filled by start-up and parseCommandLine.
extern TextBuffer startDir;
// The program's directory and HOME, whole: a cut one would name another
// directory, whose settings would be read and written instead.
extern std::string appDir;
extern std::string homeDir;
extern SpanRect windowGeometry;
extern int32_t geometryFromCommandLine;
extern int32_t portraitOrientation;
extern int32_t pendingCommands;
extern char quitWhenDone;
extern char temporaryDocument;
extern TextBuffer serverName;
extern TextBuffer cwdOption;

extern AppWindow *mainWindow;
extern DrawView *mainView;

// The default frame position and client size of the main window.
void setDefaultWindowGeometry();
