#include "common/viewersettings.h"

ViewerSettingsRecord ViewerSettings;
