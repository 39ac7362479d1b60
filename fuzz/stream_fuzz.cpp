// Walks arbitrary bytes as a document: painted onto a small antialiased image
// and written as EPS at the same time, with the settings and zoom varied by
// the input's size.
#include "common/viewersettings.h"
#include "common/currentdocument.h"
#include "common/exportpath.h"
#include "stream/palette.h"
#include "stream/pvgmeta.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char name[] = "kelvo_stream_fuzz";
    static char *qtArgv[] = {name, nullptr};
    new QGuiApplication(qtArgc, qtArgv);
    fillPaletteFractions();
    copyText(exportPath, "/dev/null");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    std::vector<unsigned char> buffer(data, data + size);
    buffer.resize(size + kZeroBytesAfterData, 0);
    CurrentDocument.data = buffer.data();
    CurrentDocument.size = static_cast<int32_t>(size);
    copyText(CurrentDocument.path, "fuzz.pvg");

    ViewerSettings = ViewerSettingsRecord();
    ViewerSettings.whiteBackground = (size & 1) ? 0 : 1;
    ViewerSettings.eps_include_background = (size & 2) ? 1 : 0;

    SpanRect fullPage;
    fullPage.setCorners(0, 0, 4096, 3120);
    SpanRect zoomArea;
    if (size % 3 == 0)
        zoomArea.setCorners(1000, 2000, 2100, 1500);

    QImage image(64, 48, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        CPvgMeta meta(CurrentDocument.path, &painter, nullptr, (size & 4) ? 0.1 : 3.7,
                      kConvertToEps);
        meta.render(zoomArea, fullPage);
    }
    CurrentDocument.data = nullptr;
    CurrentDocument.size = 0;
    return 0;
}
