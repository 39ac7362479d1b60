// The main window in-process: menus and shortcuts, White Background, the
// aspect reset, geometry tracking, a dropped file, the about box, and closing it.
#include "app/appwindow.h"
#include "app/settingsfiles.h"
#include "commands/load.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testfiles.h"
#include "view/drawview.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QWindow>
#include <QStatusBar>
#include <QtTest>

#include <unistd.h>

// "text|shortcut" for an entry, "-" for a separator, "text>" for a submenu.
static QString describe(QMenu *menu)
{
    QStringList entries;
    for (QAction *action : menu->actions())
        entries << (action->isSeparator() ? "-" : action->menu() ? action->text() + ">"
                                                                 : action->text() + "|" + action->shortcut().toString());
    return entries.join(' ');
}

static QList<int> geometry()
{
    const SpanRect &g = windowGeometry;
    return {g.left, g.top, g.right, g.bottom, g.width, g.height};
}

class WindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A new window says "Ready". A dropped file is opened and never temporary;
    // a dropped folder is not taken.
    // Ctrl+B reaches its slot: with the setting off the item starts as a plain
    // entry; choosing it makes it checkable and checked. Moves and resizes are
    // tracked, Save Settings writes them at once, and Reset Aspect Ratio keeps
    // the width and gives the drawing's proportion. Closing reports a temporary
    // document that cannot be removed.
    void oneSessionInTheWindow()
    {
        QCOMPARE(AppWindow().statusBar()->currentMessage(), QString("Ready"));
        InProcessViewer viewer;
        ModalAnswerer modalBoxes;
        ViewerSettings.whiteBackground = 0;
        viewer.open(viewer.writeDocument("line.pvg", redLineDrawing()));
        AppWindow *window = viewer.window;
        QCOMPARE(window->objectName(), QString("VORNA Graphics Viewer"));
        QStringList menus;
        for (QAction *action : window->menuBar()->actions())
            menus << action->text() + ": " + describe(action->menu());
        QCOMPARE(menus, QStringList({"&File: &Open|Ctrl+F &Save File As|Ctrl+S &Save Settings| - &Export> - "
                                     "&Print|Ctrl+P - P&roperties| - &Quit|Ctrl+Q",
                                     "&View: &Refresh|Esc Reset &Aspect Ratio|Ctrl+0 - &White Background|Ctrl+B -",
                                     "&Help: &About Viewer|F1"}));
        QCOMPARE(describe(window->exportMenu), QString("&JPEG Compressed Bitmap| &Encapsulated Postscript|"));

        // A folder dropped by mistake is not taken: the drawing stays.
        QMimeData folder;
        folder.setUrls({QUrl::fromLocalFile(QFileInfo(viewer.writeDocument("dropped.pvg", redLineDrawing())).path())});
        const QString before = window->windowTitle();
        QDropEvent folderDrop(QPointF(10, 10), Qt::CopyAction, &folder, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &folderDrop);
        QCOMPARE(window->windowTitle(), before);
        QVERIFY(modalBoxes.seen.isEmpty());

        temporaryDocument = 1;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(viewer.writeDocument("dropped.pvg", redLineDrawing()))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &drop);
        QCOMPARE(window->windowTitle(), QString("VORNA Viewer - dropped.pvg"));
        QCOMPARE(temporaryDocument, char(0));

        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QAction *item = window->whiteBackgroundItem;
        QVERIFY(!item->isCheckable() && !item->isChecked());
        for (int white : {1, 0}) {
            QTest::keyClick(window, Qt::Key_B, Qt::ControlModifier);
            QCOMPARE(int(ViewerSettings.whiteBackground), white);
            QVERIFY(item->isCheckable() && item->isChecked() == bool(white));
        }

        // A name holding the toolkit's "modified" placeholder is shown whole,
        // loaded into a shown window or into one shown after the load.
        const QByteArray marked = viewer.writeDocument("a[*]b.pvg", redLineDrawing()).toLocal8Bit();
        const QString markedTitle = "VORNA Viewer - a[*]b.pvg";
        loadDocument(window, viewer.view, marked.constData());
        QCOMPARE(window->windowHandle()->title(), markedTitle);
        QMainWindow later;
        loadDocument(&later, nullptr, marked.constData());
        later.show();
        QCOMPARE(later.windowHandle()->title(), markedTitle);

        window->move(300, 250);
        window->resize(700, 520);
        QTRY_COMPARE(geometry(), QList<int>({300, 250, 1000, 770, 700, 520}));
        QTRY_COMPARE(viewer.view->width(), 700); // the central view follows
        window->fileMenu->actions().at(2)->trigger(); // Save Settings
        QCOMPARE(readWholeFile(viewer.home.filePath(".kelvosettings")),
                 stateFileBytes("1.0", 0, {300, 250, 1000, 770, 700, 520}));
        if (window->logicalDpiX() == window->logicalDpiY()) { // else the aspect is not the drawing's
            for (int portrait : {1, 0}) {
                portraitOrientation = portrait;
                QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
                QTRY_COMPARE(geometry().mid(4), QList<int>({700, portrait ? 918 : 533}));
            }
        }

        // F1: the toolkit's about box, its version line first, in plain text.
        QTest::keyClick(window, Qt::Key_F1);
        QTRY_COMPARE(modalBoxes.seen.size(), 1);
        const SeenDialog about = modalBoxes.seen.takeFirst();
        QCOMPARE(about.title, QString("About Viewer"));
        QVERIFY(about.hasParent);
        QCOMPARE(about.textFormat, Qt::PlainText);
        QVERIFY2(about.text.startsWith("PVG File Viewer version 1.0.1\n") && !about.text.endsWith('\n')
                     && about.text.count('\n') == 9 && about.text.contains("Independent JPEG Group"),
                 qPrintable(about.text));

        // A name that is not UTF-8 is removed by its own bytes.
        temporaryDocument = 1;
        const QByteArray oddName = viewer.home.filePath("t").toLocal8Bit() + "\xff.pvg";
        QVERIFY(redLineDrawing().writeFile(oddName.toStdString()));
        copyText(CurrentDocument.path, oddName.constData());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Existing file name: .*/t.*\\.pvg$"));
        window->deleteTemporaryDocument();
        QVERIFY(::access(oddName.constData(), F_OK) != 0);

        // A non-empty directory in the document's place cannot be removed as a file.
        const QString blocked = viewer.home.filePath("blocked");
        QVERIFY(QDir().mkpath(blocked + "/inside"));
        copyText(CurrentDocument.path, blocked.toLocal8Bit().constData());
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Existing file name: " + blocked));
        QTest::ignoreMessage(QtDebugMsg, "Could not delete file");
        viewer.close();
        QVERIFY(QFile::exists(blocked));
        QVERIFY2(modalBoxes.seen.isEmpty(), qPrintable(modalBoxes.titlesAndTexts().join("; ")));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
