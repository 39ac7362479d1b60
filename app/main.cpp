#include "app/appwindow.h"
#include "app/batchmode.h"
#include "common/batchreport.h"
#include "app/commandline.h"
#include "common/optionstate.h"
#include "common/pathhelpers.h"
#include "common/unfinishedwrites.h"
#include "common/quitrequest.h"
#include "view/drawview.h"

#include <QApplication>
#include <QPointer>

#include <cstdlib>
#include <string>

namespace {
int runUntilQuit(bool headless, const QPointer<AppWindow> &window)
{
    // The chain has run to its end by now; a headless batch run ends here.
    if (headless)
        return headlessBatchExitStatus(quitRequested());
    // The window closed during the chain (Ctrl+Q), or a quit asked for by
    // the chain before the loop started: no loop would end then. A closed
    // window's deletion (and with it a temporary document's) is done here;
    // host messages that came during the chain still have their turn first.
    if (window == nullptr || window->closed()) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return 0;
    }
    if (quitRequested()) {
        window->hostStartupComplete();
        return 0;
    }
    // Host messages that came during start-up are handled first thing.
    QMetaObject::invokeMethod(
        mainWindow, [] { mainWindow->hostStartupComplete(); }, Qt::QueuedConnection);
    return QApplication::exec();
}
} // namespace

int main(int argc, char **argv)
{
    prepareSafeWrites();
    {
        // "." when the directory cannot be named, so that bare names still
        // resolve against it rather than against the root.
        const std::string current = workingDirectory();
        copyText(startDir, current.empty() ? "." : current.c_str());
    }
    setDefaultWindowGeometry();

    const bool headless = enterHeadlessBatchModeIfAsked(argc, argv);
    if (offscreenPlatformInEnvironment())
        quietOffscreenPlatform();
    QApplication application(argc, argv);
    // Ties the windows to the installed launcher entry (Wayland's app id;
    // X11 shells match the entry's StartupWMClass).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kelvo.Kelvo"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) // chosen with -platform
        quietOffscreenPlatform();
    appDir = programDirectory();
    const char *home = std::getenv("HOME");
    homeDir = home != nullptr ? home : "~";

    if (parseCommandLine(argc, argv, 1) == -1)
        return 0;

    mainWindow = new AppWindow();
    mainView = new DrawView(mainWindow, mainWindow);
    mainWindow->setCentralWidget(mainView);
    mainWindow->show();
    mainView->show();
    // A quit leaves the window open to the end (its close handling is not
    // run), so its renders are ended here; a closed window has ended its own.
    const QPointer<AppWindow> window = mainWindow;
    const QPointer<DrawView> view = mainView;
    mainView->PostCmdargDone(NoCommandFinished);
    const int status = runUntilQuit(headless, window);
    if (view != nullptr)
        view->stopRendering();
    return status;
}
