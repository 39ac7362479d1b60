// Save As: the dialog, the default extension, the byte-exact copy of what was
// loaded and the failures a user must be told about.

#include "app/appwindow.h"
#include "common/currentdocument.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"

#include <QDir>
#include <QStatusBar>
#include <QTest>

namespace {
QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class SaveAsTest : public QObject
{
    Q_OBJECT

    InProcessViewer viewer;
    QString documentPath;
    QByteArray documentBytes;

    QString inHome(const QString &name) const { return viewer.home.filePath(name); }
    QString statusText() const { return viewer.window->statusBar()->currentMessage(); }
    QList<SeenDialog> saveAs(const QString &typed)
    {
        ModalAnswerer answerer({typed});
        QMetaObject::invokeMethod(viewer.window, "saveAs");
        return answerer.seen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        documentPath = viewer.writeDocument("plot.pvg", redLineDrawing());
        documentBytes = readWholeFile(documentPath);
        viewer.open(documentPath);
        QVERIFY(CurrentDocument.data != nullptr);
    }

    void init()
    {
        if (CurrentDocument.data == nullptr || QString(CurrentDocument.path) != documentPath)
            viewer.window->load(documentPath.toLocal8Bit().constData());
        viewer.window->statusBar()->clearMessage();
    }

    void theCopyHoldsExactlyTheBytesThatWereLoaded()
    {
        const QList<SeenDialog> seen = saveAs(inHome("copy"));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].objectName, QStringLiteral("Save Graphic File"));
        QCOMPARE(seen[0].title, QStringLiteral("Save as"));
        QCOMPARE(seen[0].nameFilter, QStringLiteral("VORNA Graphics (*.pvg);;All Files (*)"));
        QVERIFY(!seen[0].nativeDialog);
        QVERIFY(seen[0].parent == viewer.window);
        QCOMPARE(readWholeFile(inHome("copy.pvg")), documentBytes);
        QCOMPARE(statusText(), inHome("copy.pvg") + " saved.");
    }

    void theDefaultExtensionIsAddedOnlyToANameWithoutOne_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("upper-case extension") << "upper.PVG" << "upper.PVG";
        QTest::newRow("other extension") << "report.txt" << "report.txt";
        QTest::newRow("dotted directory") << "my.dir/report" << "my.dir/report.pvg";
    }

    void theDefaultExtensionIsAddedOnlyToANameWithoutOne()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QVERIFY(QDir(viewer.home.path()).mkpath("my.dir"));
        saveAs(inHome(typed));
        QCOMPARE(readWholeFile(inHome(written)), documentBytes);
        QVERIFY(typed == written || !QFile::exists(inHome(typed)));
    }

    void savingOntoTheLoadedFileWritesTheBytesHeldInMemory()
    {
        QFile changed(documentPath);
        QVERIFY(changed.open(QIODevice::WriteOnly) && changed.write("changed on disk after loading") > 0);
        changed.close();
        saveAs(documentPath);
        QCOMPARE(readWholeFile(documentPath), documentBytes);
    }

    void failuresAreReportedAndNotCalledSaved_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("cannot be created") << inHome("no-such-directory/copy")
                                           << "Error opening " + inHome("no-such-directory/copy.pvg");
        // A device is refused before anything is written (a full disk is tested on a tmpfs).
        QTest::newRow("device") << inHome("full.pvg") << "Error opening " + inHome("full.pvg");
    }

    void failuresAreReportedAndNotCalledSaved()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        if (typed.endsWith("full.pvg"))
            QVERIFY(QFile::link("/dev/full", typed));
        const QList<SeenDialog> seen = saveAs(typed);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[1].title, QStringLiteral("Error"));
        QCOMPARE(seen[1].text, message);
        QVERIFY(seen[1].parent == viewer.window);
        QVERIFY(statusText().isEmpty());
    }

    void withoutADocumentThereIsNothingToSave()
    {
        releaseDocumentData();
        CurrentDocument.path[0] = '\0';
        QVERIFY(saveAs(inHome("never")).isEmpty());
        QCOMPARE(statusText(), QStringLiteral("Nothing to save"));
        QVERIFY(!QFile::exists(inHome("never.pvg")));
    }
};

QTEST_MAIN(SaveAsTest)
#include "saveas_test.moc"
