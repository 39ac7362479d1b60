#include "commands/about.h"

#include "commands/fileprop.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMessageBox>

void showFileProperties(QWidget *window)
{
    auto *dialog = new FileProp(window, "testdlg", true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->Init();
    dialog->exec(); // deletes the dialog on its way out
}

namespace {
constexpr const char *kProgramVersion = "1.0.1";

QString aboutText()
{
    QString text = QString::asprintf("PVG File Viewer version %s\n", kProgramVersion);
    text += QStringLiteral("Copyright (C) the kelvo developers. All rights reserved.\n\n");
    text += QStringLiteral("Qt is a product of The Qt Company Ltd.\n"
                           "Qt and the Qt logo are trademarks of The Qt Company Ltd.\n"
                           "This software includes portions developed with Qt.\n\n");
    text += QStringLiteral("This product includes an image component\n"
                           "that is based in part on the work of\n"
                           "the Independent JPEG Group.");
    return text;
}
} // namespace

void showAboutBox(QWidget *window)
{
    // The toolkit's about box, built by hand only to force plain text.
    auto *box = new QMessageBox(QMessageBox::Information,
                                QCoreApplication::translate("AppWindow", "About Viewer"),
                                aboutText(), QMessageBox::NoButton, window);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    const QIcon icon = box->windowIcon();
    box->setIconPixmap(icon.pixmap(icon.actualSize(QSize(64, 64))));
    box->exec();
}
