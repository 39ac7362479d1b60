// The main window in-process: menus and shortcuts, White Background, the
// aspect reset, geometry tracking, what closing it does, and a dropped file.
#include "app/appwindow.h"
#include "app/settingsfiles.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QtTest>

#include <cstring>

namespace {
// "text|shortcut" for an entry, "-" for a separator, "text>" for a submenu.
QString describe(QMenu *menu)
{
    QStringList entries;
    for (QAction *action : menu->actions())
        entries << (action->isSeparator() ? "-" : action->menu() ? action->text() + ">"
                                                                 : action->text() + "|" + action->shortcut().toString());
    return entries.join(' ');
}

QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

QList<int> geometry()
{
    const SpanRect &g = windowGeometry;
    return {g.left, g.top, g.right, g.bottom, g.width, g.height};
}
} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<InProcessViewer> viewer;
    std::unique_ptr<ModalAnswerer> modalBoxes;

    AppWindow *openLine()
    {
        viewer->open(viewer->writeDocument("line.pvg", redLineDrawing()));
        return viewer->window;
    }

private Q_SLOTS:
    void init()
    {
        viewer = std::make_unique<InProcessViewer>();
        modalBoxes = std::make_unique<ModalAnswerer>();
    }
    void cleanup()
    {
        QVERIFY2(modalBoxes->seen.isEmpty(), qPrintable(modalBoxes->titlesAndTexts().join("; ")));
        viewer.reset();
    }

    void theMenusHoldEveryEntryWithItsShortcut()
    {
        AppWindow *window = openLine();
        QCOMPARE(window->objectName(), QString("VORNA Graphics Viewer"));
        QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
        QStringList menus;
        for (QAction *action : window->menuBar()->actions())
            menus << action->text() + ": " + describe(action->menu());
        QCOMPARE(menus, QStringList({"&File: &Open|Ctrl+F &Save File As|Ctrl+S &Save Settings| - &Export> - "
                                     "&Print|Ctrl+P - P&roperties| - &Quit|Ctrl+Q",
                                     "&View: &Refresh|Esc Reset &Aspect Ratio|Ctrl+0 - &White Background|Ctrl+B -",
                                     "&Help: &About Viewer|F1"}));
        QCOMPARE(describe(window->exportMenu), QString("&JPEG Compressed Bitmap| &Encapsulated Postscript|"));
        QCOMPARE(entry(window->fileMenu, "&Export")->menu(), window->exportMenu);
        QCOMPARE(window->whiteBackgroundItem, entry(window->viewMenu, "&White Background"));
    }

    void theShortcutsReachTheirSlotsFromTheWindow()
    {
        AppWindow *window = openLine();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(int(ViewerSettings.whiteBackground), 0);
        QTest::mousePress(viewer->view, Qt::LeftButton, {}, {100, 50});
        QTest::mouseMove(viewer->view, {300, 200});
        QTest::mouseRelease(viewer->view, Qt::LeftButton, {}, {300, 200});
        QCOMPARE(viewer->view->zoomMode, int32_t(ZoomSet));
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(viewer->view->zoomMode, int32_t(ZoomIdle));
    }

    void theWindowOpensAtTheDefaultGeometrySayingReadyFor2Seconds()
    {
        AppWindow window;
        QCOMPARE(window.statusBar()->currentMessage(), QString("Ready"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(QRect(window.pos(), window.size()), QRect(200, 200, 640, 487));
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(), QString(), 5000);
    }

    // With the setting off the item starts as a plain entry; choosing it makes
    // it checkable and checked.
    void whiteBackgroundTogglesWithItsCheckMark()
    {
        for (int white : {1, 0}) {
            viewer.reset();
            viewer = std::make_unique<InProcessViewer>();
            ViewerSettings.whiteBackground = white;
            QAction *item = openLine()->whiteBackgroundItem;
            QVERIFY(item->isCheckable() == bool(white) && item->isChecked() == bool(white));
            for (int round = 0; round < 2; ++round) {
                item->trigger();
                white = !white;
                QCOMPARE(int(ViewerSettings.whiteBackground), white);
                QVERIFY(item->isCheckable() && item->isChecked() == bool(white));
            }
        }
    }

    void resetAspectGivesTheDrawingsProportion()
    {
        AppWindow *window = openLine();
        if (window->logicalDpiX() != window->logicalDpiY())
            QSKIP("needs equal horizontal and vertical resolution");
        for (int portrait : {0, 1}) {
            window->resize(640, 300);
            QTRY_COMPARE(window->size(), QSize(640, 300));
            portraitOrientation = portrait;
            entry(window->viewMenu, "Reset &Aspect Ratio")->trigger();
            QTRY_COMPARE(window->size(), QSize(640, portrait ? 840 : 487));
            QCOMPARE(windowGeometry.height, portrait ? 840 : 487);
        }
    }

    void movesAndResizesAreTrackedAndTheStateIsSavedOnClose()
    {
        ViewerSettings.autosave = 1;
        AppWindow *window = openLine();
        QCOMPARE(geometry(), QList<int>({200, 200, 840, 687, 640, 487}));
        window->move(300, 250);
        QTRY_COMPARE(geometry(), QList<int>({300, 250, 940, 737, 640, 487}));
        window->resize(700, 520);
        QTRY_COMPARE(geometry(), QList<int>({300, 250, 1000, 770, 700, 520}));
        QTRY_COMPARE(viewer->view->width(), 700); // the central view follows
        const QByteArray path = CurrentDocument.path;
        viewer->close();
        QCOMPARE(CurrentDocument.data, nullptr);
        QCOMPARE(QByteArray(CurrentDocument.path), path);
        QFile state(viewer->home.filePath(".kelvosettings"));
        QVERIFY(state.open(QIODevice::ReadOnly));
        const QByteArray bytes = state.readAll();
        QCOMPARE(bytes.size(), kStateFileSize);
        QCOMPARE(bytes.left(11), QByteArray("1.0\0\0\0\0\0\0\0\1", 11));
        qint32 saved[6];
        std::memcpy(saved, bytes.constData() + 11, sizeof saved);
        QCOMPARE(QList<int>(saved, saved + 6), QList<int>({300, 250, 1000, 770, 700, 520}));
    }

    void saveSettingsWritesTheStateAtOnce()
    {
        entry(openLine()->fileMenu, "&Save Settings")->trigger();
        QCOMPARE(QFileInfo(viewer->home.filePath(".kelvosettings")).size(), kStateFileSize);
    }

    void aTemporaryDocumentThatCannotBeRemovedIsReported()
    {
        temporaryDocument = 1;
        openLine();
        // A non-empty directory exists but cannot be removed as a file.
        const QString blocked = viewer->home.filePath("blocked");
        QVERIFY(QDir().mkpath(blocked + "/inside"));
        copyText(CurrentDocument.path, blocked.toLocal8Bit().constData());
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Existing file name: " + blocked));
        QTest::ignoreMessage(QtDebugMsg, "Could not delete file");
        viewer->close();
        QVERIFY(QFile::exists(blocked));
    }

    void aDroppedFileIsOpenedAndNeverTemporary()
    {
        openLine();
        const QString path = viewer->writeDocument("dropped.pvg", redLineDrawing());
        temporaryDocument = 1;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewer->window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewer->window, &drop);
        QCOMPARE(viewer->window->windowTitle(), QString("VORNA Viewer - dropped.pvg"));
        QCOMPARE(temporaryDocument, char(0));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
