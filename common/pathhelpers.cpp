#include "common/pathhelpers.h"

#include <QCoreApplication>

#include <climits>
#include <unistd.h>

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

void stripSuffix(std::string &name, std::string_view suffix)
{
    if (name.size() > suffix.size() && name.ends_with(suffix))
        name.resize(name.size() - suffix.size());
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

std::string workingDirectory()
{
    char directory[PATH_MAX];
    return getcwd(directory, sizeof directory) != nullptr ? std::string(directory) : std::string();
}

std::string programDirectory()
{
    char program[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program);
    if (length > 0 && length < ssize_t(sizeof program)) {
        const std::string path(program, std::size_t(length));
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            return slash == 0 ? std::string("/") : path.substr(0, slash);
    }
    return QCoreApplication::applicationDirPath().toLocal8Bit().toStdString();
}
