#include "common/pathhelpers.h"

#include <cstring>

bool isPathSeparator(char c)
{
    return c == '/' || c == '\\' || c == ':';
}

const char *baseNameOf(const char *text)
{
    const char *afterSeparator = text;
    for (const char *p = text; *p != '\0'; ++p) {
        if (isPathSeparator(*p))
            afterSeparator = p + 1;
    }
    return afterSeparator;
}

bool hasDirectoryPart(const char *text)
{
    for (const char *p = text; *p != '\0'; ++p) {
        if (isPathSeparator(*p))
            return true;
    }
    return false;
}

void stripSuffix(char *name, const char *suffix)
{
    const std::size_t nameLength = std::strlen(name);
    const std::size_t suffixLength = std::strlen(suffix);
    if (nameLength > suffixLength
        && std::memcmp(name + nameLength - suffixLength, suffix, suffixLength) == 0)
        name[nameLength - suffixLength] = '\0';
}

void ensureExtension(std::string &name, const char *extension)
{
    const std::string_view wanted(extension);
    if (name.size() >= wanted.size()
        && name.compare(name.size() - wanted.size(), wanted.size(), wanted) == 0)
        return;

    std::size_t searchFrom = name.rfind('/');
    if (searchFrom == std::string::npos)
        searchFrom = name.rfind('\\');
    if (searchFrom == std::string::npos)
        searchFrom = 0;

    if (name.find('.', searchFrom) == std::string::npos)
        name += extension;
}
