// The document commands in the running viewer: loading and Open, Save As, the
// JPEG and EPS exports from the menu and the command chain, File Properties.
#include "app/appwindow.h"
#include "commands/documentfile.h"
#include "commands/fileprop.h"
#include "common/currentdocument.h"
#include "common/optionstate.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testfiles.h"
#include "view/drawview.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <sys/stat.h>

namespace {
// A thick red cross through the page centre; the horizontal bar starts a tenth of the way in.
PvgWriter redCross()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100);
    return writer.moveTo(400, 1560).lineTo(3700, 1560).moveTo(2048, 300).lineTo(2048, 2800).end();
}
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
    // Runs a window slot by name (most are private), answering its dialogs.
    QList<SeenDialog> run(const char *slot, const QString &typed = QString())
    {
        ModalAnswerer answerer({typed});
        QMetaObject::invokeMethod(window(), slot, Qt::DirectConnection);
        return answerer.seen;
    }
    // The boxes it showed, "title: text" each.
    QStringList load(const QString &name)
    {
        ModalAnswerer answerer;
        window()->load(name.toLocal8Bit().constData());
        return answerer.titlesAndTexts();
    }
    // An export as a pending command with the given base, or from the menu when a name is typed.
    QList<SeenDialog> runExport(int command, const QString &base, const QString &typed = QString())
    {
        pendingCommands = typed.isEmpty() ? command : 0;
        copyText(CurrentDocument.exportBase, base.toLocal8Bit().constData());
        return run(command == JpegExportCommand ? "ExportJpeg" : "ExportEPS", typed);
    }
    static QString fileDialog(const SeenDialog &seen) { return seen.objectName + "|" + seen.title + "|" + seen.nameFilter + (seen.nativeDialog ? "|native" : ""); }

