#include "app/viewersettings.h"

ViewerSettingsRecord ViewerSettings;
