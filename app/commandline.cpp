#include "app/commandline.h"

const char usageText[] = "";

int parseCommandLine(int, const char *const *, int) { return 0; }
void showUsageBox() {}
