#include "app/viewersettings.h"

int readStateFile() { return -1; }
int writeStateFile() { return -1; }
