#include "common/quitrequest.h"

#include <QCoreApplication>

namespace {
bool quitHasBeenRequested = false;
}

void requestQuit()
{
    quitHasBeenRequested = true;
    // exit() rather than quit(): quit() would close the windows first, running
    // the main window's close handling (state saved, temporary document
    // deleted), which a quit request leaves alone.
    QCoreApplication::exit(0);
}

bool quitRequested()
{
    return quitHasBeenRequested;
}
