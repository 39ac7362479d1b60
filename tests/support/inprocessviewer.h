#pragma once

// InProcessViewer: the main window and its draw view built in-process the way
// start-up builds them, with a private home directory.
//
//   InProcessViewer viewer;           // fresh process state; HOME and the start
//                                     // directory are viewer.home
//   QString path = viewer.writeDocument("a.pvg", writer);
//   viewer.open(path);                // AppWindow + DrawView as start-up makes
//                                     // them, shown; open(path, false) leaves
//                                     // them unshown; "" cancels the Open dialog
//   viewer.setViewSize(640, 480);     // the view gets exactly this size
//   viewer.close();                   // closes and deletes; also on destruction
//
// InProcessViewer::resetProcessState(dir) alone gives the state a fresh start
// leaves, with dir as HOME and start directory. redLineDrawing() is a red
// horizontal line across the middle of the page, GT 100.

#include "tests/support/pvgwriter.h"

#include <QPointer>
#include <QString>
#include <QTemporaryDir>

class AppWindow;
class DrawView;

class InProcessViewer
{
public:
    InProcessViewer();
    ~InProcessViewer();
    InProcessViewer(const InProcessViewer &) = delete;
    InProcessViewer &operator=(const InProcessViewer &) = delete;

    static void resetProcessState(const QString &homeDirectory);

    QString writeDocument(const QString &name, const PvgWriter &writer) const;
    void open(const QString &documentPath, bool show = true);
    void setViewSize(int width, int height);
    void close();

    QTemporaryDir home;
    QPointer<AppWindow> window;
    QPointer<DrawView> view;
};

PvgWriter redLineDrawing();
