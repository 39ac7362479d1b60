// The File Properties dialog: its widgets, what it shows for the current
// document and the last drawing, and how it is run; the About box; the digit
// grouping of both numbers.

#include "app/appwindow.h"
#include "common/currentdocument.h"
#include "commands/fileprop.h"
#include "stream/pvgmeta.h"
#include "tests/support/inprocessviewer.h"
#include "view/drawview.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
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

// A drawing of exactly segments line segments, padded after its end to totalBytes.
PvgWriter drawingOfSegments(int segments, std::size_t totalBytes)
{
    PvgWriter writer;
    writer.colourMapEntry(2, 0, 0, 0).lineColour(2).moveTo(100, 100);
    for (int i = 1; i <= segments; ++i)
        writer.lineTo(100 + (i % 2) * 3000, 100 + i * 2);
    writer.end();
    writer.raw(std::string(totalBytes - writer.bytes().size(), 'x'));
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
} // namespace

class FilePropTest : public QObject
{
    Q_OBJECT

    InProcessViewer viewer;

    // The four values shown by the main window's command; the dialog is ended with Ok.
    QStringList propertiesShown()
    {
        QStringList shown;
        onNextModal(this, [&](QWidget *modal) {
            auto *dialog = qobject_cast<FileProp *>(modal);
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->objectName(), QString("testdlg"));
            QVERIFY(dialog->isModal());
            shown << dialog->textFilenameOrig->text() << dialog->textFilename->text()
                  << dialog->textFilesize->text() << dialog->textVectorcnt->text();
            dialog->butOk->click();
        });
        QMetaObject::invokeMethod(viewer.window, "fileProperties", Qt::DirectConnection);
        // Destroyed when it closed.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!viewer.window->findChildren<FileProp *>().isEmpty())
            shown << "dialog not destroyed";
        return shown;
    }

private Q_SLOTS:
    void initTestCase()
    {
        viewer.open(viewer.writeDocument("plot.pvg", drawingOfSegments(1000, 1234567)), false);
        viewer.setViewSize(640, 480);
        viewer.view->grab(); // one paint: sets the segment count
    }

    void formatThousandsGroupsWithCommasWhateverTheLocale()
    {
        QCOMPARE(grouped(0), QString("0"));
        QCOMPARE(grouped(999), QString("999"));
        QCOMPARE(grouped(1000), QString("1,000"));
        QCOMPARE(grouped(2147483647), QString("2,147,483,647"));
        setlocale(LC_ALL, "de_DE.UTF-8");
        const QString text = grouped(1234567);
        setlocale(LC_ALL, "C");
        QCOMPARE(text, QString("1,234,567"));

        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        formatThousands(1234567, buffer, 6);
        QCOMPARE(QByteArray(buffer), QByteArray("1,234")); // cut, never past the capacity
        QCOMPARE(buffer[6], '#');
    }

    void theDialogIsBuiltAsItsTableSays()
    {
        FileProp dialog;
        QCOMPARE(dialog.objectName(), QString("FileProp"));
        QCOMPARE(dialog.windowTitle(), QString("File Properties"));
        QCOMPARE(dialog.size(), QSize(452, 158));
        const struct {
            QWidget *widget;
            const char *name;
            QWidget *parent;
            QRect geometry;
            const char *text;
        } rows[] = {
            {dialog.groupBox1, "groupBox1", &dialog, {10, 10, 430, 100}, ""},
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
        for (const auto &row : rows) {
            QCOMPARE(row.widget->objectName(), QString(row.name));
            QCOMPARE(row.widget->parentWidget(), row.parent);
            QCOMPARE(row.widget->geometry(), row.geometry);
            const QString text = row.widget->property("text").isValid() ? row.widget->property("text").toString()
                                                                         : row.widget->property("title").toString();
            QCOMPARE(text, QString(row.text));
        }
        dialog.setResult(5);
        QTimer::singleShot(0, dialog.butOk, &QPushButton::click);
        QCOMPARE(dialog.exec(), 0);
    }

    void theCommandShowsTheDocumentAndTheLastDrawing()
    {
        QCOMPARE(segmentCount, 1000);
        QCOMPARE(propertiesShown(), (QStringList{viewer.home.filePath("plot.pvg"), "plot.pvg", "1,234,567 bytes",
                                                 "1,000 line segments"}));
    }

    void afterAFailedLoadTheValuesAreStaleButThePathIsGone()
    {
        onNextModal(this, [](QWidget *modal) { modal->close(); }); // the load's error box
        viewer.window->load(viewer.home.filePath("missing.pvg").toLocal8Bit().constData());
        QCOMPARE(CurrentDocument.path[0], '\0');
        QCOMPARE(propertiesShown(), (QStringList{"", "plot.pvg", "1,234,567 bytes", "1,000 line segments"}));
    }

    void theAboutBoxShowsVersionAndNoticesAsPlainText()
    {
        QString text;
        onNextModal(this, [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), QString("About Viewer"));
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QVERIFY(box->parentWidget() == viewer.window);
            text = box->text();
            box->buttons().first()->click();
        });
        QMetaObject::invokeMethod(viewer.window, "about", Qt::DirectConnection);
        const QStringList lines = text.split('\n');
        QCOMPARE(lines.value(0), QString("PVG File Viewer version 1.0.1"));
        QVERIFY(lines.value(1).contains("rights reserved", Qt::CaseInsensitive));
        QVERIFY(lines.value(3).contains("Qt") && lines.value(4).contains("trademark"));
        QVERIFY(text.contains("Independent JPEG Group"));
    }
};

QTEST_MAIN(FilePropTest)
#include "fileprop_test.moc"
