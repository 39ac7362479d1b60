#include "view/drawview.h"

#include "common/batchreport.h"
#include "common/optionstate.h"
#include "common/viewersettings.h"

#include <QApplication>
#include <QComboBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>

#include <optional>

namespace {

// On a queue with a PPD the toolkit's print dialog starts its paper from the
// queue's default, not from the printer it is given, and puts that paper on
// the printer when accepted. Once a print has set the paper (a command-line
// print, or an earlier dialog) it is kept: it is put into the paper list when
// the dialog's properties open, and back on the printer when they never did.
class PaperKeeper final : public QObject
{
public:
    PaperKeeper(QDialog *dialog, const QPageSize &paper)
        : printDialog(dialog), kept(paper)
    {
        qApp->installEventFilter(this);
    }

    // After an accepted dialog: the properties that set the paper were not
    // the ones shown (none were, or the printer changed since).
    void restoreUnlessChosen(QPrinter *printer) const
    {
        if (shown == nullptr || propertiesDialog() != shown)
            printer->setPageSize(kept);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched != shown && watched == propertiesDialog()) {
            shown = static_cast<QDialog *>(watched);
            selectKeptPaper(shown->findChild<QComboBox *>(kPaperList));
        }
        return false;
    }

private:
    static constexpr const char *kPaperList = "pageSizeCombo";

    // The dialog's properties (a new one for each printer chosen).
    QDialog *propertiesDialog() const
    {
        if (printDialog == nullptr)
            return nullptr;
        for (QDialog *child : printDialog->findChildren<QDialog *>(Qt::FindDirectChildrenOnly))
            if (child->findChild<QComboBox *>(kPaperList) != nullptr)
                return child;
        return nullptr;
    }

    // The same paper by name first (a borderless variant has the same id),
    // else the first of its kind.
    void selectKeptPaper(QComboBox *papers) const
    {
        if (papers == nullptr)
            return;
        int sameKind = -1;
        for (int i = 0; i < papers->count(); ++i) {
            const QPageSize paper = papers->itemData(i).value<QPageSize>();
            if (!paper.isValid() || paper.id() != kept.id()
                || (kept.id() == QPageSize::Custom && paper.sizePoints() != kept.sizePoints()))
                continue;
            if (paper.key() == kept.key()) {
                papers->setCurrentIndex(i);
                return;
            }
            if (sameKind < 0)
                sameKind = i;
        }
        if (sameKind >= 0)
            papers->setCurrentIndex(sameKind);
    }

    QPointer<QDialog> printDialog;
    QPageSize kept;
    QPointer<QDialog> shown; // the properties opened on the kept paper
};

} // namespace

void DrawView::printIt()
{
    // Heap-allocated and guarded: the nested loop may close the main window,
    // which deletes the view and with it the dialog.
    QPointer<QPrintDialog> dialog = new QPrintDialog(printer, this);
    dialog->setWindowTitle(tr("Print Graph"));
    dialog->setModal(true);
    std::optional<PaperKeeper> paper;
    if (printerPaperKept)
        paper.emplace(dialog, printer->pageLayout().pageSize());
    const int result = dialog->exec();
    if (dialog.isNull())
        return;
    if (result == QDialog::Accepted && paper)
        paper->restoreUnlessChosen(printer);
    delete dialog;
    if (result == QDialog::Accepted) {
        printerPaperKept = true;
        drawToPrinter();
    }
}

namespace {
QPageSize::PageSizeId commandLinePaper(int paperType)
{
    switch (paperType) {
    case 0:
        return QPageSize::Letter;
    case 2:
        return QPageSize::A4;
    default:
        return QPageSize::Legal;
    }
}
} // namespace

void DrawView::cmdPrint()
{
    // Written each time, and kept: a later interactive print starts from them.
    printer->setPageOrientation(portraitOrientation ? QPageLayout::Portrait : QPageLayout::Landscape);
    printer->setPageSize(QPageSize(commandLinePaper(ViewerSettings.printer_paper_type)));
    printerPaperKept = true;
    drawToPrinter();
    PostCmdargDone(PrintFinished);
}

void DrawView::drawToPrinter()
{
    // With no printing system the printer falls back to PDF output without a
    // file; that is "no printer", so stay quiet instead of letting begin() warn.
    if (printer->outputFormat() == QPrinter::PdfFormat && printer->outputFileName().isEmpty()) {
        reportBatchFailure(QStringLiteral("Print failed: no printer available"));
        return;
    }
    QPainter painter;
    if (!painter.begin(printer)) {
        reportBatchFailure(QStringLiteral("Print failed: the printer could not be opened"));
        return;
    }
    drawIt(&painter, true, 0);
    painter.end();
}
