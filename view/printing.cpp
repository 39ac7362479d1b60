#include "view/drawview.h"

#include "common/batchreport.h"
#include "common/optionstate.h"
#include "common/viewersettings.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>

void DrawView::printIt()
{
    // Heap-allocated and guarded: the nested loop may close the main window,
    // which deletes the view and with it the dialog.
    QPointer<QPrintDialog> dialog = new QPrintDialog(printer, this);
    dialog->setWindowTitle(tr("Print Graph"));
    dialog->setModal(true);
    const int result = dialog->exec();
    if (dialog.isNull())
        return;
    delete dialog;
    if (result == QDialog::Accepted)
        drawToPrinter();
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
