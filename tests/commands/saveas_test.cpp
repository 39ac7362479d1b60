// Save As: the dialog, the default extension, the byte-exact copy and the
// failures a user must be told about.

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "commands/currentdocument.h"
#include "tests/commands/export_support.h"

#include <QDir>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class SaveAsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir root;
    QString documentPath;
    QByteArray documentBytes;

    QString inRoot(const QString &name) const { return root.path() + QLatin1Char('/') + name; }
    QString statusText() const { return mainWindow->statusBar()->currentMessage(); }
    static void saveAs() { QVERIFY(QMetaObject::invokeMethod(mainWindow, "saveAs")); }
    void loadDocument(const QString &path) { mainWindow->load(path.toLocal8Bit().constData()); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("home")));
        documentPath = inRoot(QStringLiteral("plot.pvg"));
        documentBytes = QByteArray::fromStdString(redCrossDrawing());
        QVERIFY(writeWholeFile(documentPath, documentBytes));
        startViewer(inRoot(QStringLiteral("home")), documentPath);
        QVERIFY(CurrentDocument.data != nullptr);
    }

    void init()
    {
        if (CurrentDocument.data == nullptr)
            loadDocument(documentPath);
        mainWindow->statusBar()->clearMessage();
    }

    void withoutADocumentThereIsNothingToSave()
    {
        dropDocument();
        ModalAnswerer answerer({inRoot(QStringLiteral("never"))});
        saveAs();
        QCOMPARE(statusText(), QStringLiteral("Nothing to save"));
        QVERIFY(answerer.seen.isEmpty());
        QVERIFY(!QFile::exists(inRoot(QStringLiteral("never.pvg"))));
    }

    void theCopyHoldsExactlyTheBytesThatWereLoaded()
    {
        ModalAnswerer answerer({inRoot(QStringLiteral("copy"))});
        saveAs();

        QCOMPARE(answerer.seen.size(), 1);
        const SeenDialog &dialog = answerer.seen.first();
        QCOMPARE(dialog.objectName, QStringLiteral("Save Graphic File"));
        QCOMPARE(dialog.title, QStringLiteral("Save as"));
        QCOMPARE(dialog.nameFilter, QStringLiteral("VORNA Graphics (*.pvg);;All Files (*)"));
        QVERIFY(!dialog.nativeDialog);
        QCOMPARE(dialog.parent, static_cast<QWidget *>(mainWindow));

        const QString copyPath = inRoot(QStringLiteral("copy.pvg"));
        QCOMPARE(readWholeFile(copyPath), documentBytes);
        QCOMPARE(statusText(), copyPath + QStringLiteral(" saved."));
    }

    void theDefaultExtensionIsAddedOnlyToANameWithoutOne_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("bare") << "report" << "report.pvg";
        QTest::newRow("upper-case extension") << "upper.PVG" << "upper.PVG";
        QTest::newRow("other extension") << "report.txt" << "report.txt";
        QTest::newRow("old") << "report.old" << "report.old";
        QTest::newRow("dotted directory") << "my.dir/report" << "my.dir/report.pvg";
    }

    void theDefaultExtensionIsAddedOnlyToANameWithoutOne()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("my.dir")));
        ModalAnswerer answerer({inRoot(typed)});
        saveAs();
        QCOMPARE(readWholeFile(inRoot(written)), documentBytes);
        QCOMPARE(statusText(), inRoot(written) + QStringLiteral(" saved."));
        if (typed != written)
            QVERIFY(!QFile::exists(inRoot(typed)));
    }

    void savingOntoTheLoadedFileWritesTheBytesHeldInMemory()
    {
        const QString selfPath = inRoot(QStringLiteral("self.pvg"));
        QVERIFY(writeWholeFile(selfPath, documentBytes));
        loadDocument(selfPath);
        QVERIFY(writeWholeFile(selfPath, QByteArrayLiteral("changed on disk after loading")));

        ModalAnswerer answerer({selfPath});
        saveAs();
        QCOMPARE(readWholeFile(selfPath), documentBytes);
        loadDocument(documentPath);
    }

    void aCancelledDialogWritesNothing()
    {
        const QStringList before = QDir(root.path()).entryList(QDir::Files);
        ModalAnswerer answerer({QString()});
        saveAs();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(QDir(root.path()).entryList(QDir::Files), before);
        QVERIFY(statusText().isEmpty());
    }

    void aFileThatCannotBeCreatedIsReported()
    {
        const QString target = inRoot(QStringLiteral("no-such-directory/copy"));
        ModalAnswerer answerer({target});
        saveAs();

        QCOMPARE(answerer.seen.size(), 2);
        const SeenDialog &box = answerer.seen.at(1);
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.text, QStringLiteral("Error opening ") + target + QStringLiteral(".pvg"));
        QCOMPARE(box.parent, static_cast<QWidget *>(mainWindow));
        QVERIFY(statusText().isEmpty());
    }

    // A disk that fills up during the write: the size limit makes the write fail
    // after the file was opened, as a full disk would.
    void aWriteThatFailsIsReportedAndNotCalledSaved()
    {
        const QString target = inRoot(QStringLiteral("truncated.pvg"));
        rlimit original{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &original), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = original;
        small.rlim_cur = 8;

        ModalAnswerer answerer({target});
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        saveAs();
        setrlimit(RLIMIT_FSIZE, &original);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(answerer.seen.size(), 2);
        const SeenDialog &box = answerer.seen.at(1);
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.text, QStringLiteral("Error writing ") + target);
        QCOMPARE(box.parent, static_cast<QWidget *>(mainWindow));
        QVERIFY(!statusText().endsWith(QStringLiteral(" saved.")));
    }

    void aWriteToAFullDeviceIsReported()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        const QString link = inRoot(QStringLiteral("full.pvg"));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), link));

        ModalAnswerer answerer({link});
        saveAs();
        QCOMPARE(answerer.seen.size(), 2);
        const SeenDialog &box = answerer.seen.at(1);
        QCOMPARE(box.title, QStringLiteral("Error"));
        QVERIFY2(box.text.startsWith(QStringLiteral("Error writing ")), qPrintable(box.text));
        QVERIFY(!statusText().endsWith(QStringLiteral(" saved.")));
        QVERIFY(!QFile::exists(QStringLiteral("/dev/full.pvg")));
    }
};

QTEST_MAIN(SaveAsTest)
#include "saveas_test.moc"
