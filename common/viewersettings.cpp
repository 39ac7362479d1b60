#include "common/viewersettings.h"

#include <algorithm>

ViewerSettingsRecord ViewerSettings;

int jpegExportQuality()
{
    return int(std::clamp(ViewerSettings.export_quality * 10LL, -1LL, 100LL));
}
