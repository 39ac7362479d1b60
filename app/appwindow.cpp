#include "app/appwindow.h"

#include "app/settingsfiles.h"
#include "commands/about.h"
#include "commands/exports.h"
#include "commands/load.h"
#include "commands/saveas.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "stream/page.h"
#include "stream/palette.h"
#include "view/drawview.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QStatusBar>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr double kLandscapeRatio = double(kPageHeight) / kPageWidth;
constexpr double kPortraitRatio = double(kPageWidth) / kPageHeight;
} // namespace

AppWindow::AppWindow() : QMainWindow(nullptr)
{
    setObjectName("VORNA Graphics Viewer");
    setAttribute(Qt::WA_DeleteOnClose);

    connectToHost();
    fillPaletteFractions();
    readConfigFile();
    readStateFile();
    buildMenus();
    setAcceptDrops(true);

    move(windowGeometry.left, windowGeometry.top);
    resize(windowGeometry.width, windowGeometry.height);
    statusBar()->showMessage("Ready", 2000);
}

AppWindow::~AppWindow()
{
    deleteTemporaryDocument();
}

namespace {
// One menu entry calling a slot of receiver; an empty key sequence means none.
template <typename Receiver, typename Slot>
QAction *addEntry(QMenu *menu, const char *text, const QKeySequence &shortcut, Receiver *receiver,
                  Slot slot)
{
    QAction *action = menu->addAction(QString::fromLatin1(text));
    action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, receiver, slot);
    return action;
}
} // namespace

void AppWindow::buildMenus()
{
    const QKeySequence none;

    exportMenu = new QMenu("&Export", this);
    addEntry(exportMenu, "&JPEG Compressed Bitmap", none, this, &AppWindow::ExportJpeg);
    addEntry(exportMenu, "&Encapsulated Postscript", none, this, &AppWindow::ExportEPS);

    fileMenu = new QMenu("&File", this);
    addEntry(fileMenu, "&Open", QKeySequence(Qt::CTRL | Qt::Key_F), this, &AppWindow::choose);
    addEntry(fileMenu, "&Save File As", QKeySequence(Qt::CTRL | Qt::Key_S), this,
             &AppWindow::saveAs);
    addEntry(fileMenu, "&Save Settings", none, this, &AppWindow::savesettings);
    fileMenu->addSeparator();
    fileMenu->addMenu(exportMenu);
    fileMenu->addSeparator();
    addEntry(fileMenu, "&Print", QKeySequence(Qt::CTRL | Qt::Key_P), this, &AppWindow::print);
    fileMenu->addSeparator();
    addEntry(fileMenu, "P&roperties", none, this, &AppWindow::fileProperties);
    fileMenu->addSeparator();
    addEntry(fileMenu, "&Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), qApp,
             &QApplication::closeAllWindows);
    menuBar()->addMenu(fileMenu);

    viewMenu = new QMenu("&View", this);
    addEntry(viewMenu, "&Refresh", QKeySequence(Qt::Key_Escape), this, &AppWindow::refresh);
    addEntry(viewMenu, "Reset &Aspect Ratio", QKeySequence(Qt::CTRL | Qt::Key_0), this,
             &AppWindow::resetaspect);
    viewMenu->addSeparator();
    whiteBackgroundItem = addEntry(viewMenu, "&White Background",
                                   QKeySequence(Qt::CTRL | Qt::Key_B), this, &AppWindow::backclr);
    viewMenu->addSeparator();
    if (ViewerSettings.whiteBackground != 0) {
        whiteBackgroundItem->setCheckable(true);
        whiteBackgroundItem->setChecked(true);
    }
    menuBar()->addMenu(viewMenu);

    QMenu *helpMenu = new QMenu("&Help", this);
    menuBar()->addMenu(helpMenu);
    addEntry(helpMenu, "&About Viewer", QKeySequence(Qt::Key_F1), this, &AppWindow::about);
}

