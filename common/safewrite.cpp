#include "common/safewrite.h"

#include "common/regularfile.h"
#include "common/unfinishedwrites.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Hops through symbolic links before giving up, as the kernel's limit.
constexpr int kMostLinkHops = 40;
// Part of the target's name kept in the temporary name, so that the latter
// stays within the file system's name limit.
constexpr std::size_t kNameStemLength = 100;
constexpr int kNameAttempts = 100;

struct Resolved {
    std::string path;
    bool exists = false;
    struct stat status {};
};

std::string directoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows the links a plain open for writing would follow, so that the new
// content lands in the file the link names and the link itself stays. A
// dangling link names the file to create.
WriteOutcome resolve(const char *target, Resolved &out)
{
    if (target == nullptr || target[0] == '\0')
        return WriteOutcome::NotOpened;
    std::string path = target;
    for (int hop = 0; hop <= kMostLinkHops; ++hop) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT)
                return WriteOutcome::NotOpened;
            out.path = path;
            out.exists = false;
            return WriteOutcome::Written;
        }
        if (!S_ISLNK(status.st_mode)) {
            if (!S_ISREG(status.st_mode))
                return WriteOutcome::NotAFile;
            out.path = path;
            out.exists = true;
            out.status = status;
            return WriteOutcome::Written;
        }
        std::string link(std::size_t(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length <= 0 || std::size_t(length) >= link.size())
            return WriteOutcome::NotOpened;
        link.resize(std::size_t(length));
        path = link[0] == '/' ? link : directoryOf(path) + link;
    }
    return WriteOutcome::NotOpened;
}

// Distinct enough for a name that O_EXCL checks anyway.
std::string uniqueSuffix(int attempt)
{
    static std::atomic<std::uint64_t> counter{0}; // writes may be made on several threads
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t mix = (std::uint64_t(now.tv_nsec) << 20) ^ std::uint64_t(now.tv_sec)
                        ^ (std::uint64_t(::getpid()) << 40) ^ ((counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull)
                        ^ std::uint64_t(attempt);
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (int i = 0; i < 8; ++i) {
        suffix += digits[mix % 36];
        mix /= 36;
    }
    return suffix;
}

// In a sticky directory only the owner of a file, the directory's owner or
// root may replace it; a rename onto anyone else's would be refused.
bool replacingIsRefused(const Resolved &resolved, const std::string &directory)
{
    struct stat folder {};
    const uid_t user = ::geteuid();
    return resolved.exists && ::stat(directory.empty() ? "." : directory.c_str(), &folder) == 0
           && (folder.st_mode & S_ISVTX) != 0 && user != 0 && resolved.status.st_uid != user && folder.st_uid != user;
}

// The extended attributes of the file at from onto the open file to. False
// when one could not be read or set (the writer may not, or the file system
// of the new file keeps none).
bool copyAttributes(const std::string &from, int to)
{
    ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size <= 0)
        return size == 0 || errno == ENOTSUP;
    std::string names(std::size_t(size), '\0');
    size = ::listxattr(from.c_str(), names.data(), names.size());
    if (size < 0)
        return false;
    names.resize(std::size_t(size));
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char *name = names.c_str() + at;
        ssize_t length = ::getxattr(from.c_str(), name, nullptr, 0);
        std::string value(std::size_t(length > 0 ? length : 0), '\0');
        if (length > 0)
            length = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (length < 0 || ::fsetxattr(to, name, value.data(), std::size_t(length), 0) != 0)
            return false;
    }
    return true;
}

// Gives the new file at fd what the replaced one had. False when its owner or
// an attribute could not be given: replacing the file would change them.
bool carryOver(const Resolved &replaced, int fd)
{
    // The owner first, since changing it clears the set-id bits.
    if ((replaced.status.st_uid != ::geteuid() || replaced.status.st_gid != ::getegid())
        && ::fchown(fd, replaced.status.st_uid, replaced.status.st_gid) != 0)
        return false;
    // Best effort: some file systems keep no mode.
    (void)::fchmod(fd, replaced.status.st_mode & 07777);
    return copyAttributes(replaced.path, fd);
}

} // namespace

std::string writeTargetOf(const char *target)
{
    Resolved resolved;
    return resolve(target, resolved) == WriteOutcome::Written ? resolved.path : std::string();
}

SafeFileWrite::~SafeFileWrite()
{
    discard();
}

WriteOutcome SafeFileWrite::open(const char *requested)
{
    discard();
    Resolved resolved;
    const WriteOutcome found = resolve(requested, resolved);
    if (found != WriteOutcome::Written)
        return found;
    // Renaming would replace a file that could not be opened for writing.
    if (resolved.exists && ::access(resolved.path.c_str(), W_OK) != 0)
        return WriteOutcome::NotOpened;

    const std::string directory = directoryOf(resolved.path);
    const std::string name = resolved.path.substr(directory.size());
    if (name.empty())
        return WriteOutcome::NotOpened;
    const std::string stem = directory + "." + name.substr(0, kNameStemLength) + ".";
    // A file with other names (hard links) keeps them only when its own
    // content is rewritten; a renamed new file would leave them the old one.
    const bool renameRefused = replacingIsRefused(resolved, directory)
                               || (resolved.exists && resolved.status.st_nlink > 1);
    {
        const EndingSignalsWait listedFirst; // a signal must find the file it was made
        for (int attempt = 0; attempt < kNameAttempts && fd < 0 && !renameRefused; ++attempt) {
            temporary = stem + uniqueSuffix(attempt);
            // 0666 as a plain create would use, so that the umask decides a new file's mode.
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd >= 0)
            trackedSlot = trackTemporary(temporary);
    }
    const bool createRefused = fd < 0 && (errno == EACCES || errno == EPERM);
    const bool carryOverRefused = fd >= 0 && resolved.exists && !carryOver(resolved, fd);
    if (carryOverRefused) {
        ::close(fd);
        removeTemporary();
        fd = -1;
    }
    if (fd < 0 && resolved.exists && (renameRefused || createRefused || carryOverRefused)) {
        temporary.clear();
        fd = openRegularFileForWriting(resolved.path.c_str()); // cut to what was written at the end
        inPlace = fd >= 0;
    }
    if (fd < 0) {
        temporary.clear();
        return WriteOutcome::NotOpened;
    }
    target = resolved.path;
    failed = false;
    return WriteOutcome::Written;
}

