#include "common/optionstate.h"

#include "common/exportpath.h"

TextBuffer startDir;
std::string appDir;
std::string homeDir;
SpanRect windowGeometry;
int32_t geometryFromCommandLine = 0;
int32_t portraitOrientation = 0;
int32_t pendingCommands = 0;
char quitWhenDone = 0;
char temporaryDocument = 0;
TextBuffer serverName;
TextBuffer cwdOption;

AppWindow *mainWindow = nullptr;
DrawView *mainView = nullptr;

void setDefaultWindowGeometry()
{
    windowGeometry.setCorners(200, 200, 840, 687);
}

TextBuffer exportPath;
