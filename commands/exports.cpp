#include "commands/exports.h"

#include "commands/messageboxes.h"
#include "commands/savedialog.h"
#include "common/batchreport.h"
#include "common/currentdocument.h"
#include "common/exportpath.h"
#include "common/optionstate.h"
#include "common/pathhelpers.h"
#include "common/safewrite.h"
#include "common/viewersettings.h"
#include "stream/pvgmeta.h"
#include "view/drawview.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QPixmap>

#include <filesystem>
#include <string>
#include <system_error>


namespace {

struct ExportKind {
    int32_t pendingBit;
    FinishedCommand finished;
    const char *caption;
    const char *filter;
    const char *extension;
    bool needsDocument; // writes nothing when none is held
};

constexpr ExportKind kJpegExport = {JpegExportCommand, JpegExportFinished,
                                    QT_TRANSLATE_NOOP("AppWindow", "Export JPEG image"),
                                    QT_TRANSLATE_NOOP("AppWindow", "JPEG image (*.jpg);;All Files (*)"),
                                    ".jpg", false};
constexpr ExportKind kEpsExport = {EpsExportCommand, EpsExportFinished,
                                   QT_TRANSLATE_NOOP("AppWindow", "Export EPS file"),
                                   QT_TRANSLATE_NOOP("AppWindow", "EPS file (*.eps);;All Files (*)"),
                                   ".eps", true};

QString fromEightBit(const std::string &text)
{
    return QString::fromLocal8Bit(text.c_str());
}

// The output name from the command line's base name or from the dialog, with
// its default extension and, when it has no directory, the export directory.
std::string chooseExportName(QWidget *window, const ExportKind &kind)
{
    std::string name;
    if (pendingCommands & kind.pendingBit) {
        name = CurrentDocument.exportBase[0] != '\0' ? std::string(CurrentDocument.exportBase)
                                                      : CurrentDocument.refusedExportBase;
    } else {
        const QString chosen = askSaveFileName(window, "Export Graphic File",
                                               QCoreApplication::translate("AppWindow", kind.caption),
                                               QCoreApplication::translate("AppWindow", kind.filter));
        name = chosen.toLocal8Bit().toStdString();
    }
    if (name.empty())
        return name;

    ensureExtension(name, kind.extension);
    if (name.find('/') == std::string::npos && name.find('\\') == std::string::npos) {
        // The working directory as its own bytes; when it cannot be named
        // (removed, or too long) the bare name still resolves against it.
        const std::string directory = cwdOption[0] != '\0' ? std::string(cwdOption) : workingDirectory();
        if (!directory.empty())
            name = directory + QDir::separator().toLatin1() + name;
    }
    return name;
}

// A document whose name keeps an extension other than ".pvg" would otherwise be
// exported onto itself, also after it failed to load or another was loaded
// (the export base still names it). Compares the files, not the texts, so
// "./a.PVG" and a link to the document are caught as well.
bool isSameFile(const std::string &name, const std::string &documentPath)
{
    if (documentPath.empty())
        return false;
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::path(name),
                                       std::filesystem::path(documentPath), error)
           && !error;
}

bool isReadDocument(const std::string &name)
{
    return isSameFile(name, CurrentDocument.path) || isSameFile(name, lastReadPath)
           || isSameFile(name, CurrentDocument.exportBaseSource);
}

// Checks the name and hands it to the writer through exportPath. False (after
// telling the user) when nothing may be written under it. An EPS export
// writes nothing without a document, so it has nothing to overwrite then.
bool acceptExportName(QWidget *window, const ExportKind &kind, const std::string &name)
{
    if ((documentHeld() || !kind.needsDocument) && isReadDocument(name)) {
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

QString exportFailureText(const std::string &name)
{
    return QStringLiteral("Export failed for file: ") + fromEightBit(name);
}

void reportExportFailure(const std::string &name)
{
    showCriticalBox(nullptr, QStringLiteral("Save failed"), exportFailureText(name));
}

// The image is encoded in memory first, so that a failing encoder or a full
// disk leaves an earlier file of that name as it was.
void writeJpeg(DrawView *view, const std::string &name)
{
    const int quality = jpegExportQuality();
    QByteArray encoded;
    bool saved = false;
    if (view != nullptr) {
        const QPixmap image = view->grab();
        QBuffer buffer(&encoded);
        saved = buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPEG", quality);
    }
    if (saved)
        saved = writeFileSafely(name.c_str(), encoded.constData(), std::size_t(encoded.size()))
                == WriteOutcome::Written;
    if (!saved)
        reportExportFailure(name);
}

// A file that cannot be created gets no EPS and, interactively, no message; a
// batch run says so. Once the file exists, a failing write (a full disk) would
// otherwise leave a truncated picture under the name: the earlier file stays
// and the failure is reported as for JPEG.
void writeEps(DrawView *view, const std::string &name)
{
    if (view == nullptr || !documentHeld()) {
        reportBatchFailure(exportFailureText(name));
        return;
    }
    SafeFileWrite file;
    if (file.open(exportPath) != WriteOutcome::Written || file.stream() == nullptr) {
        reportBatchFailure(exportFailureText(name));
        view->drawIt(nullptr, false, kConvertToEps, nullptr);
        return;
    }
    view->drawIt(nullptr, false, kConvertToEps, file.stream());
    if (file.commit() != WriteOutcome::Written)
        reportExportFailure(name);
}

// An empty name ends the command without a call back into the chain; every
// other outcome, written or not, lets the chain go on.
void runExport(QWidget *window, DrawView *view, const ExportKind &kind,
               void (*write)(DrawView *, const std::string &))
{
    const std::string name = chooseExportName(window, kind);
    if (name.empty())
        return;
    if (acceptExportName(window, kind, name))
        write(view, name);
    if ((pendingCommands & kind.pendingBit) && view != nullptr)
        view->PostCmdargDone(kind.finished);
}

} // namespace

void exportJpeg(QWidget *window, DrawView *view)
{
    runExport(window, view, kJpegExport, writeJpeg);
}

void exportEps(QWidget *window, DrawView *view)
{
    runExport(window, view, kEpsExport, writeEps);
}