FILE *SafeFileWrite::stream()
{
    if (file == nullptr && fd >= 0) {
        file = inPlace ? ::fopencookie(this, "w", cookie_io_functions_t{nullptr, appendInPlace, nullptr, nullptr})
                       : ::fdopen(fd, "w");
        if (file == nullptr)
            failed = true;
    }
    return file;
}

bool SafeFileWrite::write(const void *data, std::size_t size)
{
    if (fd < 0) {
        failed = true;
        return false;
    }
    bool ok = true;
    if (file != nullptr)
        ok = std::fwrite(data, 1, size, file) == size;
    else if (inPlace)
        ok = keepInPlace(static_cast<const char *>(data), size);
    else
        ok = writeFully(fd, data, static_cast<long long>(size));
    if (!ok)
        failed = true;
    return ok;
}

WriteOutcome SafeFileWrite::commit()
{
    if (fd < 0)
        return WriteOutcome::WriteFailed;
    bool ok = !failed;
    if (inPlace)
        ok = closeInPlaceStream() && ok && rewriteInPlace();
    else if (file != nullptr)
        ok = std::fflush(file) == 0 && !std::ferror(file) && ok;
    // On disk before the rename, or a crash could leave the new name empty.
    // File systems without a sync of their own say so; that is no failure.
    ok = (::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP || errno == ENOSYS) && ok;
    const int closed = file != nullptr ? std::fclose(file) : ::close(fd);
    file = nullptr;
    fd = -1;
    ok = closed == 0 && ok;
    if (inPlace) {
        inPlace = false;
        std::string().swap(inPlaceContent);
        return ok ? WriteOutcome::Written : WriteOutcome::WriteFailed;
    }
    if (ok)
        ok = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        removeTemporary();
        return WriteOutcome::WriteFailed;
    }
    forgetTemporary();
    return WriteOutcome::Written;
}

// The in-place stream's writes: into the content in memory. A short count
// (0) marks the stream in error, so a content that memory could not hold
// fails the commit instead of going out cut short.
ssize_t SafeFileWrite::appendInPlace(void *self, const char *data, std::size_t size)
{
    return static_cast<SafeFileWrite *>(self)->keepInPlace(data, size) ? ssize_t(size) : 0;
}

bool SafeFileWrite::keepInPlace(const char *data, std::size_t size)
{
    try {
        inPlaceContent.append(data, size);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool SafeFileWrite::closeInPlaceStream()
{
    if (file == nullptr)
        return true;
    const bool ok = std::fflush(file) == 0 && !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    return ok && closed;
}

// Room for the whole new content first: the earlier bytes are only written
// over once no lack of space can stop the rewrite half way. The growth is
// reserved, and everything when the part written over has holes; a file
// without them needs no read of its blocks (where the file system has no
// reservation of its own, the C library's stand-in reads what lies inside).
// A signal waits for the rewrite and the cut: no mix of the two contents.
bool SafeFileWrite::rewriteInPlace()
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return false;
    const off_t size = off_t(inPlaceContent.size());
    const off_t kept = std::min(status.st_size, size);
    // The first hole (the file's end when it has none or its file system does not say).
    const off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return false;
    const off_t from = hole >= 0 && hole < kept ? 0 : kept;
    if (size > from) {
        int refused = 0;
        do
            refused = ::posix_fallocate(fd, from, size - from);
        while (refused == EINTR);
        if (refused == ENOSPC || refused == EDQUOT || refused == EFBIG) {
            (void)::ftruncate(fd, status.st_size); // as it was, should the reservation have grown it
            return false;
        }
    }
    const EndingSignalsWait wholly;
    return writeFully(fd, inPlaceContent.data(), static_cast<long long>(size)) && ::ftruncate(fd, size) == 0;
}

void SafeFileWrite::discard()
{
    // In place, nothing has reached the file yet.
    if (file != nullptr)
        std::fclose(file);
    if (fd >= 0 && (file == nullptr || inPlace))
        ::close(fd);
    inPlace = false;
    std::string().swap(inPlaceContent);
    file = nullptr;
    fd = -1;
    removeTemporary();
}

void SafeFileWrite::removeTemporary()
{
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    forgetTemporary();
}

// After the rename the name is gone; a signal in between finds no file.
void SafeFileWrite::forgetTemporary()
{
    untrackTemporary(trackedSlot);
    trackedSlot = -1;
    temporary.clear();
}

WriteOutcome writeFileSafely(const char *target, const void *data, std::size_t size)
{
    SafeFileWrite out;
    const WriteOutcome opened = out.open(target);
    if (opened != WriteOutcome::Written)
        return opened;
    out.write(data, size);
    return out.commit();
}
