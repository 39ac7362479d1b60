#pragma once

#include <cstdint>

// Settings from the configuration file, plus the two values the state file keeps.
// Field names are the configuration keys.
struct ViewerSettingsRecord {
    int32_t autosave = 0;
    double eps_scalefactor = 0.25;
    int32_t eps_include_background = 0;
    int32_t eps_cvt_lines_to_black = 0;
    int32_t export_quality = 10;
    int32_t printer_paper_type = 0;
    double printer_page_size[2] = {1.0, 1.0};
    int32_t printer_page_shift[2] = {0, 0};
    int32_t printer_min_linewidth = 2;
    unsigned char whiteBackground = 1;
    char settingsVersion[10] = {'1', '.', '0', 0, 0, 0, 0, 0, 0, 0};
};

extern ViewerSettingsRecord ViewerSettings;

// The JPEG quality export_quality asks for (in tenths), kept inside what the
// image writer understands.
int jpegExportQuality();