void AppWindow::attachView(DrawView *drawView)
{
    view = drawView;
}

void AppWindow::load(const char *name)
{
    loadDocument(this, view, name);
}

void AppWindow::choose()
{
    chooseDocument(this, view);
}

void AppWindow::saveAs()
{
    saveDocumentAs(this);
}

void AppWindow::ExportJpeg()
{
    exportJpeg(this, view);
}

void AppWindow::ExportEPS()
{
    exportEps(this, view);
}

void AppWindow::print()
{
    if (view != nullptr)
        view->printIt();
}

void AppWindow::fileProperties()
{
    // The segment count is that of the drawing on screen: a frame of it still
    // rendering is finished first, or a large plot would show the last one's.
    if (mainView != nullptr && mainView->isVisible())
        mainView->waitForFrame();
    showFileProperties(this);
}

void AppWindow::about()
{
    showAboutBox(this);
}

void AppWindow::backclr()
{
    ViewerSettings.whiteBackground = ViewerSettings.whiteBackground == 0 ? 1 : 0;
    if (whiteBackgroundItem != nullptr) {
        whiteBackgroundItem->setCheckable(true);
        whiteBackgroundItem->setChecked(ViewerSettings.whiteBackground != 0);
    }
    if (view != nullptr)
        view->update();
}

void AppWindow::savesettings()
{
    writeStateFile();
}

void AppWindow::refresh()
{
    if (view == nullptr)
        return;
    view->zoomMode = ZoomIdle;
    view->update();
}

// Keeps the width and gives the whole window (menu and status bars included)
// the drawing's proportion, corrected for non-square device pixels.
void AppWindow::resetaspect()
{
    const double ratio = portraitOrientation ? kPortraitRatio : kLandscapeRatio;
    const int dpiY = logicalDpiY();
    const int dpiX = logicalDpiX();
    const int w = rect().right() - rect().left() + 1;
    if (dpiX <= 0)
        return;
    const double h = std::trunc(w * ratio * dpiY / dpiX);
    if (!std::isfinite(h) || h > std::numeric_limits<int>::max())
        return;
    resize(w, static_cast<int>(h));
}

void AppWindow::takeWindowPosition()
{
    windowGeometry.moveTopLeft(pos().x(), pos().y());
}

void AppWindow::moveEvent(QMoveEvent *)
{
    takeWindowPosition();
}

void AppWindow::resizeEvent(QResizeEvent *event)
{
    windowGeometry.width = event->size().width();
    windowGeometry.height = event->size().height();
    takeWindowPosition();
}

void AppWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    windowClosed = true;
    if (ViewerSettings.autosave)
        writeStateFile();
    releaseDocumentData();
}

namespace {
// The one local file a drag carries, or an empty text. A folder is not
// taken: dropped by mistake, it would put an error in place of the drawing.
QString droppedFile(const QMimeData *mime)
{
    if (mime == nullptr || !mime->hasUrls() || mime->urls().size() != 1)
        return QString();
    const QUrl url = mime->urls().first();
    if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())
        return QString();
    return url.toLocalFile();
}
} // namespace

void AppWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void AppWindow::dropEvent(QDropEvent *event)
{
    const QString file = droppedFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    // As with a file picked in the Open dialog: never deleted as a temporary one.
    temporaryDocument = 0;
    load(file.toLocal8Bit().constData());
}

void AppWindow::deleteTemporaryDocument()
{
    qDebug("Existing file name: %s", CurrentDocument.path);
    if (!temporaryDocument)
        return;
    // The name's own bytes: a name that is not UTF-8 must not be lost in a
    // conversion and leave the file behind.
    struct stat status {};
    if (CurrentDocument.path[0] == '\0' || ::stat(CurrentDocument.path, &status) != 0)
        return;
    char *canonical = ::realpath(CurrentDocument.path, nullptr);
    if (canonical == nullptr || ::unlink(canonical) != 0)
        qDebug("Could not delete file");
    std::free(canonical);
}
