#include "commands/saveas.h"

#include "common/currentdocument.h"
#include "commands/messageboxes.h"
#include "commands/savedialog.h"
#include "common/pathhelpers.h"
#include "common/safewrite.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QStatusBar>

#include <string>

namespace {
constexpr int kStatusTimeoutMs = 5000;
} // namespace

// Writes the bytes held in memory, as they were read at load time, under a new
// name; the file on disk is not read again.
void saveDocumentAs(QMainWindow *window)
{
    if (CurrentDocument.data == nullptr) {
        window->statusBar()->showMessage(QStringLiteral("Nothing to save"), kStatusTimeoutMs);
        return;
    }

    const QString chosen = askSaveFileName(
        window, "Save Graphic File", QCoreApplication::translate("AppWindow", "Save as"),
        QCoreApplication::translate("AppWindow", "VORNA Graphics (*.pvg);;All Files (*)"));
    if (chosen.isEmpty())
        return;

    std::string name = chosen.toLocal8Bit().toStdString();
    ensureExtension(name, ".pvg");
    const QString shownName = QString::fromLocal8Bit(name.c_str());

    // The target is replaced only by complete bytes: saving onto the loaded
    // file cannot lose it, and a FIFO or device is refused instead of blocking.
    SafeFileWrite file;
    if (file.open(name.c_str()) != WriteOutcome::Written) {
        showCriticalBox(window, QStringLiteral("Error"), QStringLiteral("Error opening ") + shownName);
        return;
    }
    const std::size_t size = CurrentDocument.size > 0 ? std::size_t(CurrentDocument.size) : 0;
    file.write(CurrentDocument.data, size);
    if (file.commit() != WriteOutcome::Written) {
        showCriticalBox(window, QStringLiteral("Error"), QStringLiteral("Error writing ") + shownName);
        return;
    }
    window->statusBar()->showMessage(shownName + QStringLiteral(" saved."), kStatusTimeoutMs);
}
