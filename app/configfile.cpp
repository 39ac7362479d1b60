#include "app/viewersettings.h"

int readConfigFile() { return -1; }
