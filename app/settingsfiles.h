#pragma once

#include "common/viewersettings.h"

// "%s/kelvo.cfg" in homeDir, else appDir. 0 when one was read, -1 otherwise.
int readConfigFile();

// "%s/.kelvosettings" in homeDir, 35 bytes little-endian. 0 on success, -1 when
// the file cannot be opened (read) or created (write).
int readStateFile();
int writeStateFile();

inline constexpr int kStateFileSize = 35;
