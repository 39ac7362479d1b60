#pragma once

#include <string>
#include <string_view>

// '/', '\\' and ':' all count as separators, so that names written by the host
// on other systems ("C:plot.pvg", "dir\\plot.pvg") keep their directory part.
bool isPathSeparator(char c);

// The text after the last separator, or the whole text when there is none.
const char *baseNameOf(const char *text);

bool hasDirectoryPart(const char *text);

// Cuts the suffix off when the name is longer than it and ends with it
// (case-sensitive).
void stripSuffix(std::string &name, std::string_view suffix);

// Appends extension (with its dot) unless the name ends with it or has a dot
// after its last '/' (or, lacking that, its last '\\').
void ensureExtension(std::string &name, const char *extension);

// The process's working directory as the system names it (any bytes), or
// empty when it cannot be named: removed, or longer than a path may be.
std::string workingDirectory();

// The directory of the program's executable as the system names it (any
// bytes); the toolkit's name for it when the system gives none.
std::string programDirectory();
