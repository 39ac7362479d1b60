#include "common/currentdocument.h"

CurrentDocumentRecord CurrentDocument;
TextBuffer lastReadPath;

void releaseDocumentData()
{
    delete[] CurrentDocument.data;
    CurrentDocument.data = nullptr;
}
