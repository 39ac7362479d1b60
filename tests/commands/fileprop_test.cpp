// The File Properties dialog: its widgets, what it shows for the current
// document and the last drawing, and how it is run; the About box; the digit
// grouping of both numbers.

#include "tests/commands/printsupport.h"

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "commands/currentdocument.h"
#include "commands/fileprop.h"
#include "stream/pvgmeta.h"
#include "view/drawview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>

namespace {
QString grouped(long long n)
{
    char buffer[64];
    return QString::fromLatin1(formatThousands(n, buffer, sizeof buffer));
}

// A drawing of exactly segments line segments, padded after its end to
// totalBytes so that the size shown is known too.
PvgWriter drawingOfSegments(int segments, std::size_t totalBytes)
{
    PvgWriter writer;
    writer.colourMapEntry(2, 0, 0, 0).lineColour(2).moveTo(100, 100);
    for (int i = 1; i <= segments; ++i)
        writer.lineTo(100 + (i % 2) * 3000, 100 + i * 2);
    writer.end();
    const std::size_t length = writer.bytes().size();
    if (length < totalBytes)
        writer.raw(std::string(totalBytes - length, 'x'));
    return writer;
}

// Runs action on the next modal widget from inside its event loop.
void onNextModal(QObject *context, std::function<void(QWidget *)> action)
{
    QTimer::singleShot(0, context, [action] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        action(QApplication::activeModalWidget());
    });
}

struct ShownProperties {
    QString objectName, title, fullPath, filename, size, vectors;
    bool modal = false;
};

ShownProperties readProperties(QWidget *modal)
{
    ShownProperties shown;
    auto *dialog = qobject_cast<FileProp *>(modal);
    if (dialog == nullptr)
        return shown;
    shown.objectName = dialog->objectName();
    shown.title = dialog->windowTitle();
    shown.modal = dialog->isModal();
    shown.fullPath = dialog->textFilenameOrig->text();
    shown.filename = dialog->textFilename->text();
    shown.size = dialog->textFilesize->text();
    shown.vectors = dialog->textVectorcnt->text();
    return shown;
}
} // namespace

class FilePropTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir home;
    InProcessViewer viewer;

    // Shows the properties through the main window's command, reads them and
    // ends the dialog with end(dialog).
    ShownProperties runPropertiesCommand(std::function<void(FileProp *)> end)
    {
        ShownProperties shown;
        onNextModal(this, [&](QWidget *modal) {
            shown = readProperties(modal);
            if (auto *dialog = qobject_cast<FileProp *>(modal))
                end(dialog);
            else
                modal->close();
        });
        QMetaObject::invokeMethod(viewer.window, "fileProperties", Qt::DirectConnection);
        return shown;
    }

    void startOn(const PvgWriter &drawing, const QString &name = "plot.pvg")
    {
        resetViewerState(home.path());
        const QString document = home.filePath(name);
        QVERIFY(drawing.writeFile(document.toStdString()));
        viewer = startInProcessViewer(document, QSize(640, 480));
        QVERIFY(viewer.view);
        viewer.view->grab(); // one paint: sets the segment count
    }

