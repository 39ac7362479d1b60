#include "app/commandline.h"

#include "common/optionstate.h"
#include "common/currentdocument.h"
#include "common/decimaltext.h"

#include <QMessageBox>
#include <QString>

#include <cstdint>
#include <cstring>

const char usageText[] =
    "kelvo pvgfile [-wp=x,y,wid,ht] [-p] [-po=orientation] [-?] [-h]\n\n"
    "-wp=x,y,wid,ht:\twindow position\n"
    "-p:\t\tprint graph\n"
    // No line break before "-po=": the box's text, as scripts and hosts know it.
    "-q:\t\tquit after cmd processing is complete"
    "-po=[l,p]:\tprint orientaton, l=landscape (default), p=portrait\n"
    "[-?,-h]:\t\tprint this help\n";

namespace {

bool startsWith(const char *word, const char *option)
{
    return std::strncmp(word, option, std::strlen(option)) == 0;
}

// "%ld,%ld,%ld,%ld" into left, top, width, height: conversion stops at the first
// field that does not convert, and the fields after it keep their values.
void readWindowPosition(const char *text)
{
    int32_t *fields[] = {&windowGeometry.left, &windowGeometry.top, &windowGeometry.width,
                         &windowGeometry.height};
    const char *p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != ',')
                break;
            ++p;
        }
        p = scanInt32(p, *fields[i]);
        if (p == nullptr)
            break;
    }
    windowGeometry.moveTopLeft(windowGeometry.left, windowGeometry.top);
    geometryFromCommandLine = 1;
}

bool isHelpWord(const char *word)
{
    // The usage text offers -h beside -?; only the exact word, so that a
    // document named "-hello.pvg" stays a document.
    return startsWith(word, "-?") || std::strcmp(word, "-h") == 0;
}

} // namespace

int parseCommandLine(int count, const char *const *words, int first, UsageBox usage)
{
    CurrentDocument.path[0] = '\0';
    CurrentDocument.refusedPath.clear();
    cwdOption[0] = '\0';
    temporaryDocument = 0;

    for (int i = first < 0 ? 0 : first; i < count; ++i) {
        const char *word = words[i];
        if (word == nullptr)
            continue;
        if (startsWith(word, "-wp=")) {
            readWindowPosition(word + 4);
        } else if (startsWith(word, "-po=")) {
            if (word[4] == 'p')
                portraitOrientation = 1;
        } else if (startsWith(word, "-p")) {
            pendingCommands |= PrintCommand;
        } else if (startsWith(word, "-c=")) {
            if (word[3] == '1')
                pendingCommands = JpegExportCommand;
            else if (word[3] == '2')
                pendingCommands = EpsExportCommand;
        } else if (startsWith(word, "-cf=")) {
            setExportBase(word + 4);
        } else if (startsWith(word, "-svrname=")) {
            copyText(serverName, word + 9);
        } else if (startsWith(word, "-q")) {
            quitWhenDone = 1;
        } else if (startsWith(word, "-tmp")) {
            temporaryDocument = 1;
        } else if (startsWith(word, "-cwd=")) {
            copyText(cwdOption, word + 5);
        } else if (isHelpWord(word)) {
            if (usage == UsageBox::Show)
                showUsageBox();
            return -1;
        } else {
            const bool fits = copyText(CurrentDocument.path, word);
            CurrentDocument.refusedPath = fits ? "" : word;
        }
    }
    return 0;
}

void showUsageBox()
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(usageTitle),
                    QString::fromLatin1(usageText), QMessageBox::Ok, nullptr,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
