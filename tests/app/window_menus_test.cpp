// The main window in-process: its menus and shortcuts, the White Background
// item, the aspect reset, geometry tracking and what closing it does.

#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "view/drawview.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

qint32 fieldAt(const QByteArray &state, int offset)
{
    qint32 value = 0;
    std::memcpy(&value, state.constData() + offset, 4);
    return value;
}

} // namespace

class WindowMenusTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<InProcessViewer> viewer;
    std::unique_ptr<ModalAnswerer> modalBoxes;

    QString stateFilePath() const { return viewer->home.filePath(".kelvosettings"); }
    void openLine() { viewer->open(viewer->writeDocument("line.pvg", redLineDrawing())); }

private slots:
    void init() { viewer = std::make_unique<InProcessViewer>();
        modalBoxes = std::make_unique<ModalAnswerer>(); }
    void cleanup()
    {
        QVERIFY2(modalBoxes->seen.isEmpty(),
                 qPrintable(modalBoxes->titlesAndTexts().join("; ")));
        viewer.reset();
    }

    void theMenusHoldEveryEntryWithItsShortcut()
    {
        openLine();
        AppWindow *window = viewer->window;
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
        QMenu *help = window->menuBar()->actions().at(2)->menu();
        QVERIFY(help != nullptr);
        QCOMPARE(describe(help), QStringList({"&About Viewer|F1"}));

        for (QMenu *menu : {window->fileMenu, window->exportMenu, window->viewMenu, help})
            QCOMPARE(menu->parent(), window);
        QCOMPARE(entry(window->fileMenu, "&Export")->menu(), window->exportMenu);
        QCOMPARE(window->whiteBackgroundItem, entry(window->viewMenu, "&White Background"));
    }

    void theShortcutsReachTheirSlotsFromTheWindow()
    {
        openLine();
        AppWindow *window = viewer->window;
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

    void theWindowOpensAtTheDefaultGeometrySayingReady()
    {
        AppWindow window;
        QCOMPARE(window.statusBar()->currentMessage(), QString("Ready"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.pos(), QPoint(200, 200));
        QCOMPARE(window.size(), QSize(640, 487));
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(), QString(), 5000);
    }

    void whiteBackgroundStartsCheckedAndToggles()
    {
        openLine();
        QAction *white = viewer->window->whiteBackgroundItem;
        QVERIFY(white->isCheckable());
        QVERIFY(white->isChecked());
        white->trigger();
        QCOMPARE(int(ViewerSettings.whiteBackground), 0);
        QVERIFY(!white->isChecked());
        white->trigger();
        QCOMPARE(int(ViewerSettings.whiteBackground), 1);
        QVERIFY(white->isChecked());
    }

    void whiteBackgroundOffStartsAsAPlainItem()
    {
        ViewerSettings.whiteBackground = 0;
        openLine();
        QAction *white = viewer->window->whiteBackgroundItem;
        QVERIFY(!white->isCheckable());
        QVERIFY(!white->isChecked());
        white->trigger();
        QCOMPARE(int(ViewerSettings.whiteBackground), 1);
        QVERIFY(white->isCheckable());
        QVERIFY(white->isChecked());
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
        openLine();
        AppWindow *window = viewer->window;
        if (window->logicalDpiX() != window->logicalDpiY())
            QSKIP("needs equal horizontal and vertical resolution");
        window->resize(640, 300);
        QTRY_COMPARE(window->size(), QSize(640, 300));
        portraitOrientation = portrait;
        entry(window->viewMenu, "Reset &Aspect Ratio")->trigger();
        QTRY_COMPARE(window->size(), QSize(640, height));
        QCOMPARE(windowGeometry.height, height);
    }

    void movesAndResizesAreTrackedAndTheViewFollows()
    {
        openLine();
        AppWindow *window = viewer->window;
        QCOMPARE(windowGeometry.left, 200);
        QCOMPARE(windowGeometry.top, 200);
        QCOMPARE(windowGeometry.width, 640);
        QCOMPARE(windowGeometry.height, 487);

        window->move(300, 250);
        QTRY_COMPARE(windowGeometry.left, 300);
        QCOMPARE(windowGeometry.top, 250);
        QCOMPARE(windowGeometry.right, 940);
        QCOMPARE(windowGeometry.bottom, 737);

        window->resize(700, 520);
        QTRY_COMPARE(windowGeometry.width, 700);
        QCOMPARE(windowGeometry.height, 520);
        QCOMPARE(windowGeometry.left, 300);
        QCOMPARE(windowGeometry.right, 1000);
        QCOMPARE(windowGeometry.bottom, 770);
        // The central view is still laid out over the whole width.
        QTRY_COMPARE(viewer->view->width(), 700);
        QVERIFY(viewer->view->height() < 520);
        QVERIFY(viewer->view->height() > 400);
    }

    void closingWithAutosaveWritesTheStateAndReleasesTheDocument()
    {
        ViewerSettings.autosave = 1;
        openLine();
        const QByteArray path = CurrentDocument.path;
        viewer->window->move(210, 220);
        viewer->window->resize(600, 450);
        QTRY_COMPARE(windowGeometry.height, 450);
        viewer->close();

        QCOMPARE(CurrentDocument.data, nullptr);
        QCOMPARE(QByteArray(CurrentDocument.path), path);
        const QByteArray state = readFile(stateFilePath());
        QCOMPARE(state.size(), kStateFileSize);
        QCOMPARE(state.left(10), QByteArray("1.0\0\0\0\0\0\0\0", 10));
        QCOMPARE(int(state.at(10)), 1);
        QCOMPARE(fieldAt(state, 11), 210);
        QCOMPARE(fieldAt(state, 15), 220);
        QCOMPARE(fieldAt(state, 19), 810);
        QCOMPARE(fieldAt(state, 23), 670);
        QCOMPARE(fieldAt(state, 27), 600);
        QCOMPARE(fieldAt(state, 31), 450);
    }

    void closingWithoutAutosaveWritesNothing()
    {
        openLine();
        viewer->close();
        QVERIFY(!QFile::exists(stateFilePath()));
        QCOMPARE(CurrentDocument.data, nullptr);
    }

    void saveSettingsWritesTheStateAtOnce()
    {
        openLine();
        entry(viewer->window->fileMenu, "&Save Settings")->trigger();
        QCOMPARE(readFile(stateFilePath()).size(), kStateFileSize);
    }

    void aTemporaryDocumentIsDeletedWhenTheWindowGoes()
    {
        temporaryDocument = 1;
        openLine();
        const QString path = QFile::decodeName(CurrentDocument.path);
        QVERIFY(QFile::exists(path));
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Existing file name: " + path));
        viewer->close();
        QVERIFY(!QFile::exists(path));
    }

    void anOrdinaryDocumentStays()
    {
        openLine();
        const QString path = QFile::decodeName(CurrentDocument.path);
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Existing file name: " + path));
        viewer->close();
        QVERIFY(QFile::exists(path));
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

    void quitClosesTheWindow()
    {
        openLine();
        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression("^Existing file name: .*line\\.pvg$"));
        entry(viewer->window->fileMenu, "&Quit")->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTRY_VERIFY(viewer->window.isNull());
        QCOMPARE(CurrentDocument.data, nullptr);
    }
};

QTEST_MAIN(WindowMenusTest)
#include "window_menus_test.moc"
