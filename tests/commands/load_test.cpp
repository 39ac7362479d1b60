// Loading a document and the Open command, in-process on a real main window:
// name resolution, the buffer, titles, status texts and every failure box.

#include "app/appwindow.h"
#include "common/optionstate.h"
#include "commands/documentfile.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>

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
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class LoadTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> start;     // the start-up directory
    std::unique_ptr<QTemporaryDir> elsewhere; // the current directory, which bare names ignore
    QPointer<AppWindow> window;
    const QString originalDirectory = QDir::currentPath();

    QString startFile(const QString &name) const { return start->filePath(name); }
    QString status() const { return window->statusBar()->currentMessage(); }
    QList<SeenDialog> load(const QByteArray &name)
    {
        ModalAnswerer answerer;
        window->load(name.constData());
        return answerer.seen;
    }

private Q_SLOTS:
    void init()
    {
        start = std::make_unique<QTemporaryDir>();
        elsewhere = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(elsewhere->path());
        InProcessViewer::resetProcessState(elsewhere->path());
        copyText(startDir, start->path().toLocal8Bit().constData());
        CurrentDocument = CurrentDocumentRecord{};
        window = new AppWindow();
        mainWindow = window;
    }

    void cleanup()
    {
        delete window.data();
        mainWindow = nullptr;
        releaseDocumentData();
        QDir::setCurrent(originalDirectory);
    }

    void aNameIsResolvedAndItsBytesHeld_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("path");       // "START/" stands for the start directory
        QTest::addColumn<QString>("exportBase"); // likewise
        QTest::newRow("bare name: the start directory") << QByteArray("plot.pvg") << "START/plot.pvg" << "START/plot";
        QTest::newRow("upper-case extension") << QByteArray("PLOT.PVG") << "START/PLOT.PVG" << "START/PLOT.PVG";
        QTest::newRow("a directory part") << QByteArray("sub/plot.pvg") << "sub/plot.pvg" << "sub/plot";
        QTest::newRow("a drive prefix") << QByteArray("C:plot.pvg") << "C:plot.pvg" << "C:plot";
        QTest::newRow("a backslash") << QByteArray("dir\\plot.pvg") << "dir\\plot.pvg" << "dir\\plot";
    }

    void aNameIsResolvedAndItsBytesHeld()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, path);
        QFETCH(QString, exportBase);
        path.replace("START/", start->path() + "/");
        exportBase.replace("START/", start->path() + "/");
        const QByteArray bytes = samplePicture();
        // The decoy in the current directory must not be read for a bare name.
        QVERIFY(writeFile(elsewhere->filePath(QString::fromLocal8Bit(name)), path.startsWith('/') ? "decoy" : bytes));
        QVERIFY(writeFile(startFile(QString::fromLocal8Bit(name)), bytes));

        QVERIFY(load(name).isEmpty());
        QCOMPARE(QString(CurrentDocument.path), path);
        QCOMPARE(QString(CurrentDocument.exportBase), exportBase);
        const QString base = QString(name).right(8); // every row's file name has 8 characters
        QCOMPARE(QString(CurrentDocument.name), base);
        QCOMPARE(window->windowTitle(), "VORNA Viewer - " + base);
        QCOMPARE(status(), "Loaded document " + QString(name));
        QCOMPARE(CurrentDocument.size, bytes.size());
        const auto *data = reinterpret_cast<const char *>(CurrentDocument.data);
        QCOMPARE(QByteArray(data, bytes.size() + 16), bytes + QByteArray(16, '\0'));
    }

    void aSignatureAloneIsADocument()
    {
        QVERIFY(writeFile(startFile("bare.pvg"), samplePicture().left(16)));
        QVERIFY(load("bare.pvg").isEmpty());
        QCOMPARE(CurrentDocument.size, 16);
    }

    void theExportBaseComesFromTheFirstLoadEvenAFailedOne()
    {
        QVERIFY(writeFile(startFile("plot.pvg"), samplePicture()));
        QCOMPARE(load("missing.pvg").size(), 1);
        QCOMPARE(QString(CurrentDocument.exportBase), startFile("missing"));
        QVERIFY(load("plot.pvg").isEmpty());
        QCOMPARE(QString(CurrentDocument.exportBase), startFile("missing"));
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
        const QString notPvg = "File is not a recognized PVG graphic format.";
        QTest::newRow("cannot be opened") << "missing.pvg" << QByteArray() << "Error opening file." << -1;
        QTest::newRow("empty") << "empty.pvg" << QByteArray("") << "Error opening file." << 0;
        QTest::newRow("a directory") << "dir.pvg" << QByteArray() << "Error opening file." << -1;
        QTest::newRow("a FIFO, without hanging") << "fifo.pvg" << QByteArray() << "Error opening file." << -1;
        QTest::newRow("over 2 GiB - 33 bytes") << "huge.pvg" << QByteArray() << "Error opening file." << -1;
        QTest::newRow("a path beyond the name buffer") << QString(1020, 'n') << QByteArray() << "Error opening file." << -1;
        QTest::newRow("15 bytes of the signature") << "short.pvg" << good.left(15) << notPvg << 15;
        QTest::newRow("the signature in another case") << "case.pvg" << wrongCase << notPvg << int(wrongCase.size());
        QTest::newRow("a text file") << "notes.pvg" << QByteArray("hello, world\n") << notPvg << 13;
    }

    void failures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(int, sizeAfter);

        QVERIFY(writeFile(startFile("good.pvg"), samplePicture()));
        QVERIFY(load("good.pvg").isEmpty());
        const int goodSize = CurrentDocument.size;
        const QByteArray exportBaseBefore(CurrentDocument.exportBase);

        const QString path = startFile(name);
        if (!content.isNull()) {
            QVERIFY(writeFile(path, content));
        } else if (name == "dir.pvg") {
            QVERIFY(QDir().mkdir(path));
        } else if (name == "fifo.pvg") {
            QCOMPARE(mkfifo(path.toLocal8Bit().constData(), 0600), 0);
        } else if (name == "huge.pvg") {
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(kLargestDocument + 1)); // sparse
        }

        // While the box is up nothing may be drawn from released bytes.
        QString titleUnderBox;
        bool dataUnderBox = true;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (QApplication::activeModalWidget() != nullptr && titleUnderBox.isEmpty()) {
                titleUnderBox = window->windowTitle();
                dataUnderBox = CurrentDocument.data != nullptr;
            }
        });
        watch.start(5);
        const QList<SeenDialog> boxes = load(name.toLocal8Bit());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QString("Error"));
        QCOMPARE(boxes[0].text, message);
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes[0].buttons, QStringList{"Ok"});
        QVERIFY(boxes[0].parent == window);
        QCOMPARE(titleUnderBox, QString("VORNA Viewer"));
        QVERIFY(!dataUnderBox);

        QCOMPARE(window->windowTitle(), QString("VORNA Viewer"));
        QCOMPARE(status(), "Error reading " + path);
        QCOMPARE(CurrentDocument.path[0], '\0');
        QVERIFY(CurrentDocument.data == nullptr);
        QCOMPARE(QString(CurrentDocument.name), QString("good.pvg"));
        QCOMPARE(QByteArray(CurrentDocument.exportBase), exportBaseBefore);
        QCOMPARE(CurrentDocument.size, sizeAfter == -1 ? goodSize : sizeAfter);
    }

    void loadingRepaintsTheView()
    {
        QVERIFY(writeFile(startFile("plot.pvg"), samplePicture()));
        copyText(CurrentDocument.path, "plot.pvg");
        auto *view = new DrawView(window, window);
        window->setCentralWidget(view);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(50);
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        view->installEventFilter(&counter);
        QVERIFY(load("plot.pvg").isEmpty());
        QTRY_VERIFY(counter.paints > 0);
        view->removeEventFilter(&counter);
    }

    void openLoadsThePickedFileAndClearsTheTemporaryFlag()
    {
        const QString picked = startFile("picked.pvg"), bad = startFile("bad.pvg");
        QVERIFY(writeFile(picked, samplePicture()));
        QVERIFY(writeFile(bad, "not a picture"));
        temporaryDocument = 1;
        {
            ModalAnswerer answerer({picked});
            window->choose();
            QCOMPARE(answerer.seen.size(), 1);
            QCOMPARE(answerer.seen[0].title, QString("Open File"));
            QCOMPARE(answerer.seen[0].nameFilter, QString("VORNA Graphics (*.pvg);;All Files (*)"));
            QVERIFY(answerer.seen[0].parent == window);
        }
        QCOMPARE(temporaryDocument, char(0));
        QCOMPARE(QString(CurrentDocument.path), picked);
        QCOMPARE(window->windowTitle(), QString("VORNA Viewer - picked.pvg"));
        QCOMPARE(status(), "Loaded document " + picked);

        // Cancelled, it changes nothing.
        temporaryDocument = 1;
        {
            ModalAnswerer answerer;
            window->choose();
        }
        QCOMPARE(temporaryDocument, char(1));
        QCOMPARE(QString(CurrentDocument.path), picked);
        QVERIFY(CurrentDocument.data != nullptr);

        // A picked file that fails to load still clears the flag.
        ModalAnswerer answerer({bad});
        window->choose();
        QCOMPARE(answerer.titlesAndTexts().value(1), QString("Error: File is not a recognized PVG graphic format."));
        QCOMPARE(temporaryDocument, char(0));
    }
};

QTEST_MAIN(LoadTest)
#include "load_test.moc"
