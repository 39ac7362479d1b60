// The document commands in the running viewer: loading and Open, Save As, the
// JPEG and EPS exports from the menu and the command chain, File Properties
// and the About box.
#include "app/appwindow.h"
#include "commands/documentfile.h"
#include "commands/fileprop.h"
#include "common/currentdocument.h"
#include "common/exportpath.h"
#include "common/optionstate.h"
#include "stream/pvgmeta.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QApplication>
#include <QGroupBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <sys/stat.h>

namespace {
QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A thick red cross through the page centre; the horizontal bar starts a tenth of the way in.
PvgWriter redCross()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100);
    return writer.moveTo(400, 1560).lineTo(3700, 1560).moveTo(2048, 300).lineTo(2048, 2800).end();
}

bool isRed(QRgb pixel) { return qRed(pixel) > 180 && qGreen(pixel) < 100 && qBlue(pixel) < 100; }
bool isWhite(QRgb pixel) { return qGray(pixel) > 230; }
} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

    InProcessViewer viewer;
    QTemporaryDir start, elsewhere; // the start-up directory; the current one, which bare names ignore
    QString documentPath;
    QByteArray picture;

    AppWindow *window() { return viewer.window; }
    QString inHome(const QString &name) const { return viewer.home.filePath(name); }
    QString status() { return window()->statusBar()->currentMessage(); }
    QList<SeenDialog> load(const QString &name, const QStringList &typed = {})
    {
        ModalAnswerer answerer(typed);
        window()->load(name.toLocal8Bit().constData());
        return answerer.seen;
    }
    // Runs a window slot by name (most are private), answering its dialogs.
    QList<SeenDialog> run(const char *slot, const QString &typed = QString())
    {
        ModalAnswerer answerer({typed});
        QMetaObject::invokeMethod(window(), slot, Qt::DirectConnection);
        return answerer.seen;
    }
    // An export as a pending command with the given base, or from the menu when a name is typed.
    QList<SeenDialog> runExport(int command, const QString &base, const QString &typed = QString())
    {
        pendingCommands = typed.isEmpty() ? command : 0;
        copyText(CurrentDocument.exportBase, base.toLocal8Bit().constData());
        return run(command == JpegExportCommand ? "ExportJpeg" : "ExportEPS", typed);
    }
    // Runs action on the next modal widget from inside its event loop.
    void onNextModal(std::function<void(QWidget *)> action)
    {
        QTimer::singleShot(0, this, [action] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            action(QApplication::activeModalWidget());
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        documentPath = viewer.writeDocument("plot.pvg", redCross());
        picture = readWholeFile(documentPath);
        viewer.open(documentPath);
        viewer.setViewSize(640, 480);
        QVERIFY(CurrentDocument.data != nullptr);
    }

    void init()
    {
        pendingCommands = 0;
        cwdOption[0] = '\0';
        copyText(startDir, start.path().toLocal8Bit().constData());
        QDir::setCurrent(viewer.home.path());
        if (CurrentDocument.data == nullptr || QString(CurrentDocument.path) != documentPath)
            load(documentPath);
        CurrentDocument.exportBase[0] = '\0';
        window()->statusBar()->clearMessage();
    }

    void aNameIsResolvedAndItsBytesHeld_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");       // "START/" stands for the start directory
        QTest::addColumn<QString>("exportBase"); // likewise
        QTest::newRow("bare name: the start directory") << "plot.pvg" << "START/plot.pvg" << "START/plot";
        QTest::newRow("upper-case extension") << "PLOT.PVG" << "START/PLOT.PVG" << "START/PLOT.PVG";
        QTest::newRow("a directory part") << "sub/plot.pvg" << "sub/plot.pvg" << "sub/plot";
        QTest::newRow("a drive prefix") << "C:plot.pvg" << "C:plot.pvg" << "C:plot";
        QTest::newRow("a backslash") << "dir\\plot.pvg" << "dir\\plot.pvg" << "dir\\plot";
    }

    void aNameIsResolvedAndItsBytesHeld()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(QString, exportBase);
        path.replace("START/", start.path() + "/");
        exportBase.replace("START/", start.path() + "/");
        QDir::setCurrent(elsewhere.path());
        // The decoy in the current directory must not be read for a bare name.
        QVERIFY(writeFile(elsewhere.filePath(name), path.startsWith('/') ? "decoy" : picture));
        QVERIFY(writeFile(start.filePath(name), picture));
        QVERIFY(load(name).isEmpty());
        QCOMPARE(QString(CurrentDocument.path) + " " + CurrentDocument.exportBase, path + " " + exportBase);
        QCOMPARE(QString(CurrentDocument.name), name.right(8)); // every row's file name has 8 characters
        QCOMPARE(window()->windowTitle(), "VORNA Viewer - " + name.right(8));
        QCOMPARE(status(), "Loaded document " + name);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(CurrentDocument.data), picture.size() + 16),
                 picture + QByteArray(16, '\0'));
        QCOMPARE(CurrentDocument.size, picture.size());
    }

    void theExportBaseComesFromTheFirstLoadEvenAFailedOneAndASignatureIsADocument()
    {
        QCOMPARE(load(start.filePath("missing.pvg")).size(), 1);
        QVERIFY(writeFile(start.filePath("bare.pvg"), picture.left(16)));
        QVERIFY(load("bare.pvg").isEmpty());
        QCOMPARE(CurrentDocument.size, 16);
        QCOMPARE(QString(CurrentDocument.exportBase), start.filePath("missing"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: made by the test body
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("sizeAfter");      // -1: the earlier document's size stays
        QByteArray wrongCase = picture;
        wrongCase[1] = 't';
        const QString open = "Error opening file.", notPvg = "File is not a recognized PVG graphic format.";
        QTest::newRow("cannot be opened") << "missing.pvg" << QByteArray() << open << -1;
        QTest::newRow("empty") << "empty.pvg" << QByteArray("") << open << 0;
        QTest::newRow("a directory") << "dir.pvg" << QByteArray() << open << -1;
        QTest::newRow("a FIFO, without hanging") << "fifo.pvg" << QByteArray() << open << -1;
        QTest::newRow("over 2 GiB - 33 bytes") << "huge.pvg" << QByteArray() << open << -1;
        QTest::newRow("a path beyond the name buffer") << QString(1020, 'n') << QByteArray() << open << -1;
        QTest::newRow("15 bytes of the signature") << "short.pvg" << picture.left(15) << notPvg << 15;
        QTest::newRow("the signature in another case") << "case.pvg" << wrongCase << notPvg << int(wrongCase.size());
    }

    void failures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(int, sizeAfter);
        const QString path = start.filePath(name);
        if (!content.isNull())
            QVERIFY(writeFile(path, content));
        else if (name == "dir.pvg")
            QVERIFY(QDir().mkpath(path));
        else if (name == "fifo.pvg")
            QVERIFY(QFile::exists(path) || mkfifo(path.toLocal8Bit().constData(), 0600) == 0);
        else if (name == "huge.pvg")
            QVERIFY(writeFile(path, "") && QFile(path).resize(kLargestDocument + 1)); // sparse
        const QByteArray exportBaseBefore = QByteArray("kept");
        copyText(CurrentDocument.exportBase, "kept");

        // While the box is up nothing may be drawn from released bytes.
        QString titleUnderBox;
        bool dataUnderBox = true;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (QApplication::activeModalWidget() != nullptr && titleUnderBox.isEmpty()) {
                titleUnderBox = window()->windowTitle();
                dataUnderBox = CurrentDocument.data != nullptr;
            }
        });
        watch.start(5);
        const QList<SeenDialog> boxes = load(name);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title + ": " + boxes[0].text, "Error: " + message);
        QVERIFY(boxes[0].icon == QMessageBox::Critical && boxes[0].buttons == QStringList{"Ok"});
        QVERIFY(boxes[0].parent == window());
        QCOMPARE(titleUnderBox, QString("VORNA Viewer"));
        QVERIFY(!dataUnderBox);
        QCOMPARE(window()->windowTitle(), QString("VORNA Viewer"));
        QCOMPARE(status(), "Error reading " + path);
        QVERIFY(CurrentDocument.path[0] == '\0' && CurrentDocument.data == nullptr);
        QCOMPARE(QString(CurrentDocument.name), QString("plot.pvg"));
        QCOMPARE(QByteArray(CurrentDocument.exportBase), exportBaseBefore);
        QCOMPARE(CurrentDocument.size, sizeAfter == -1 ? picture.size() : sizeAfter);
    }

    void openLoadsThePickedFileAndClearsTheTemporaryFlag()
    {
        const QString picked = start.filePath("picked.pvg"), bad = start.filePath("bad.pvg");
        QVERIFY(writeFile(picked, picture) && writeFile(bad, "not a picture"));
        temporaryDocument = 1;
        const QList<SeenDialog> seen = run("choose", picked);
        QCOMPARE(seen.value(0).title + " " + seen.value(0).nameFilter, "Open File VORNA Graphics (*.pvg);;All Files (*)");
        QVERIFY(seen.value(0).parent == window());
        QCOMPARE(temporaryDocument, char(0));
        QCOMPARE(window()->windowTitle() + " " + status(), "VORNA Viewer - picked.pvg Loaded document " + picked);
        temporaryDocument = 1;
        run("choose"); // cancelled, it changes nothing
        QVERIFY(temporaryDocument == 1 && QString(CurrentDocument.path) == picked && CurrentDocument.data != nullptr);
        // A picked file that fails to load still clears the flag.
        ModalAnswerer answerer({bad});
        window()->choose();
        QCOMPARE(answerer.titlesAndTexts().value(1), QString("Error: File is not a recognized PVG graphic format."));
        QCOMPARE(temporaryDocument, char(0));
    }

    void saveAsCopiesTheBytesThatWereLoaded_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("no extension") << "copy" << "copy.pvg";
        QTest::newRow("upper-case extension") << "upper.PVG" << "upper.PVG";
        QTest::newRow("other extension") << "report.txt" << "report.txt";
        QTest::newRow("dotted directory") << "my.dir/report" << "my.dir/report.pvg";
        QTest::newRow("onto the loaded file, changed on disk") << "plot.pvg" << "plot.pvg";
    }

    void saveAsCopiesTheBytesThatWereLoaded()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QVERIFY(QDir(viewer.home.path()).mkpath("my.dir") && writeFile(documentPath, "changed on disk after loading"));
        const QList<SeenDialog> seen = run("saveAs", inHome(typed));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].objectName + "|" + seen[0].title + "|" + seen[0].nameFilter,
                 QString("Save Graphic File|Save as|VORNA Graphics (*.pvg);;All Files (*)"));
        QVERIFY(!seen[0].nativeDialog && seen[0].parent == window());
        QCOMPARE(readWholeFile(inHome(written)), picture);
        QVERIFY(typed == written || !QFile::exists(inHome(typed)));
        QCOMPARE(status(), inHome(written) + " saved.");
        QVERIFY(writeFile(documentPath, picture));
    }

    void saveAsFailuresAreReportedAndNotCalledSaved()
    {
        QVERIFY(QFile::link("/dev/full", inHome("full.pvg"))); // devices are refused before writing
        for (const auto &[typed, message] : {std::pair{inHome("nodir/copy"), "Error opening " + inHome("nodir/copy.pvg")},
                                             std::pair{inHome("full.pvg"), "Error opening " + inHome("full.pvg")}}) {
            const QList<SeenDialog> seen = run("saveAs", typed);
            QCOMPARE(seen.size(), 2);
            QCOMPARE(seen[1].title + ": " + seen[1].text, "Error: " + message);
            QVERIFY(seen[1].parent == window() && status().isEmpty());
        }
        releaseDocumentData();
        QVERIFY(run("saveAs", inHome("never")).isEmpty());
        QCOMPARE(status(), QStringLiteral("Nothing to save"));
    }

    void theMenuExportsAskForANameAndWriteTheirFormat()
    {
        for (bool jpeg : {true, false}) {
            const QList<SeenDialog> seen = runExport(jpeg ? JpegExportCommand : EpsExportCommand, {}, inHome("menu"));
            QCOMPARE(seen.size(), 1);
            QCOMPARE(seen[0].objectName + "|" + seen[0].title + "|" + seen[0].nameFilter,
                     jpeg ? "Export Graphic File|Export JPEG image|JPEG image (*.jpg);;All Files (*)"
                          : "Export Graphic File|Export EPS file|EPS file (*.eps);;All Files (*)");
            QVERIFY(!seen[0].nativeDialog && seen[0].parent == window());
            const QString written = inHome(jpeg ? "menu.jpg" : "menu.eps");
            QCOMPARE(QString(exportPath), written);
            QVERIFY(readWholeFile(written).startsWith(jpeg ? "\xFF\xD8\xFF" : "%!PS-Adobe-3.0 EPSF-3.0\n"));
        }
    }

    // Zoomed into the left quarter around the middle: part of the horizontal bar, none of the vertical one.
    void theJpegIsTheViewAtItsCurrentZoom()
    {
        const int w = viewer.view->width(), h = viewer.view->height();
        viewer.view->zoomRect.setCorners(0, h / 4, w / 4, h * 3 / 4);
        viewer.view->zoomMode = ZoomSet;
        runExport(JpegExportCommand, {}, inHome("zoomed"));
        viewer.view->zoomMode = ZoomIdle;
        const QImage image(inHome("zoomed.jpg"), "JPEG");
        QCOMPARE(image.size(), QSize(w, h));
        QVERIFY(isRed(image.pixel(w * 3 / 4, h / 2)));
        QVERIFY(isWhite(image.pixel(w / 5, h / 2))); // left of where the bar starts
        QVERIFY(isWhite(image.pixel(w / 2, h / 4))); // the vertical bar is outside
    }

    void exportsThatCannotBeWrittenAreReportedAndTheChainGoesOn()
    {
        QString longName = viewer.home.path(); // short components: the path is too long, not a name
        for (int i = 0; i < 5; ++i)
            longName += '/' + QString(200, QLatin1Char('a' + i));
        QCOMPARE(runExport(EpsExportCommand, {}, longName).value(1).text, "Export file name too long: " + longName + ".eps");
        const QString target = inHome("nodir/pic");
        for (const QList<SeenDialog> &seen : {runExport(JpegExportCommand, {}, target), runExport(JpegExportCommand, target)}) {
            QCOMPARE(seen.last().title + ": " + seen.last().text, "Save failed: Export failed for file: " + target + ".jpg");
            QVERIFY(!seen.last().hasParent);
        }
        QCOMPARE(pendingCommands, 0);
        // An empty export base stops without finishing the command.
        QVERIFY(runExport(JpegExportCommand, QString()).isEmpty());
        QCOMPARE(pendingCommands, int32_t(JpegExportCommand));
    }

    // A document whose extension is not ".pvg" keeps it in the export base, so
    // the command line would name the document itself.
    void anExportOntoTheDocumentIsRefusedAndTheChainGoesOn_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("exportBase");
        QTest::addColumn<bool>("inCwdOption");
        QTest::addColumn<QString>("typed"); // a name typed into the menu's dialog
        QTest::newRow("jpeg, full path") << int(JpegExportCommand) << inHome("plot.PVG") << false << "";
        QTest::newRow("eps, dot slash") << int(EpsExportCommand) << "./plot.PVG" << false << "";
        QTest::newRow("eps, bare name in -cwd") << int(EpsExportCommand) << "plot.PVG" << true << "";
        QTest::newRow("eps from the menu") << int(EpsExportCommand) << "" << false << inHome("plot.PVG");
        QTest::newRow("a file that failed to load") << int(JpegExportCommand) << inHome("notes.PVG") << false << "";
    }

    void anExportOntoTheDocumentIsRefusedAndTheChainGoesOn()
    {
        QFETCH(int, command);
        QFETCH(QString, exportBase);
        QFETCH(bool, inCwdOption);
        QFETCH(QString, typed);
        const QString target = exportBase.contains("notes") ? exportBase : viewer.writeDocument("plot.PVG", redCross());
        const QByteArray bytes = target.contains("notes") ? "somebody's notes\n" : readWholeFile(target);
        QVERIFY(writeFile(target, bytes));
        QCOMPARE(load(target).size(), target.contains("notes") ? 1 : 0);
        if (inCwdOption)
            copyText(cwdOption, viewer.home.path().toLocal8Bit().constData());
        const QList<SeenDialog> seen = runExport(command, exportBase, typed);
        QCOMPARE(seen.size(), typed.isEmpty() ? 1 : 2);
        QCOMPARE(seen.last().title, QStringLiteral("Error"));
        QVERIFY2(seen.last().text.startsWith("Export would overwrite the document "), qPrintable(seen.last().text));
        QCOMPARE(readWholeFile(target), bytes);
        QCOMPARE(pendingCommands, 0);
    }

    void filePropertiesShowTheDocumentAndTheLastDrawing()
    {
        PvgWriter writer; // exactly 1000 segments, padded after its end to 1,234,567 bytes
        writer.colourMapEntry(2, 0, 0, 0).lineColour(2).moveTo(100, 100);
        for (int i = 1; i <= 1000; ++i)
            writer.lineTo(100 + (i % 2) * 3000, 100 + i * 2);
        writer.end().raw(std::string(1234567 - writer.bytes().size(), 'x'));
        QVERIFY(load(viewer.writeDocument("big.pvg", writer)).isEmpty());
        viewer.view->grab(); // one paint: sets the segment count
        QCOMPARE(segmentCount, 1000);
        const auto shown = [this] {
            QStringList texts;
            onNextModal([&](QWidget *modal) {
                auto *dialog = qobject_cast<FileProp *>(modal);
                QVERIFY(dialog != nullptr && dialog->isModal() && dialog->objectName() == "testdlg");
                texts << dialog->textFilenameOrig->text() << dialog->textFilename->text()
                      << dialog->textFilesize->text() << dialog->textVectorcnt->text();
                dialog->butOk->click();
            });
            QMetaObject::invokeMethod(window(), "fileProperties", Qt::DirectConnection);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // destroyed when it closed
            return texts << QString::number(window()->findChildren<FileProp *>().size());
        };
        QCOMPARE(shown(), (QStringList{inHome("big.pvg"), "big.pvg", "1,234,567 bytes", "1,000 line segments", "0"}));
        // After a failed load the values are stale, but the path is gone.
        QCOMPARE(load(inHome("missing.pvg")).size(), 1);
        QCOMPARE(shown(), (QStringList{"", "big.pvg", "1,234,567 bytes", "1,000 line segments", "0"}));
    }

    void theFilePropertiesDialogIsBuiltAsItsTableSays()
    {
        FileProp dialog;
        QStringList widgets{dialog.objectName() + " " + dialog.windowTitle() + QString(" %1x%2").arg(dialog.width()).arg(dialog.height())};
        for (QWidget *w : std::initializer_list<QWidget *>{dialog.groupBox1, dialog.textLabel2, dialog.textLabel3, dialog.textLabel4,
                           dialog.textLabel5, dialog.textFilenameOrig, dialog.textFilename, dialog.textFilesize,
                           dialog.textVectorcnt, dialog.butOk}) {
            const QRect g = w->geometry();
            widgets << QString("%1<%2 %3,%4 %5x%6 '%7'").arg(w->objectName(), w->parentWidget()->objectName())
                           .arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height())
                           .arg(w->property(w->property("text").isValid() ? "text" : "title").toString());
        }
        QCOMPARE(widgets.join('\n'), QString("FileProp File Properties 452x158\n"
            "groupBox1<FileProp 10,10 430x100 ''\ntextLabel2<groupBox1 20,10 100x20 'Full Path:'\n"
            "textLabel3<groupBox1 20,30 100x20 'Filename:'\ntextLabel4<groupBox1 20,50 100x20 'File Size:'\n"
            "textLabel5<groupBox1 20,70 100x20 'Vector Count:'\ntextFilenameOrig<groupBox1 120,10 280x20 ''\n"
            "textFilename<groupBox1 120,30 280x20 'filename1'\ntextFilesize<groupBox1 120,50 180x20 'filesize'\n"
            "textVectorcnt<groupBox1 120,70 180x20 'vector count'\nbutOk<FileProp 190,120 82x26 'Ok'"));
        dialog.setResult(5);
        QTimer::singleShot(0, dialog.butOk, &QPushButton::click);
        QCOMPARE(dialog.exec(), 0);
        char buffer[8] = "#######";
        QCOMPARE(QByteArray(formatThousands(1234567, buffer, 6)), QByteArray("1,234")); // cut, never past the capacity
        QCOMPARE(buffer[6], '#');
        setlocale(LC_ALL, "de_DE.UTF-8"); // grouping with commas whatever the locale
        char wide[32];
        const QByteArray grouped = formatThousands(2147483647, wide, sizeof wide);
        setlocale(LC_ALL, "C");
        QCOMPARE(grouped, QByteArray("2,147,483,647"));
    }

    void theAboutBoxShowsVersionAndNoticesAsPlainText()
    {
        QString text;
        onNextModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box != nullptr && box->windowTitle() == "About Viewer" && box->textFormat() == Qt::PlainText);
            QVERIFY(box->parentWidget() == window());
            text = box->text();
            box->buttons().first()->click();
        });
        QMetaObject::invokeMethod(window(), "about", Qt::DirectConnection);
        const QStringList lines = text.split('\n');
        QCOMPARE(lines.value(0), QString("PVG File Viewer version 1.0.1"));
        QVERIFY(lines.value(1).contains("rights reserved", Qt::CaseInsensitive));
        QVERIFY(lines.value(3).contains("Qt") && lines.value(4).contains("trademark"));
        QVERIFY(text.contains("Independent JPEG Group"));
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
