#pragma once

#include "view/viewhost.h"

#include <QMainWindow>
#include <QString>

class DrawView;
class QAction;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QLocalSocket;
class QMenu;
class QMoveEvent;
class QResizeEvent;

// The viewer's one main window: menus, status bar, the draw view as central
// widget, and the link to the host. Deletes itself when closed.
class AppWindow : public QMainWindow, public ViewHost
{
    Q_OBJECT

public:
    AppWindow();
    ~AppWindow() override;

    // Resolves, reads and shows a document (the one way a document is loaded).
    void load(const char *name) override;
    void attachView(DrawView *drawView) override;
    bool closed() const override { return windowClosed; }
    // Sends one framed text to the host, if connected.
    void sendToHost(QString text);
    // Removes the document file when it was passed as temporary (-tmp).
    void deleteTemporaryDocument();
    // Start-up is over: host messages that waited for it are handled now.
    void hostStartupComplete();

    DrawView *view = nullptr;
    QMenu *fileMenu = nullptr;
    QMenu *exportMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QLocalSocket *socket = nullptr;
    quint16 blockSize = 0;
    QAction *whiteBackgroundItem = nullptr;

public Q_SLOTS:
    void choose() override;
    void ExportJpeg() override;
    void ExportEPS() override;

private Q_SLOTS:
    void saveAs();
    void print();
    void backclr();
    void savesettings();
    void refresh();
    void resetaspect();
    void fileProperties();
    void about();
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void readData();
    void deleteSocket();

protected:
    void closeEvent(QCloseEvent *event) override;
    // A file dropped on the window is opened as File > Open would open it.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The host messages waiting on the socket, unless another is being handled.
    void takeWaitingMessages(bool evenAfterQuit);
    void connectToHost();
    void handleHostMessage(const QString &text);
    void buildMenus();
    void takeWindowPosition();

    // Set while a host message is being handled; messages arriving meanwhile wait.
    bool handlingHostMessage = false;
    // Set by an accepted close; the deletion follows in a later event pass.
    bool windowClosed = false;
};