private Q_SLOTS:
    void initTestCase()
    {
        documentPath = viewer.writeDocument("plot.pvg", redCross());
        picture = readWholeFile(documentPath);
        viewer.open(documentPath);
        QVERIFY(writeFile(elsewhere.filePath("plot.pvg"), "decoy"));
    }

    void init()
    {
        cwdOption[0] = '\0';
        copyText(startDir, start.path().toLocal8Bit().constData());
        QDir::setCurrent(elsewhere.path()); // holds a decoy of the document
        CurrentDocument.exportBase[0] = '\0';
        load(documentPath);
    }

    void loading_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: made here, or none
        QTest::addColumn<QString>("message");    // empty: it loads
        QVERIFY(mkfifo(QFile::encodeName(start.filePath("fifo.pvg")).constData(), 0600) == 0);
        QVERIFY(writeFile(start.filePath("huge.pvg"), "") && QFile::resize(start.filePath("huge.pvg"), kLargestDocument + 1));
        const QString open = "Error opening file.", notPvg = "File is not a recognized PVG graphic format.";
        QTest::newRow("a bare name, from the start directory") << "plot.pvg" << picture << "";
        QTest::newRow("the signature alone") << "bare.pvg" << picture.left(16) << "";
        QTest::newRow("cannot be opened") << "missing.pvg" << QByteArray() << open;
        QTest::newRow("empty") << "empty.pvg" << QByteArray("") << open;
        QTest::newRow("a FIFO, without hanging") << "fifo.pvg" << QByteArray() << open;
        QTest::newRow("over 2 GiB - 33 bytes, sparse") << "huge.pvg" << QByteArray() << open;
        QTest::newRow("a path beyond the name buffer") << QString(1020, 'n') << QByteArray() << open;
        QTest::newRow("15 bytes of the signature") << "short.pvg" << picture.left(15) << notPvg;
    }

    // A bare name is looked for in the start directory, not the current one.
    void loading()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString path = QDir(start.path()).filePath(name);
        QVERIFY(content.isNull() || writeFile(path, content));
        copyText(CurrentDocument.exportBase, "kept"); // taken from the first load only, even a failed one
        const bool loads = message.isEmpty();
        QCOMPARE(load(name), loads ? QStringList() : QStringList("Error: " + message));
        const QString shownName = loads ? name : "plot.pvg"; // a failure keeps the earlier name
        const QStringList shown{window()->windowTitle(), status(), CurrentDocument.path, CurrentDocument.name, CurrentDocument.exportBase};
        QCOMPARE(shown, QStringList({loads ? "VORNA Viewer - " + shownName : "VORNA Viewer", loads ? "Loaded document " + name : "Error reading " + path,
                                     loads ? path : "", shownName, "kept"}));
        // Held with 16 zero bytes after them; nothing is held after a failure.
        const char *held = reinterpret_cast<const char *>(CurrentDocument.data);
        QCOMPARE(held ? QByteArray(held, CurrentDocument.size + 16) : QByteArray(), loads ? content + QByteArray(16, '\0') : QByteArray());
    }

    // Save As writes the bytes that were loaded, not the file as it is now; Open
    // loads the picked file, no longer a temporary one; the exports write the
    // view in their format. The extension rules are the path helpers'.
    void theMenuCommandsAskForANameAndWriteTheirFormat()
    {
        QVERIFY(writeFile(documentPath, "changed on disk after loading"));
        QCOMPARE(fileDialog(run("saveAs", inHome("copy")).value(0)), QString("Save Graphic File|Save as|VORNA Graphics (*.pvg);;All Files (*)"));
        QCOMPARE(status(), inHome("copy.pvg") + " saved.");
        QCOMPARE(readWholeFile(inHome("copy.pvg")), picture);
        temporaryDocument = 1;
        QCOMPARE(run("choose", inHome("copy.pvg")).value(0).nameFilter, QString("VORNA Graphics (*.pvg);;All Files (*)"));
        QCOMPARE(window()->windowTitle() + " " + status(), "VORNA Viewer - copy.pvg Loaded document " + inHome("copy.pvg"));
        QCOMPARE(temporaryDocument, char(0));
        for (bool jpeg : {true, false}) {
            QCOMPARE(fileDialog(runExport(jpeg ? JpegExportCommand : EpsExportCommand, {}, inHome("menu")).value(0)),
                     jpeg ? "Export Graphic File|Export JPEG image|JPEG image (*.jpg);;All Files (*)"
                          : "Export Graphic File|Export EPS file|EPS file (*.eps);;All Files (*)");
            QVERIFY(readWholeFile(inHome(jpeg ? "menu.jpg" : "menu.eps")).startsWith(jpeg ? "\xFF\xD8\xFF" : "%!PS-Adobe-3.0 EPSF-3.0\n"));
        }
        releaseDocumentData();
        QVERIFY(run("saveAs", inHome("never")).isEmpty());
        QCOMPARE(status(), QStringLiteral("Nothing to save"));
    }

    // A document whose extension is not ".pvg" keeps it in the export base, so
    // the command line would name the document itself.
    void exportsThatCannotBeWrittenAreReportedAndTheChainGoesOn_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("exportBase");
        QTest::addColumn<QString>("box"); // how the text of the last box starts; empty: none
        const QString onto = "Export would overwrite the document ";
        // Short components: the path is too long, not a name; the export base holds it, not with ".eps".
        const QString tooLong = (viewer.home.path() + QString('/' + QString(200, 'a')).repeated(6)).left(1020);
        QTest::newRow("onto the document, another path") << int(JpegExportCommand) << inHome("./plot.PVG") << onto + inHome("./plot.PVG");
        QTest::newRow("onto the document, bare name in -cwd") << int(EpsExportCommand) << "plot.PVG" << onto + inHome("plot.PVG");
        QTest::newRow("onto a file that failed to load") << int(JpegExportCommand) << inHome("notes.PVG") << onto + inHome("notes.PVG");
        QTest::newRow("EPS of no document: nothing to refuse") << int(EpsExportCommand) << inHome("notes.PVG") << "";
        QTest::newRow("a path too long") << int(EpsExportCommand) << tooLong << "Export file name too long: " + tooLong + ".eps";
    }

    void exportsThatCannotBeWrittenAreReportedAndTheChainGoesOn()
    {
        QFETCH(int, command);
        QFETCH(QString, exportBase);
        QFETCH(QString, box);
        const bool loads = !exportBase.contains("notes");
        const QString target = loads ? viewer.writeDocument("plot.PVG", redCross()) : exportBase;
        const QByteArray bytes = loads ? readWholeFile(target) : "somebody's notes\n";
        QVERIFY(writeFile(target, bytes));
        QCOMPARE(load(target).isEmpty(), loads);
        // A bare name goes to the directory of -cwd=, not the current one.
        copyText(cwdOption, viewer.home.path().toLocal8Bit().constData());
        const QList<SeenDialog> boxes = runExport(command, exportBase);
        QVERIFY(box.isEmpty() ? boxes.isEmpty() : !boxes.isEmpty() && boxes.last().text.startsWith(box));
        QCOMPARE(readWholeFile(target), bytes);
        QCOMPARE(pendingCommands, 0);
        // An empty export base stops without finishing the command.
        QVERIFY(runExport(command, QString()).isEmpty());
        QCOMPARE(pendingCommands, command);
    }

    // The export base stays the run's first document's; a later document (as a
    // host message loads one) does not make that file fair game.
    void exportsNeverWriteOverTheDocumentTheirNameCameFrom()
    {
        const QString first = viewer.writeDocument("<b>first.PVG", redCross()); // named, never marked up
        const QByteArray bytes = readWholeFile(first);
        CurrentDocument.exportBase[0] = '\0';
        QVERIFY(load(first).isEmpty() && load(viewer.writeDocument("second.pvg", redCross())).isEmpty());
        for (int command : {JpegExportCommand, EpsExportCommand}) {
            pendingCommands = command;
            const QList<SeenDialog> boxes = run(command == JpegExportCommand ? "ExportJpeg" : "ExportEPS");
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].text, "Export would overwrite the document " + first);
            QCOMPARE(boxes[0].textFormat, Qt::PlainText);
            QCOMPARE(readWholeFile(first), bytes);
        }
    }

    void filePropertiesShowTheDocumentAndTheLastDrawing()
    {
        PvgWriter writer; // exactly 1000 segments, padded after its end to 1,234,567 bytes
        writer.colourMapEntry(2, 0, 0, 0).lineColour(2).moveTo(100, 100);
        for (int i = 1; i <= 1000; ++i)
            writer.lineTo(100 + (i % 2) * 3000, 100 + i * 2);
        writer.end().raw(std::string(1234567 - writer.bytes().size(), 'x'));
        bool plainNames = false;
        auto properties = [this, &plainNames] {
            QStringList texts;
            QTimer::singleShot(0, this, [&] {
                QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
                auto *dialog = qobject_cast<FileProp *>(QApplication::activeModalWidget());
                texts << dialog->windowTitle() << dialog->textFilenameOrig->text() << dialog->textFilename->text()
                      << dialog->textFilesize->text() << dialog->textVectorcnt->text();
                plainNames = dialog->textFilenameOrig->textFormat() == Qt::PlainText
                             && dialog->textFilename->textFormat() == Qt::PlainText;
                dialog->butOk->click();
            });
            QMetaObject::invokeMethod(window(), "fileProperties", Qt::DirectConnection);
            return texts;
        };
        // Straight after the load, before its frame is drawn: the count is already the new drawing's.
        QVERIFY(load(viewer.writeDocument("<i>big.pvg", writer)).isEmpty());
        QCOMPARE(properties().last(), QString("1,000 line segments"));
        QVERIFY(plainNames); // a name is shown as it is, never as markup
        // After a failed load the values are stale, but the path is gone.
        QCOMPARE(load(inHome("missing.pvg")).size(), 1);
        QCOMPARE(properties(), (QStringList{"File Properties", "", "<i>big.pvg", "1,234,567 bytes", "1,000 line segments"}));
        // Grouped with commas whatever the locale, and never past the buffer's capacity.
        char buffer[8] = "#######", wide[32];
        QCOMPARE(QByteArray(formatThousands(1234567, buffer, 6)) + buffer[6], QByteArray("1,234#"));
        setlocale(LC_ALL, "de_DE.UTF-8");
        QCOMPARE(QByteArray(formatThousands(2147483647, wide, sizeof wide)), QByteArray("2,147,483,647"));
        setlocale(LC_ALL, "C");
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
