#include "commands/exports.h"

#include "app/appwindow.h"
#include "app/batchmode.h"
#include "app/optionstate.h"
#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "commands/messageboxes.h"
#include "commands/savedialog.h"
#include "common/pathhelpers.h"
#include "view/drawview.h"

#include <QDir>
#include <QPixmap>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

TextBuffer exportPath;

namespace {

struct ExportKind {
    int32_t pendingBit;
    FinishedCommand finished;
    const char *caption;
    const char *filter;
    const char *extension;
};

constexpr ExportKind kJpegExport = {JpegExportCommand, JpegExportFinished,
                                    QT_TRANSLATE_NOOP("AppWindow", "Export JPEG image"),
                                    QT_TRANSLATE_NOOP("AppWindow", "JPEG image (*.jpg);;All Files (*)"),
                                    ".jpg"};
constexpr ExportKind kEpsExport = {EpsExportCommand, EpsExportFinished,
                                   QT_TRANSLATE_NOOP("AppWindow", "Export EPS file"),
                                   QT_TRANSLATE_NOOP("AppWindow", "EPS file (*.eps);;All Files (*)"),
                                   ".eps"};

QString fromEightBit(const std::string &text)
{
    return QString::fromLocal8Bit(text.c_str());
}

// The output name from the command line's base name or from the dialog, with
// its default extension and, when it has no directory, the export directory.
std::string chooseExportName(AppWindow *window, const ExportKind &kind)
{
    std::string name;
    if (pendingCommands & kind.pendingBit) {
        name = CurrentDocument.exportBase;
    } else {
        const QString chosen = askSaveFileName(window, "Export Graphic File",
                                               AppWindow::tr(kind.caption),
                                               AppWindow::tr(kind.filter));
        name = chosen.toLocal8Bit().toStdString();
    }
    if (name.empty())
        return name;

    ensureExtension(name, kind.extension);
    if (name.find('/') == std::string::npos && name.find('\\') == std::string::npos) {
        const std::string directory = cwdOption[0] != '\0'
                                          ? std::string(cwdOption)
                                          : QDir::currentPath().toLocal8Bit().toStdString();
        name = directory + QDir::separator().toLatin1() + name;
    }
    return name;
}

// A document whose name keeps an extension other than ".pvg" would otherwise be
// exported onto itself, also after it failed to load (the export base still
// names it). Compares the files, not the texts, so "./a.PVG" and a link to the
// document are caught as well.
bool isSameFile(const std::string &name, const char *documentPath)
{
    if (documentPath[0] == '\0')
        return false;
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::path(name),
                                       std::filesystem::path(documentPath), error)
           && !error;
}

bool isLoadedDocument(const std::string &name)
{
    return isSameFile(name, CurrentDocument.path) || isSameFile(name, lastReadPath);
}

// Checks the name and hands it to the writer through exportPath. False (after
// telling the user) when nothing may be written under it.
bool acceptExportName(AppWindow *window, const std::string &name)
{
    if (isLoadedDocument(name)) {
        showCriticalBox(window, QStringLiteral("Error"),
                        QStringLiteral("Export would overwrite the document ") + fromEightBit(name));
        return false;
    }
    if (!copyText(exportPath, name.c_str())) {
        exportPath[0] = '\0';
        showCriticalBox(window, QStringLiteral("Error"),
                        QStringLiteral("Export file name too long: ") + fromEightBit(name));
        return false;
    }
    return true;
}

void writeJpeg(const std::string &name)
{
    const QString fileName = fromEightBit(name);
    // Quality in tenths; kept inside what the image writer understands.
    const long long quality = std::clamp(ViewerSettings.export_quality * 10LL, -1LL, 100LL);
    bool saved = false;
    if (mainView != nullptr) {
        const QPixmap image = mainView->grab();
        saved = image.save(fileName, "JPEG", int(quality));
    }
    if (!saved)
        showCriticalBox(nullptr, QStringLiteral("Save failed"),
                        QStringLiteral("Export failed for file: ") + fileName);
}

void writeEps(const std::string &name)
{
    // The EPS writer reports nothing; an unattended run still has to know.
    const BatchOutputWatch watch(name);
    if (mainView != nullptr)
        mainView->drawIt(nullptr, false, 3);
    watch.reportIfUnwritten();
}

// An empty name ends the command without a call back into the chain; every
// other outcome, written or not, lets the chain go on.
void runExport(AppWindow *window, const ExportKind &kind, void (*write)(const std::string &))
{
    const std::string name = chooseExportName(window, kind);
    if (name.empty())
        return;
    if (acceptExportName(window, name))
        write(name);
    if ((pendingCommands & kind.pendingBit) && mainView != nullptr)
        mainView->PostCmdargDone(kind.finished);
}

} // namespace

void AppWindow::ExportJpeg()
{
    runExport(this, kJpegExport, writeJpeg);
}

void AppWindow::ExportEPS()
{
    runExport(this, kEpsExport, writeEps);
}
