// The JPEG and EPS exports run from the menu and from the command chain, in
// the running viewer.

#include "app/appwindow.h"
#include "common/optionstate.h"
#include "common/currentdocument.h"
#include "common/exportpath.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QDir>
#include <QImage>
#include <QTest>

namespace {
bool isRed(QRgb pixel)
{
    return qRed(pixel) > 180 && qGreen(pixel) < 100 && qBlue(pixel) < 100;
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) > 230 && qGreen(pixel) > 230 && qBlue(pixel) > 230;
}

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A thick red cross through the page centre; the horizontal bar starts a
// tenth of the way in.
PvgWriter redCrossDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100);
    writer.moveTo(400, 1560).lineTo(3700, 1560).moveTo(2048, 300).lineTo(2048, 2800).end();
    return writer;
}
} // namespace

class ExportTest : public QObject
{
    Q_OBJECT

    InProcessViewer viewer;
    QString documentPath;

    QString inHome(const QString &name) const { return viewer.home.filePath(name); }
    void load(const QString &path) { viewer.window->load(path.toLocal8Bit().constData()); }
    // Runs an export as a pending command with the given export base, or from
    // the menu when a name to type is given; returns the dialogs it showed.
    QList<SeenDialog> runExport(int command, const QString &base, const QString &typed = QString())
    {
        ModalAnswerer answerer({typed});
        pendingCommands = typed.isEmpty() ? command : 0;
        copyText(CurrentDocument.exportBase, base.toLocal8Bit().constData());
        command == JpegExportCommand ? viewer.window->ExportJpeg() : viewer.window->ExportEPS();
        return answerer.seen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        documentPath = viewer.writeDocument("plot.pvg", redCrossDrawing());
        viewer.open(documentPath);
        QVERIFY(CurrentDocument.data != nullptr);
    }

    void init()
    {
        pendingCommands = 0;
        cwdOption[0] = '\0';
        QDir::setCurrent(viewer.home.path());
        if (CurrentDocument.data == nullptr || QString(CurrentDocument.path) != documentPath)
            load(documentPath);
    }

    void theMenuExportsAskForANameAndWriteTheirFormat_data()
    {
        QTest::addColumn<bool>("jpeg");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("filter");
        QTest::newRow("JPEG") << true << "Export JPEG image" << "JPEG image (*.jpg);;All Files (*)";
        QTest::newRow("EPS") << false << "Export EPS file" << "EPS file (*.eps);;All Files (*)";
    }

    void theMenuExportsAskForANameAndWriteTheirFormat()
    {
        QFETCH(bool, jpeg);
        QFETCH(QString, title);
        QFETCH(QString, filter);
        const QList<SeenDialog> seen = runExport(jpeg ? JpegExportCommand : EpsExportCommand, {}, inHome("menu"));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].objectName, QStringLiteral("Export Graphic File"));
        QCOMPARE(seen[0].title, title);
        QCOMPARE(seen[0].nameFilter, filter);
        QVERIFY(!seen[0].nativeDialog);
        QVERIFY(seen[0].parent == viewer.window);
        const QString written = inHome(jpeg ? "menu.jpg" : "menu.eps");
        QCOMPARE(QString(exportPath), written);
        const QByteArray bytes = readWholeFile(written);
        QVERIFY(jpeg ? bytes.startsWith("\xFF\xD8\xFF") : bytes.startsWith("%!PS-Adobe-3.0 EPSF-3.0\n"));
    }

    // The unzoomed picture is export_cli_test's; here the view is zoomed into
    // the left quarter around the middle: part of the horizontal bar, none of
    // the vertical one.
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

    void aNameTooLongForTheExportPathIsRefused()
    {
        // Short components: the dialog refuses an over-long file name, not a long path.
        QString longName = viewer.home.path();
        for (int i = 0; i < 5; ++i)
            longName += '/' + QString(200, QLatin1Char('a' + i));
        QCOMPARE(runExport(EpsExportCommand, {}, longName).value(1).text, "Export file name too long: " + longName + ".eps");
    }

    void aJpegThatCannotBeWrittenIsReportedWithoutParentAndTheChainGoesOn()
    {
        const QString target = inHome("no-such-directory/pic");
        for (const QList<SeenDialog> &seen : {runExport(JpegExportCommand, {}, target), runExport(JpegExportCommand, target)}) {
            QCOMPARE(seen.last().title + ": " + seen.last().text, "Save failed: Export failed for file: " + target + ".jpg");
            QVERIFY(!seen.last().hasParent);
        }
        QCOMPARE(pendingCommands, 0);
    }

    void anEmptyExportBaseStopsWithoutFinishingTheCommand()
    {
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
    }

    void anExportOntoTheDocumentIsRefusedAndTheChainGoesOn()
    {
        QFETCH(int, command);
        QFETCH(QString, exportBase);
        QFETCH(bool, inCwdOption);
        QFETCH(QString, typed);
        const QString upperPath = viewer.writeDocument("plot.PVG", redCrossDrawing());
        const QByteArray bytes = readWholeFile(upperPath);
        load(upperPath);
        QVERIFY(CurrentDocument.data != nullptr);
        if (inCwdOption)
            copyText(cwdOption, viewer.home.path().toLocal8Bit().constData());
        const QList<SeenDialog> seen = runExport(command, exportBase, typed);
        QCOMPARE(seen.size(), typed.isEmpty() ? 1 : 2);
        QCOMPARE(seen.last().title, QStringLiteral("Error"));
        QVERIFY2(seen.last().text.startsWith("Export would overwrite the document "), qPrintable(seen.last().text));
        QCOMPARE(readWholeFile(upperPath), bytes);
        QCOMPARE(pendingCommands, 0);
    }

    // After a failed load the export base still names the file that failed.
    void anExportOntoAFileThatFailedToLoadIsRefused()
    {
        const QString badPath = inHome("notes.PVG");
        QFile notes(badPath);
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("somebody's notes\n") > 0);
        notes.close();
        {
            ModalAnswerer answerer;
            load(badPath);
            QCOMPARE(answerer.seen.size(), 1);
        }
        const QList<SeenDialog> seen = runExport(JpegExportCommand, badPath);
        QCOMPARE(seen.value(0).text, "Export would overwrite the document " + badPath);
        QCOMPARE(readWholeFile(badPath), QByteArray("somebody's notes\n"));
        QCOMPARE(pendingCommands, 0);
    }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
