#include "commands/fileprop.h"

char *formatThousands(long long, char *buffer, int) { return buffer; }
FileProp::FileProp(QWidget *parent, const char *, bool, Qt::WindowFlags flags) : QDialog(parent, flags) {}
void FileProp::Init() {}
void FileProp::butOk_clicked() {}
void FileProp::languageChange() {}
