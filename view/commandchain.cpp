#include "view/drawview.h"

#include "common/optionstate.h"
#include "common/quitrequest.h"
#include "view/viewhost.h"

#include <QCoreApplication>
#include <QPointer>

// Runs the commands the options asked for, in the order print, JPEG, EPS. Each
// command calls back here when it finishes, so the chain nests; the mask is
// re-read before every step so that a command finished in a nested call is
// not run again by the outer one. The window may be closed (Ctrl+Q) in any of
// the event passes (and deleted in a later one): the chain then ends with it.
void DrawView::PostCmdargDone(int iNotval)
{
    const QPointer<DrawView> alive(this);
    const auto windowOpen = [&] { return alive != nullptr && (host == nullptr || !host->closed()); };
    QCoreApplication::processEvents();
    if (!windowOpen())
        return;

    if (iNotval > 0 && iNotval <= 3)
        pendingCommands &= ~(1 << (iNotval - 1));

    if (pendingCommands == 0 && quitWhenDone)
        requestQuit();

    if (pendingCommands & PrintCommand)
        cmdPrint();
    if (windowOpen() && (pendingCommands & JpegExportCommand) && host != nullptr)
        host->ExportJpeg();
    if (windowOpen() && (pendingCommands & EpsExportCommand) && host != nullptr)
        host->ExportEPS();
}
