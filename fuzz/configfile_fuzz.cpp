// Reads arbitrary bytes as the configuration file, through the real reader
// from a real file. Reading the same file again under a locale with a decimal
// comma must give the same settings, and the file with every line turned into
// a comment must leave the defaults.
#include "app/settingsfiles.h"
#include "fuzz/settingsdir.h"

#include <clocale>
#include "fuzz/fuzzcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string configPath;
bool haveCommaLocale = false;

bool same(const ViewerSettingsRecord &a, const ViewerSettingsRecord &b)
{
    return a.autosave == b.autosave && a.eps_scalefactor == b.eps_scalefactor
           && a.eps_include_background == b.eps_include_background
           && a.eps_cvt_lines_to_black == b.eps_cvt_lines_to_black && a.export_quality == b.export_quality
           && a.printer_paper_type == b.printer_paper_type
           && a.printer_page_size[0] == b.printer_page_size[0] && a.printer_page_size[1] == b.printer_page_size[1]
           && a.printer_page_shift[0] == b.printer_page_shift[0]
           && a.printer_page_shift[1] == b.printer_page_shift[1]
           && a.printer_min_linewidth == b.printer_min_linewidth && a.whiteBackground == b.whiteBackground
           && std::memcmp(a.settingsVersion, b.settingsVersion, sizeof a.settingsVersion) == 0;
}

ViewerSettingsRecord readFrom(const unsigned char *data, std::size_t size)
{
    putFile(configPath, data, size);
    ViewerSettings = ViewerSettingsRecord();
    if (readConfigFile() != 0)
        fail("an existing configuration file was not read");
    return ViewerSettings;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    configPath = useFuzzSettingsDirectory() + "/kelvo.cfg";
    haveCommaLocale = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    std::setlocale(LC_ALL, "C");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const ViewerSettingsRecord first = readFrom(data, size);
    for (int32_t flag : {first.autosave, first.eps_include_background, first.eps_cvt_lines_to_black})
        if (flag != 0 && flag != 1)
            fail("a flag is neither on nor off");

    if (haveCommaLocale)
        std::setlocale(LC_ALL, "de_DE.UTF-8");
    const ViewerSettingsRecord second = readFrom(data, size);
    if (haveCommaLocale)
        std::setlocale(LC_ALL, "C");
    if (!same(first, second))
        fail("the same file read twice (once with a decimal comma) gives other settings");

    // Lines short enough to stay whole behind a '#'.
    std::vector<unsigned char> commented;
    std::size_t lineLength = 0;
    bool atLineStart = true;
    for (std::size_t i = 0; i < size; ++i) {
        if (atLineStart)
            commented.push_back('#');
        commented.push_back(data[i]);
        atLineStart = data[i] == '\n';
        lineLength = atLineStart ? 0 : lineLength + 1;
        if (lineLength > 1000)
            return 0;
    }
    if (!same(readFrom(commented.data(), commented.size()), ViewerSettingsRecord()))
        fail("a comment line changed a setting");
    return 0;
}
