#include "commands/currentdocument.h"

CurrentDocumentRecord CurrentDocument;

int readDocumentFile(const char *, char *) { return -1; }
void releaseDocumentData() {}
