// Loading a document and the Open command, in-process on a real main window:
// name resolution, the buffer, titles, status texts and every failure box.

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "tests/app/modalcatcher.h"
#include "tests/support/pvgwriter.h"
#include "view/drawview.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPointer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray samplePicture()
{
    PvgWriter writer;
    writer.lineColour(1).moveTo(100, 100).lineTo(4000, 3000).end();
    return QByteArray::fromStdString(writer.bytes());
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray local8(const QString &text)
{
    return text.toLocal8Bit();
}

// What the window looked like while a failure box was up.
struct DuringBox {
    QString title;
    bool dataHeld = true;
};

} // namespace

class LoadTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> start;   // the start-up directory
    std::unique_ptr<QTemporaryDir> elsewhere; // the current directory, which bare names ignore
    QPointer<AppWindow> window;
    QString savedCurrentDirectory;

    QString startFile(const QString &name) const { return start->filePath(name); }

    QString status() const { return window->statusBar()->currentMessage(); }

    // load() with a catcher that answers the box and records the state under it.
    QList<CaughtBox> loadAnsweringBoxes(const QByteArray &name, DuringBox *during = nullptr)
    {
        ModalCatcher catcher([this, during](QWidget *modal) {
            if (during != nullptr) {
                during->title = window->windowTitle();
                during->dataHeld = CurrentDocument.data != nullptr;
            }
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                box->buttons().first()->click();
        });
        window->load(name.constData());
        return catcher.boxes;
    }

    void loadGoodDocument(const QString &name)
    {
        QVERIFY(writeFile(startFile(name), samplePicture()));
        QVERIFY(loadAnsweringBoxes(local8(name)).isEmpty());
        QVERIFY(CurrentDocument.data != nullptr);
    }

