#include "common/currentdocument.h"

CurrentDocumentRecord CurrentDocument;
TextBuffer lastReadPath;

void setExportBase(const std::string &base)
{
    const bool fits = copyText(CurrentDocument.exportBase, base.c_str());
    CurrentDocument.refusedExportBase = fits ? std::string() : base;
    if (!fits)
        CurrentDocument.exportBase[0] = '\0';
}

void releaseDocumentData()
{
    if (CurrentDocument.owner != nullptr)
        CurrentDocument.owner.reset();
    else
        delete[] CurrentDocument.data;
    CurrentDocument.data = nullptr;
    ++CurrentDocument.generation;
}
