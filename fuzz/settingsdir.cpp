#include "fuzz/settingsdir.h"

#include "common/optionstate.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string directory;

void removeDirectory()
{
    nftw(directory.c_str(), [](const char *path, const struct stat *, int, FTW *) { return remove(path); },
         8, FTW_DEPTH | FTW_PHYS);
}
} // namespace

const std::string &useFuzzSettingsDirectory()
{
    if (directory.empty()) {
        const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/kelvo-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        directory = pattern;
        std::atexit(removeDirectory);
        homeDir = directory;
        appDir = directory + "/absent";
    }
    return directory;
}

void putFile(const std::string &path, const unsigned char *data, std::size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || (size > 0 && write(fd, data, size) != ssize_t(size)) || close(fd) != 0)
        std::abort();
}

int filesInDirectory(const std::string &path)
{
    DIR *dir = opendir(path.c_str());
    if (dir == nullptr)
        std::abort();
    int count = 0;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        count += name != "." && name != "..";
    }
    closedir(dir);
    return count;
}
