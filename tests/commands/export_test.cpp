// The JPEG and EPS exports run from the menu and from the command chain, in
// the running viewer.

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "app/postcommands.h"
#include "commands/currentdocument.h"
#include "commands/exports.h"
#include "tests/commands/export_support.h"
#include "view/drawview.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QByteArray epsHeadStart = QByteArrayLiteral("%!PS-Adobe-3.0 EPSF-3.0\n"
                                                  "%%Creator: PVG Viewer (kelvo)\n"
                                                  "%%Title:   VORNA-generated file\n"
                                                  "%%BoundingBox: 0 0 1024 780\n");

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 180 && qGreen(pixel) < 100 && qBlue(pixel) < 100;
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) > 230 && qGreen(pixel) > 230 && qBlue(pixel) > 230;
}
} // namespace

class ExportTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir root;
    QString documentPath;
    QString originalDirectory = QDir::currentPath();

    QString inRoot(const QString &name) const { return root.path() + QLatin1Char('/') + name; }
    static void loadDocument(const QString &path) { mainWindow->load(path.toLocal8Bit().constData()); }
    static void setExportBase(const QString &base)
    {
        copyText(CurrentDocument.exportBase, base.toLocal8Bit().constData());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("home")));
        documentPath = inRoot(QStringLiteral("plot.pvg"));
        QVERIFY(writeWholeFile(documentPath, QByteArray::fromStdString(redCrossDrawing())));
        startViewer(inRoot(QStringLiteral("home")), documentPath);
        QVERIFY(CurrentDocument.data != nullptr);
    }

    void init()
    {
        pendingCommands = 0;
        cwdOption[0] = '\0';
        CurrentDocument.exportBase[0] = '\0';
        QDir::setCurrent(originalDirectory);
        if (CurrentDocument.data == nullptr
            || QString::fromLocal8Bit(CurrentDocument.path) != documentPath)
            loadDocument(documentPath);
    }

    void theJpegIsTheViewAsShown()
    {
        ModalAnswerer answerer({inRoot(QStringLiteral("pic"))});
        mainWindow->ExportJpeg();

        QCOMPARE(answerer.seen.size(), 1);
        const SeenDialog &dialog = answerer.seen.first();
        QCOMPARE(dialog.objectName, QStringLiteral("Export Graphic File"));
        QCOMPARE(dialog.title, QStringLiteral("Export JPEG image"));
        QCOMPARE(dialog.nameFilter, QStringLiteral("JPEG image (*.jpg);;All Files (*)"));
        QVERIFY(!dialog.nativeDialog);
        QCOMPARE(dialog.parent, static_cast<QWidget *>(mainWindow));

        const QString written = inRoot(QStringLiteral("pic.jpg"));
        QCOMPARE(QString::fromLocal8Bit(exportPath), written);
        QImageReader reader(written);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), mainView->size());

        const int w = image.width();
        const int h = image.height();
        QVERIFY(isRed(image.pixel(w / 2, h / 2)));     // where the lines cross
        QVERIFY(isRed(image.pixel(w / 4, h / 2)));     // on the horizontal line
        QVERIFY(isRed(image.pixel(w / 2, h * 3 / 4))); // on the vertical line
        QVERIFY(isWhite(image.pixel(w / 4, h / 4)));
        QVERIFY(isWhite(image.pixel(3, 3)));
        QCOMPARE(pendingCommands, 0);
    }

    void aTypedExtensionIsKeptAndStillGetsJpegData()
    {
        ModalAnswerer answerer({inRoot(QStringLiteral("pic.png"))});
        mainWindow->ExportJpeg();
        QVERIFY(readWholeFile(inRoot(QStringLiteral("pic.png"))).startsWith("\xFF\xD8\xFF"));
        QVERIFY(!QFile::exists(inRoot(QStringLiteral("pic.png.jpg"))));
    }

    void theJpegShowsTheCurrentZoom()
    {
        const int w = mainView->width();
        const int h = mainView->height();
        // The left quarter around the middle: part of the horizontal line, none
        // of the vertical one.
        mainView->zoomRect.setCorners(0, h / 4, w / 4, h * 3 / 4);
        mainView->zoomMode = ZoomSet;
        ModalAnswerer answerer({inRoot(QStringLiteral("zoomed"))});
        mainWindow->ExportJpeg();
        mainView->zoomMode = ZoomIdle;

        const QImage image(inRoot(QStringLiteral("zoomed.jpg")));
        QCOMPARE(image.size(), QSize(w, h));
        QVERIFY(isRed(image.pixel(w * 3 / 4, h / 2)));
        QVERIFY(isWhite(image.pixel(w / 5, h / 2))); // left of where the line starts
        QVERIFY(isWhite(image.pixel(w / 2, h / 4))); // the vertical line is outside
    }

    void aNameTooLongForTheExportPathIsRefused()
    {
        // Short components: the dialog itself refuses a file name over the
        // file system's limit, but not a long path.
        QString longName = root.path();
        for (int i = 0; i < 5; ++i)
            longName += QLatin1Char('/') + QString(200, QLatin1Char('a' + i));
        longName += QStringLiteral("/x");
        ModalAnswerer answerer({longName});
        mainWindow->ExportEPS();
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen.at(1).title, QStringLiteral("Error"));
        QCOMPARE(answerer.seen.at(1).text,
                 QStringLiteral("Export file name too long: ") + longName + QStringLiteral(".eps"));
    }

    void theEpsFromTheMenuIsPostScript()
    {
        ModalAnswerer answerer({inRoot(QStringLiteral("drawing"))});
        mainWindow->ExportEPS();

        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().objectName, QStringLiteral("Export Graphic File"));
        QCOMPARE(answerer.seen.first().title, QStringLiteral("Export EPS file"));
        QCOMPARE(answerer.seen.first().nameFilter, QStringLiteral("EPS file (*.eps);;All Files (*)"));
        QVERIFY(!answerer.seen.first().nativeDialog);
        const QByteArray eps = readWholeFile(inRoot(QStringLiteral("drawing.eps")));
        QVERIFY2(eps.startsWith(epsHeadStart), eps.left(200).constData());
        QVERIFY(eps.endsWith("\nstroke\n"));
    }

    void aCancelledExportWritesNothingAndLeavesTheChainAlone()
    {
        const QStringList before = QDir(root.path()).entryList(QDir::Files);
        ModalAnswerer answerer({QString(), QString()});
        mainWindow->ExportJpeg();
        mainWindow->ExportEPS();
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(QDir(root.path()).entryList(QDir::Files), before);
    }

    void aJpegThatCannotBeWrittenIsReportedInATopLevelBox()
    {
        const QString target = inRoot(QStringLiteral("no-such-directory/pic"));
        ModalAnswerer answerer({target});
        mainWindow->ExportJpeg();
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen.at(1).title, QStringLiteral("Save failed"));
        QCOMPARE(answerer.seen.at(1).text, QStringLiteral("Export failed for file: ") + target + ".jpg");
        QVERIFY(!answerer.seen.at(1).hasParent);
    }

    void aFailedCommandLineJpegIsReportedAndTheChainGoesOn()
    {
        pendingCommands = JpegExportCommand;
        setExportBase(inRoot(QStringLiteral("no-such-directory/summary")));
        ModalAnswerer answerer;
        mainWindow->ExportJpeg();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QStringLiteral("Save failed"));
        QVERIFY(!answerer.seen.first().hasParent);
        QCOMPARE(pendingCommands, 0);
    }

    void aPendingCommandTakesTheExportBaseWithoutADialog()
    {
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("reports")));
        pendingCommands = JpegExportCommand | EpsExportCommand;
        setExportBase(QStringLiteral("summary"));
        copyText(cwdOption, inRoot(QStringLiteral("reports")).toLocal8Bit().constData());
        ModalAnswerer answerer;
        mainView->PostCmdargDone(NoCommandFinished);
        QVERIFY(answerer.seen.isEmpty());
        QVERIFY(QFile::exists(inRoot(QStringLiteral("reports/summary.jpg"))));
        QVERIFY(readWholeFile(inRoot(QStringLiteral("reports/summary.eps"))).startsWith(epsHeadStart));
        QCOMPARE(pendingCommands, 0);
    }

    void anEmptyExportBaseStopsWithoutFinishingTheCommand()
    {
        pendingCommands = JpegExportCommand;
        ModalAnswerer answerer;
        mainWindow->ExportJpeg();
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(pendingCommands, int32_t(JpegExportCommand));
    }

    // A document whose extension is not ".pvg" keeps it in the export base, so
    // the command line would name the document itself.
    void anExportOntoTheDocumentIsRefusedAndTheChainGoesOn_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("exportBase");
        QTest::addColumn<bool>("baseIsRelativeToCwdOption");
        QTest::newRow("jpeg, full path") << int(JpegExportCommand) << "" << false;
        QTest::newRow("eps, dot slash") << int(EpsExportCommand) << "./plot.PVG" << false;
        QTest::newRow("eps, bare name in -cwd") << int(EpsExportCommand) << "plot.PVG" << true;
    }

    void anExportOntoTheDocumentIsRefusedAndTheChainGoesOn()
    {
        QFETCH(int, command);
        QFETCH(QString, exportBase);
        QFETCH(bool, baseIsRelativeToCwdOption);

        const QString upperPath = inRoot(QStringLiteral("plot.PVG"));
        const QByteArray bytes = QByteArray::fromStdString(redCrossDrawing());
        QVERIFY(writeWholeFile(upperPath, bytes));
        loadDocument(upperPath);
        QVERIFY(CurrentDocument.data != nullptr);

        QDir::setCurrent(root.path());
        if (baseIsRelativeToCwdOption)
            copyText(cwdOption, root.path().toLocal8Bit().constData());
        setExportBase(exportBase.isEmpty() ? upperPath : exportBase);
        pendingCommands = command;

        ModalAnswerer answerer;
        if (command == JpegExportCommand)
            mainWindow->ExportJpeg();
        else
            mainWindow->ExportEPS();

        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QStringLiteral("Error"));
        QVERIFY2(answerer.seen.first().text.startsWith(
                     QStringLiteral("Export would overwrite the document ")),
                 qPrintable(answerer.seen.first().text));
        QCOMPARE(readWholeFile(upperPath), bytes);
        QCOMPARE(pendingCommands, 0);
    }

    // After a failed load the export base still names the file that failed.
    void anExportOntoAFileThatFailedToLoadIsRefused()
    {
        const QString badPath = inRoot(QStringLiteral("notes.PVG"));
        const QByteArray bytes = QByteArrayLiteral("not a drawing, but somebody's notes\n");
        QVERIFY(writeWholeFile(badPath, bytes));
        {
            ModalAnswerer answerer;
            loadDocument(badPath);
            QCOMPARE(answerer.seen.size(), 1);
        }
        QCOMPARE(CurrentDocument.path[0], '\0');
        setExportBase(badPath);
        pendingCommands = JpegExportCommand;

        ModalAnswerer answerer;
        mainWindow->ExportJpeg();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text,
                 QStringLiteral("Export would overwrite the document ") + badPath);
        QCOMPARE(readWholeFile(badPath), bytes);
        QCOMPARE(pendingCommands, 0);
    }

    void aMenuExportOntoTheDocumentIsRefused()
    {
        const QByteArray bytes = readWholeFile(documentPath);
        ModalAnswerer answerer({documentPath});
        mainWindow->ExportEPS();
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen.at(1).title, QStringLiteral("Error"));
        QCOMPARE(answerer.seen.at(1).text,
                 QStringLiteral("Export would overwrite the document ") + documentPath);
        QCOMPARE(readWholeFile(documentPath), bytes);
    }

    // Last: it asks the application to quit.
    void anEpsWithoutADocumentWritesNothingButFinishesAndQuits()
    {
        dropDocument();
        pendingCommands = EpsExportCommand;
        setExportBase(inRoot(QStringLiteral("nothing")));
        quitWhenDone = 1;
        mainView->PostCmdargDone(NoCommandFinished);
        QVERIFY(!QFile::exists(inRoot(QStringLiteral("nothing.eps"))));
        QCOMPARE(pendingCommands, 0);
        QVERIFY(quitRequested());
        quitWhenDone = 0;
    }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