private Q_SLOTS:
    void cleanup() { closeInProcessViewer(viewer); }

    void formatThousands_groupsDigitsWithCommas()
    {
        QCOMPARE(grouped(0), QString("0"));
        QCOMPARE(grouped(7), QString("7"));
        QCOMPARE(grouped(999), QString("999"));
        QCOMPARE(grouped(1000), QString("1,000"));
        QCOMPARE(grouped(100000), QString("100,000"));
        QCOMPARE(grouped(1234567), QString("1,234,567"));
        QCOMPARE(grouped(2147483647), QString("2,147,483,647"));
    }

    void formatThousands_usesCommaWhateverTheLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        setlocale(LC_ALL, "de_DE.UTF-8");
        const QString text = grouped(1234567);
        setlocale(LC_ALL, "C");
        QLocale::setDefault(before);
        QCOMPARE(text, QString("1,234,567"));
    }

    void formatThousands_neverWritesPastTheBuffer()
    {
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        formatThousands(1234567, buffer, 6);
        QCOMPARE(QByteArray(buffer), QByteArray("1,234"));
        QCOMPARE(buffer[6], '#');
        QCOMPARE(formatThousands(5, buffer, 0), buffer);
    }

    void dialog_isBuiltAsItsTableSays()
    {
        FileProp dialog;
        QCOMPARE(dialog.objectName(), QString("FileProp"));
        QCOMPARE(dialog.windowTitle(), QString("File Properties"));
        QCOMPARE(dialog.size(), QSize(452, 158));
        QVERIFY(!dialog.isModal());

        struct Row {
            QWidget *widget;
            const char *name;
            QWidget *parent;
            QRect geometry;
            const char *text;
        };
        const Row rows[] = {
            {dialog.groupBox1, "groupBox1", &dialog, {10, 10, 430, 100}, nullptr},
            {dialog.textLabel2, "textLabel2", dialog.groupBox1, {20, 10, 100, 20}, "Full Path:"},
            {dialog.textLabel3, "textLabel3", dialog.groupBox1, {20, 30, 100, 20}, "Filename:"},
            {dialog.textLabel4, "textLabel4", dialog.groupBox1, {20, 50, 100, 20}, "File Size:"},
            {dialog.textLabel5, "textLabel5", dialog.groupBox1, {20, 70, 100, 20}, "Vector Count:"},
            {dialog.textFilenameOrig, "textFilenameOrig", dialog.groupBox1, {120, 10, 280, 20}, ""},
            {dialog.textFilename, "textFilename", dialog.groupBox1, {120, 30, 280, 20}, "filename1"},
            {dialog.textFilesize, "textFilesize", dialog.groupBox1, {120, 50, 180, 20}, "filesize"},
            {dialog.textVectorcnt, "textVectorcnt", dialog.groupBox1, {120, 70, 180, 20}, "vector count"},
            {dialog.butOk, "butOk", &dialog, {190, 120, 82, 26}, "Ok"},
        };
        for (const Row &row : rows) {
            QVERIFY2(row.widget != nullptr, row.name);
            QCOMPARE(row.widget->objectName(), QString(row.name));
            QCOMPARE(row.widget->parentWidget(), row.parent);
            QCOMPARE(row.widget->geometry(), row.geometry);
            if (auto *label = qobject_cast<QLabel *>(row.widget))
                QCOMPARE(label->text(), QString(row.text));
        }
        QCOMPARE(dialog.groupBox1->title(), QString());
        QCOMPARE(dialog.butOk->text(), QString("Ok"));
    }

    void dialog_takesNameAndModalityFromItsCreator()
    {
        FileProp dialog(nullptr, "testdlg", true);
        QCOMPARE(dialog.objectName(), QString("testdlg"));
        QVERIFY(dialog.isModal());
    }

    void okButton_endsTheDialogWithResultZero()
    {
        FileProp dialog;
        dialog.setResult(5);
        QTimer::singleShot(0, dialog.butOk, &QPushButton::click);
        QCOMPARE(dialog.exec(), 0);
        QCOMPARE(dialog.result(), 0);
    }

    void propertiesCommand_showsDocumentAndLastDrawing()
    {
        startOn(drawingOfSegments(1000, 1234567));
        QCOMPARE(segmentCount, 1000);
        QPointer<FileProp> seenDialog;
        const ShownProperties shown = runPropertiesCommand([&](FileProp *dialog) {
            seenDialog = dialog;
            dialog->butOk->click();
        });
        QCOMPARE(shown.objectName, QString("testdlg"));
        QVERIFY(shown.modal);
        QCOMPARE(shown.title, QString("File Properties"));
        QCOMPARE(shown.fullPath, home.filePath("plot.pvg"));
        QCOMPARE(shown.filename, QString("plot.pvg"));
        QCOMPARE(shown.size, QString("1,234,567 bytes"));
        QCOMPARE(shown.vectors, QString("1,000 line segments"));
        // Destroyed when it closed.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(seenDialog.isNull());
        QVERIFY(viewer.window->findChildren<FileProp *>().isEmpty());
    }

    void propertiesCommand_smallNumbersHaveNoSeparator()
    {
        startOn(drawingOfSegments(4, 512), "small.pvg");
        const ShownProperties shown = runPropertiesCommand([](FileProp *dialog) { dialog->close(); });
        QCOMPARE(shown.size, QString("512 bytes"));
        QCOMPARE(shown.vectors, QString("4 line segments"));
        QCOMPARE(shown.filename, QString("small.pvg"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(viewer.window->findChildren<FileProp *>().isEmpty());
    }

    void propertiesCommand_afterAFailedLoad_keepsStaleValuesButNoPath()
    {
        startOn(drawingOfSegments(1000, 5000));
        onNextModal(this, [](QWidget *modal) { modal->close(); }); // the load's error box
        viewer.window->load(home.filePath("missing.pvg").toLocal8Bit().constData());
        QCOMPARE(CurrentDocument.path[0], '\0');

        const ShownProperties shown = runPropertiesCommand([](FileProp *dialog) { dialog->butOk->click(); });
        QCOMPARE(shown.fullPath, QString());
        QCOMPARE(shown.filename, QString("plot.pvg"));
        QCOMPARE(shown.size, QString("5,000 bytes"));
        QCOMPARE(shown.vectors, QString("1,000 line segments"));
    }

    void aboutBox_showsVersionAndNoticesAsPlainText()
    {
        startOn(drawingOfSegments(4, 512));
        QString title, text;
        Qt::TextFormat format = Qt::RichText;
        QWidget *parent = nullptr;
        onNextModal(this, [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box != nullptr);
            title = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            parent = box->parentWidget();
            QCOMPARE(box->buttons().size(), 1);
            box->buttons().first()->click();
        });
        QMetaObject::invokeMethod(viewer.window, "about", Qt::DirectConnection);

        QCOMPARE(title, QString("About Viewer"));
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(parent, viewer.window.data());
        const QStringList lines = text.split('\n');
        QCOMPARE(lines.size(), 10);
        QCOMPARE(lines[0], QString("PVG File Viewer version 1.0.1"));
        QVERIFY(lines[1].contains("rights reserved", Qt::CaseInsensitive));
        QCOMPARE(lines[2], QString());
        QVERIFY(lines[3].contains("Qt") && lines[4].contains("trademark"));
        QCOMPARE(lines[6], QString());
        QVERIFY(text.contains("Independent JPEG Group"));
        QVERIFY(!text.endsWith('\n'));
    }
};

QTEST_MAIN(FilePropTest)
#include "fileprop_test.moc"
