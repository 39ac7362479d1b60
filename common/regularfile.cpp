#include "common/regularfile.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Keeps fd when it refers to a regular file (switching it back to blocking
// mode), closes it otherwise, telling what it was in foundMode.
int keepIfRegular(int fd, unsigned *foundMode = nullptr)
{
    if (foundMode != nullptr)
        *foundMode = 0;
    if (fd < 0)
        return -1;
    struct stat status;
    const bool known = fstat(fd, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        if (foundMode != nullptr && known)
            *foundMode = status.st_mode;
        close(fd);
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

// Whole 2 MiB pages inside the buffer only: the advice covers no one else's memory.
void adviseHugePages(void *buffer, long long length)
{
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    if (buffer == nullptr || length < 2 * static_cast<long long>(kHugePage))
        return;
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(buffer) + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(buffer) + std::uintptr_t(length)) & ~(kHugePage - 1);
    if (end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
}

} // namespace

int openRegularFileForReading(const char *path, unsigned *foundMode)
{
    if (path == nullptr)
        return keepIfRegular(-1, foundMode);
    return keepIfRegular(open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), foundMode);
}

int openRegularFileForWriting(const char *path)
{
    if (path == nullptr)
        return -1;
    return keepIfRegular(open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
}

long long readFully(int fd, void *buffer, long long length)
{
    adviseHugePages(buffer, length);
    auto *bytes = static_cast<unsigned char *>(buffer);
    long long done = 0;
    while (done < length) {
        // Linux hands out at most about 2 GiB per read.
        const long long wanted = length - done < (1LL << 30) ? length - done : (1LL << 30);
        const ssize_t got = read(fd, bytes + done, static_cast<size_t>(wanted));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

bool writeFully(int fd, const void *buffer, long long length)
{
    const auto *bytes = static_cast<const unsigned char *>(buffer);
    long long done = 0;
    while (done < length) {
        const ssize_t put = write(fd, bytes + done, static_cast<size_t>(length - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}
