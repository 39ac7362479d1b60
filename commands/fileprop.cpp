#include "commands/fileprop.h"

#include "common/currentdocument.h"
#include "stream/pvgmeta.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <cstdio>

char *formatThousands(long long n, char *buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0)
        return buffer;
    // Magnitude as unsigned, so that the most negative value has one too.
    const unsigned long long magnitude =
        n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    char digits[24];
    const int digitCount = std::snprintf(digits, sizeof digits, "%llu", magnitude);

    char grouped[40];
    int length = 0;
    if (n < 0)
        grouped[length++] = '-';
    for (int i = 0; i < digitCount; ++i) {
        if (i > 0 && (digitCount - i) % 3 == 0)
            grouped[length++] = ',';
        grouped[length++] = digits[i];
    }
    grouped[length] = '\0';

    std::snprintf(buffer, static_cast<size_t>(capacity), "%s", grouped);
    return buffer;
}

namespace {
QLabel *makeLabel(QWidget *parent, const char *name, int x, int y, int width, int height)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(x, y, width, height);
    label->setTextFormat(Qt::PlainText); // a file name is shown as it is, never as markup
    return label;
}
} // namespace

FileProp::FileProp(QWidget *parent, const char *name, bool modal, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    setObjectName(QString::fromLatin1(name != nullptr ? name : "FileProp"));
    setModal(modal);

    groupBox1 = new QGroupBox(this);
    groupBox1->setObjectName(QStringLiteral("groupBox1"));
    groupBox1->setGeometry(10, 10, 430, 100);

    textLabel2 = makeLabel(groupBox1, "textLabel2", 20, 10, 100, 20);
    textLabel3 = makeLabel(groupBox1, "textLabel3", 20, 30, 100, 20);
    textLabel4 = makeLabel(groupBox1, "textLabel4", 20, 50, 100, 20);
    textLabel5 = makeLabel(groupBox1, "textLabel5", 20, 70, 100, 20);
    textFilenameOrig = makeLabel(groupBox1, "textFilenameOrig", 120, 10, 280, 20);
    textFilename = makeLabel(groupBox1, "textFilename", 120, 30, 280, 20);
    textFilesize = makeLabel(groupBox1, "textFilesize", 120, 50, 180, 20);
    textVectorcnt = makeLabel(groupBox1, "textVectorcnt", 120, 70, 180, 20);

    butOk = new QPushButton(this);
    butOk->setObjectName(QStringLiteral("butOk"));
    butOk->setGeometry(190, 120, 82, 26);

    languageChange();
    resize(QSize(452, 158).expandedTo(minimumSizeHint()));
    connect(butOk, &QPushButton::clicked, this, &FileProp::butOk_clicked);
}

void FileProp::Init()
{
    char number[40];
    textFilenameOrig->setText(QString::fromLocal8Bit(CurrentDocument.path));
    textFilename->setText(QString::fromLocal8Bit(CurrentDocument.name));
    formatThousands(CurrentDocument.size, number, sizeof number);
    textFilesize->setText(tr("%1 bytes").arg(QString::fromLatin1(number)));
    formatThousands(segmentCount, number, sizeof number);
    textVectorcnt->setText(tr("%1 line segments").arg(QString::fromLatin1(number)));
}

void FileProp::butOk_clicked()
{
    done(0);
}

void FileProp::languageChange()
{
    setWindowTitle(tr("File Properties"));
    groupBox1->setTitle(QString());
    textLabel2->setText(tr("Full Path:"));
    textLabel3->setText(tr("Filename:"));
    textLabel4->setText(tr("File Size:"));
    textLabel5->setText(tr("Vector Count:"));
    textFilename->setText(tr("filename1"));
    textFilesize->setText(tr("filesize"));
    textVectorcnt->setText(tr("vector count"));
    butOk->setText(tr("Ok"));
}

void FileProp::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}
