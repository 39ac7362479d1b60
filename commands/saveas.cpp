#include "commands/saveas.h"

#include "common/currentdocument.h"
#include "commands/messageboxes.h"
#include "commands/savedialog.h"
#include "common/pathhelpers.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QStatusBar>

#include <cstdio>
#include <string>

namespace {
constexpr int kStatusTimeoutMs = 5000;

// Writes the bytes in one request. False when any of them did not reach the
// file, including a failure that only shows when the buffer is flushed on close.
bool writeWhole(std::FILE *file, const unsigned char *data, std::size_t size)
{
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}
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

    std::FILE *file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) {
        showCriticalBox(window, QStringLiteral("Error"), QStringLiteral("Error opening ") + shownName);
        return;
    }
    const std::size_t size = CurrentDocument.size > 0 ? std::size_t(CurrentDocument.size) : 0;
    if (!writeWhole(file, CurrentDocument.data, size)) {
        showCriticalBox(window, QStringLiteral("Error"), QStringLiteral("Error writing ") + shownName);
        return;
    }
    window->statusBar()->showMessage(shownName + QStringLiteral(" saved."), kStatusTimeoutMs);
}
