#include "app/postcommands.h"

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "view/drawview.h"

#include <QCoreApplication>

namespace {
bool quitHasBeenRequested = false;
}

void requestQuit()
{
    quitHasBeenRequested = true;
    QCoreApplication::quit();
}

bool quitRequested()
{
    return quitHasBeenRequested;
}

// Runs the commands the options asked for, in the order print, JPEG, EPS. Each
// command calls back here when it finishes, so the chain nests; the mask is
// re-read before every step so that a command finished in a nested call is
// not run again by the outer one.
void DrawView::PostCmdargDone(int iNotval)
{
    QCoreApplication::processEvents();

    if (iNotval > 0 && iNotval <= 3)
        pendingCommands &= ~(1 << (iNotval - 1));

    if (pendingCommands == 0 && quitWhenDone)
        requestQuit();

    if (pendingCommands & PrintCommand)
        cmdPrint();
    if ((pendingCommands & JpegExportCommand) && mainWindow != nullptr)
        mainWindow->ExportJpeg();
    if ((pendingCommands & EpsExportCommand) && mainWindow != nullptr)
        mainWindow->ExportEPS();
}
