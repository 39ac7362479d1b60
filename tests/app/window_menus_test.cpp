// The main window in-process: its menus and shortcuts, the White Background
// item, the aspect reset, geometry tracking and what closing it does. Ctrl+Q,
// autosave and -tmp on the real binary are in startup_e2e_test.

#include "app/appwindow.h"
#include "common/optionstate.h"
#include "app/settingsfiles.h"
#include "common/currentdocument.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QtTest>

#include <cstring>

namespace {

// "text|shortcut" for an entry, "-" for a separator, "text>" for a submenu.
QStringList describe(QMenu *menu)
{
    QStringList entries;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            entries << "-";
        else if (action->menu() != nullptr)
            entries << action->text() + ">";
        else
            entries << action->text() + "|" + action->shortcut().toString();
    }
    return entries;
}

QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

class WindowMenusTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<InProcessViewer> viewer;
    std::unique_ptr<ModalAnswerer> modalBoxes;

    AppWindow *openLine()
    {
        viewer->open(viewer->writeDocument("line.pvg", redLineDrawing()));
        return viewer->window;
    }

private slots:
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
        QStringList bar;
        for (QAction *action : window->menuBar()->actions())
            bar << action->text();
        QCOMPARE(bar, QStringList({"&File", "&View", "&Help"}));
        QCOMPARE(describe(window->fileMenu),
                 QStringList({"&Open|Ctrl+F", "&Save File As|Ctrl+S", "&Save Settings|", "-",
                              "&Export>", "-", "&Print|Ctrl+P", "-", "P&roperties|", "-",
                              "&Quit|Ctrl+Q"}));
        QCOMPARE(describe(window->exportMenu),
                 QStringList({"&JPEG Compressed Bitmap|", "&Encapsulated Postscript|"}));
        QCOMPARE(describe(window->viewMenu),
                 QStringList({"&Refresh|Esc", "Reset &Aspect Ratio|Ctrl+0", "-",
                              "&White Background|Ctrl+B", "-"}));
        QCOMPARE(describe(window->menuBar()->actions().at(2)->menu()), QStringList({"&About Viewer|F1"}));
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
    void whiteBackgroundTogglesWithItsCheckMark_data()
    {
        QTest::addColumn<int>("white");
        QTest::newRow("on") << 1;
        QTest::newRow("off") << 0;
    }

    void whiteBackgroundTogglesWithItsCheckMark()
    {
        QFETCH(int, white);
        ViewerSettings.whiteBackground = white;
        QAction *item = openLine()->whiteBackgroundItem;
        QCOMPARE(item->isCheckable(), bool(white));
        QCOMPARE(item->isChecked(), bool(white));
        for (int round = 0; round < 2; ++round) {
            item->trigger();
            white = !white;
            QCOMPARE(int(ViewerSettings.whiteBackground), white);
            QVERIFY(item->isCheckable());
            QCOMPARE(item->isChecked(), bool(white));
        }
    }

    void resetAspectGivesTheDrawingsProportion_data()
    {
        QTest::addColumn<int>("portrait");
        QTest::addColumn<int>("height");
        QTest::newRow("landscape") << 0 << 487;
        QTest::newRow("portrait") << 1 << 840;
    }

    void resetAspectGivesTheDrawingsProportion()
    {
        QFETCH(int, portrait);
        QFETCH(int, height);
        AppWindow *window = openLine();
        if (window->logicalDpiX() != window->logicalDpiY())
            QSKIP("needs equal horizontal and vertical resolution");
        window->resize(640, 300);
        QTRY_COMPARE(window->size(), QSize(640, 300));
        portraitOrientation = portrait;
        entry(window->viewMenu, "Reset &Aspect Ratio")->trigger();
        QTRY_COMPARE(window->size(), QSize(640, height));
        QCOMPARE(windowGeometry.height, height);
    }

    void movesAndResizesAreTrackedAndTheStateIsSavedOnClose()
    {
        ViewerSettings.autosave = 1;
        AppWindow *window = openLine();
        const auto geometry = [] {
            const SpanRect &g = windowGeometry;
            return QList<int>{g.left, g.top, g.right, g.bottom, g.width, g.height};
        };
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
};

QTEST_MAIN(WindowMenusTest)
#include "window_menus_test.moc"
