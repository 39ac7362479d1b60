#include "common/currentdocument.h"

CurrentDocumentRecord CurrentDocument;
TextBuffer lastReadPath;

void releaseDocumentData()
{
    if (CurrentDocument.owner != nullptr)
        CurrentDocument.owner.reset();
    else
        delete[] CurrentDocument.data;
    CurrentDocument.data = nullptr;
    ++CurrentDocument.generation;
}