private Q_SLOTS:
    void init()
    {
        start = std::make_unique<QTemporaryDir>();
        elsewhere = std::make_unique<QTemporaryDir>();
        savedCurrentDirectory = QDir::currentPath();
        QDir::setCurrent(elsewhere->path());
        copyText(startDir, local8(start->path()).constData());
        copyText(homeDir, local8(elsewhere->path()).constData());
        copyText(appDir, local8(elsewhere->path()).constData());
        ViewerSettings = ViewerSettingsRecord{};
        setDefaultWindowGeometry();
        temporaryDocument = 0;
        serverName[0] = '\0';
        releaseDocumentData();
        CurrentDocument = CurrentDocumentRecord{};
        window = new AppWindow();
        mainWindow = window;
    }

    void cleanup()
    {
        delete window.data();
        mainWindow = nullptr;
        releaseDocumentData();
        QDir::setCurrent(savedCurrentDirectory);
    }

    void aBareNameIsReadFromTheStartDirectory()
    {
        const QByteArray bytes = samplePicture();
        QVERIFY(writeFile(startFile("plot.pvg"), bytes));
        QVERIFY(writeFile(elsewhere->filePath("plot.pvg"), "not this one"));

        QVERIFY(loadAnsweringBoxes("plot.pvg").isEmpty());
        QCOMPARE(QString(CurrentDocument.path), start->path() + "/plot.pvg");
        QCOMPARE(QString(CurrentDocument.name), QString("plot.pvg"));
        QCOMPARE(window->windowTitle(), QString("VORNA Viewer - plot.pvg"));
        QCOMPARE(status(), QString("Loaded document plot.pvg"));
        QCOMPARE(CurrentDocument.size, bytes.size());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(CurrentDocument.data), bytes.size()), bytes);
    }

    void sixteenZeroBytesFollowTheFile()
    {
        // Bytes that do not end the picture, so the zeros are what a walk would meet.
        const QByteArray bytes = samplePicture() + QByteArray(5000, 'A');
        QVERIFY(writeFile(startFile("long.pvg"), bytes));
        QVERIFY(loadAnsweringBoxes("long.pvg").isEmpty());
        const auto *tail = reinterpret_cast<const char *>(CurrentDocument.data) + bytes.size();
        QCOMPARE(QByteArray(tail, 16), QByteArray(16, '\0'));
    }

    void aNameWithADirectoryIsUsedUnchanged()
    {
        QDir::setCurrent(start->path());
        QVERIFY(writeFile(startFile("sub/plot.pvg"), samplePicture()));
        QVERIFY(loadAnsweringBoxes("sub/plot.pvg").isEmpty());
        QCOMPARE(QString(CurrentDocument.path), QString("sub/plot.pvg"));
        QCOMPARE(window->windowTitle(), QString("VORNA Viewer - plot.pvg"));
        QCOMPARE(status(), QString("Loaded document sub/plot.pvg"));
    }

    void backslashesAndColonsAlsoMarkADirectory_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("drive prefix") << QByteArray("C:plot.pvg");
        QTest::newRow("backslash") << QByteArray("dir\\plot.pvg");
    }

    void backslashesAndColonsAlsoMarkADirectory()
    {
        QFETCH(QByteArray, name);
        // Written in the current directory under exactly that name.
        QVERIFY(writeFile(elsewhere->filePath(QString::fromLocal8Bit(name)), samplePicture()));
        QVERIFY(loadAnsweringBoxes(name).isEmpty());
        QCOMPARE(QByteArray(CurrentDocument.path), name);
        QCOMPARE(window->windowTitle(), QString("VORNA Viewer - plot.pvg"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: made by the test body
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("sizeAfter");       // -1: the earlier document's size stays

        const QByteArray good = samplePicture();
        QByteArray wrongCase = good;
        wrongCase[1] = 't';
        QTest::newRow("the file cannot be opened")
            << "missing.pvg" << QByteArray() << "Error opening file." << -1;
        QTest::newRow("the file is empty") << "empty.pvg" << QByteArray("") << "Error opening file." << 0;
        QTest::newRow("a directory") << "dir.pvg" << QByteArray() << "Error opening file." << -1;
        QTest::newRow("a FIFO, without hanging")
            << "fifo.pvg" << QByteArray() << "Error opening file." << -1;
        QTest::newRow("over 2 GiB - 33 bytes, which the size cannot hold")
            << "huge.pvg" << QByteArray() << "Error opening file." << -1;
        QTest::newRow("15 bytes of the signature")
            << "short.pvg" << good.left(15) << "File is not a recognized PVG graphic format." << 15;
        QTest::newRow("the signature in another case")
            << "case.pvg" << wrongCase << "File is not a recognized PVG graphic format."
            << int(wrongCase.size());
        QTest::newRow("a text file") << "notes.pvg" << QByteArray("hello, world\n")
                                     << "File is not a recognized PVG graphic format." << 13;
    }

    void failures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(int, sizeAfter);

        loadGoodDocument("good.pvg");
        const int goodSize = CurrentDocument.size;
        const QByteArray exportBaseBefore(CurrentDocument.exportBase);

        const QString path = startFile(name);
        if (!content.isNull()) {
            QVERIFY(writeFile(path, content));
        } else if (name == "dir.pvg") {
            QVERIFY(QDir().mkdir(path));
        } else if (name == "fifo.pvg") {
            QCOMPARE(mkfifo(local8(path).constData(), 0600), 0);
        } else if (name == "huge.pvg") {
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::WriteOnly));
            QVERIFY(huge.resize(kLargestDocument + 1)); // sparse: no disk space used
        }

        DuringBox during;
        const QList<CaughtBox> boxes = loadAnsweringBoxes(local8(name), &during);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QString("Error"));
        QCOMPARE(boxes[0].text, message);
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes[0].buttons, QStringList{"Ok"});
        QVERIFY(boxes[0].parent == window);

        // While the box was up, nothing could be drawn from released bytes.
        QCOMPARE(during.title, QString("VORNA Viewer"));
        QVERIFY(!during.dataHeld);

        QCOMPARE(window->windowTitle(), QString("VORNA Viewer"));
        QCOMPARE(status(), "Error reading " + path);
        QCOMPARE(CurrentDocument.path[0], '\0');
        QVERIFY(CurrentDocument.data == nullptr);
        QCOMPARE(QString(CurrentDocument.name), QString("good.pvg"));
        QCOMPARE(QByteArray(CurrentDocument.exportBase), exportBaseBefore);
        QCOMPARE(CurrentDocument.size, sizeAfter == -1 ? goodSize : sizeAfter);
    }

    void aSignatureAloneIsADocument()
    {
        QVERIFY(writeFile(startFile("bare.pvg"), samplePicture().left(16)));
        QVERIFY(loadAnsweringBoxes("bare.pvg").isEmpty());
        QCOMPARE(CurrentDocument.size, 16);
    }

    void anOverlongPathIsRefusedWithoutOverflow_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("bare name that outgrows the buffer with the start directory")
            << QByteArray(1020, 'n');
        QTest::newRow("very long path") << ("/" + QByteArray(5000, 'd') + "/plot.pvg");
    }

    void anOverlongPathIsRefusedWithoutOverflow()
    {
        QFETCH(QByteArray, name);
        loadGoodDocument("good.pvg");
        const QList<CaughtBox> boxes = loadAnsweringBoxes(name);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, QString("Error opening file."));
        const QString resolved = name.startsWith('/') ? QString(name) : start->path() + "/" + name;
        QCOMPARE(status(), "Error reading " + resolved);
        QCOMPARE(CurrentDocument.path[0], '\0');
        QVERIFY(CurrentDocument.data == nullptr);
        QCOMPARE(window->windowTitle(), QString("VORNA Viewer"));
    }

    void theExportBaseComesFromTheFirstLoad()
    {
        QDir::setCurrent(start->path());
        QVERIFY(writeFile(startFile("a/b/plot.pvg"), samplePicture()));
        QVERIFY(writeFile(startFile("other.pvg"), samplePicture()));
        QVERIFY(loadAnsweringBoxes("a/b/plot.pvg").isEmpty());
        QCOMPARE(QByteArray(CurrentDocument.exportBase), QByteArray("a/b/plot"));
        QVERIFY(loadAnsweringBoxes("other.pvg").isEmpty());
        QCOMPARE(QByteArray(CurrentDocument.exportBase), QByteArray("a/b/plot"));
    }

    void theExportBaseOfABareName()
    {
        QVERIFY(writeFile(startFile("plot.pvg"), samplePicture()));
        QVERIFY(loadAnsweringBoxes("plot.pvg").isEmpty());
        QCOMPARE(QString(CurrentDocument.exportBase), start->path() + "/plot");
    }

    void theExportBaseKeepsAnUpperCaseExtension()
    {
        QVERIFY(writeFile(startFile("PLOT.PVG"), samplePicture()));
        QVERIFY(loadAnsweringBoxes("PLOT.PVG").isEmpty());
        QCOMPARE(QString(CurrentDocument.exportBase), start->path() + "/PLOT.PVG");
    }

    void theExportBaseIsSetEvenWhenTheLoadFails()
    {
        QCOMPARE(loadAnsweringBoxes("missing.pvg").size(), 1);
        QCOMPARE(QString(CurrentDocument.exportBase), start->path() + "/missing");
    }

    void aGivenExportBaseIsKept()
    {
        copyText(CurrentDocument.exportBase, "given");
        QVERIFY(writeFile(startFile("plot.pvg"), samplePicture()));
        QVERIFY(loadAnsweringBoxes("plot.pvg").isEmpty());
        QCOMPARE(QByteArray(CurrentDocument.exportBase), QByteArray("given"));
    }

    void loadingRepaintsTheView()
    {
        QVERIFY(writeFile(startFile("plot.pvg"), samplePicture()));
        copyText(CurrentDocument.path, "plot.pvg");
        auto *view = new DrawView(window);
        window->setCentralWidget(view);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        QTest::qWait(50);
        view->installEventFilter(&counter);
        QVERIFY(loadAnsweringBoxes("plot.pvg").isEmpty());
        QTRY_VERIFY(counter.paints > 0);
        view->removeEventFilter(&counter);
    }

    void openLoadsThePickedFileAndClearsTheTemporaryFlag()
    {
        QVERIFY(writeFile(startFile("picked.pvg"), samplePicture()));
        temporaryDocument = 1;
        QString caption;
        QStringList filters;
        QWidget *parent = nullptr;
        const QString picked = startFile("picked.pvg");
        ModalCatcher catcher([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (dialog == nullptr)
                return;
            caption = dialog->windowTitle();
            filters = dialog->nameFilters();
            parent = dialog->parentWidget();
            ModalCatcher::typeIntoFileDialog(dialog, picked);
        });
        window->choose();
        QCOMPARE(caption, QString("Open File"));
        QCOMPARE(filters, (QStringList{"VORNA Graphics (*.pvg)", "All Files (*)"}));
        QVERIFY(parent == window);
        QCOMPARE(temporaryDocument, char(0));
        QCOMPARE(QString(CurrentDocument.path), picked);
        QCOMPARE(window->windowTitle(), QString("VORNA Viewer - picked.pvg"));
        QCOMPARE(status(), "Loaded document " + picked);
    }

    void openClearsTheTemporaryFlagEvenWhenTheLoadFails()
    {
        QVERIFY(writeFile(startFile("bad.pvg"), "not a picture"));
        temporaryDocument = 1;
        QStringList boxTexts;
        ModalCatcher catcher([&](QWidget *modal) {
            if (auto *dialog = qobject_cast<QFileDialog *>(modal))
                ModalCatcher::typeIntoFileDialog(dialog, startFile("bad.pvg"));
            else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                boxTexts << box->text();
                box->buttons().first()->click();
            }
        });
        window->choose();
        QCOMPARE(boxTexts, QStringList{"File is not a recognized PVG graphic format."});
        QCOMPARE(temporaryDocument, char(0));
        QCOMPARE(CurrentDocument.path[0], '\0');
    }

    void cancellingOpenChangesNothing()
    {
        loadGoodDocument("good.pvg");
        temporaryDocument = 1;
        const QByteArray pathBefore(CurrentDocument.path);
        ModalCatcher catcher([](QWidget *modal) {
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        });
        window->choose();
        QCOMPARE(catcher.dialogsSeen, 1);
        QCOMPARE(temporaryDocument, char(1));
        QCOMPARE(QByteArray(CurrentDocument.path), pathBefore);
        QVERIFY(CurrentDocument.data != nullptr);
        QCOMPARE(window->windowTitle(), QString("VORNA Viewer - good.pvg"));
    }
};

QTEST_MAIN(LoadTest)
#include "load_test.moc"
