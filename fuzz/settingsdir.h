#pragma once

#include <string>

// A private directory for the settings fuzzers' files, on a memory file
// system when there is one, removed with its files when the process ends.
// Sets homeDir to it and appDir to a directory that does not exist.
const std::string &useFuzzSettingsDirectory();

// Writes the bytes as the file, replacing it; aborts when that fails.
void putFile(const std::string &path, const unsigned char *data, std::size_t size);

// The names in the directory other than "." and "..".
int filesInDirectory(const std::string &directory);
