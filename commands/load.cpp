#include "commands/load.h"

#include "commands/documentfile.h"
#include "commands/literaltitle.h"
#include "commands/messageboxes.h"
#include "common/optionstate.h"
#include "common/pathhelpers.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QStatusBar>
#include <QString>

#include <cstring>
#include <string>

namespace {

constexpr int kLoadedMessageTimeout = 2000;

QString local8Bit(const char *text)
{
    return QString::fromLocal8Bit(text);
}

} // namespace

void loadDocument(QMainWindow *window, QWidget *view, const char *name)
{
    // name may be CurrentDocument.path itself, which is rewritten below; the
    // placeholder of a word too long for it stands for the whole word.
    const bool placeholder = name != nullptr && !CurrentDocument.refusedPath.empty()
                             && std::strcmp(name, CurrentDocument.path) == 0;
    const std::string passed = placeholder ? CurrentDocument.refusedPath : name != nullptr ? name : "";
    CurrentDocument.refusedPath.clear();
    const std::string resolved =
        hasDirectoryPart(passed.c_str()) ? passed : std::string(startDir) + "/" + passed;

    // A path that does not fit the document record is refused like a file that
    // cannot be opened; cutting it could open a different file.
    const bool fits = resolved.size() < kTextBufferSize;
    if (fits)
        copyText(CurrentDocument.path, resolved.c_str());
    else
        CurrentDocument.path[0] = '\0';
    // The first load names the exports, also a refused or failed one.
    if (CurrentDocument.exportBase[0] == '\0' && CurrentDocument.refusedExportBase.empty()) {
        std::string base = resolved;
        stripSuffix(base, ".pvg");
        setExportBase(base);
        CurrentDocument.exportBaseSource = resolved;
    }

    window->setWindowTitle(QStringLiteral("VORNA Viewer"));

    TextBuffer message = {};
    int result = -1;
    if (fits) {
        result = readDocumentFile(CurrentDocument.path, message);
    } else {
        releaseDocumentData();
        copyText(message, openErrorMessage);
    }

    if (result != 0) {
        showCriticalBox(window, QStringLiteral("Error"), local8Bit(message));
        window->statusBar()->showMessage(QStringLiteral("Error reading ") + local8Bit(resolved.c_str()), 0);
        CurrentDocument.path[0] = '\0';
        if (view != nullptr)
            view->update(); // the earlier drawing goes, not only where the box was
        return;
    }

    copyText(CurrentDocument.name, baseNameOf(CurrentDocument.path));
    setLiteralTitle(window, QStringLiteral("VORNA Viewer - %1").arg(local8Bit(CurrentDocument.name)));
    if (view != nullptr)
        view->update();
    window->statusBar()->showMessage(QStringLiteral("Loaded document ") + local8Bit(passed.c_str()),
                             kLoadedMessageTimeout);
}

void chooseDocument(QMainWindow *window, QWidget *view)
{
    const QString chosen = QFileDialog::getOpenFileName(
        window, QCoreApplication::translate("AppWindow", "Open File"), QString(),
        QCoreApplication::translate("AppWindow", "VORNA Graphics (*.pvg);;All Files (*)"));
    if (chosen.isEmpty())
        return;
    // A file the user picked is never deleted as a temporary one.
    temporaryDocument = 0;
    loadDocument(window, view, chosen.toLocal8Bit().constData());
}
