#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <sys/types.h>

// Every file kelvo writes goes through here: the bytes go to a temporary file
// beside the target, which replaces the target only once every write, the
// flush to disk and the close have succeeded. A failed write leaves an earlier
// file as it was and no temporary file behind.
//
// Where no new file can take the old one's place (a directory the user may
// not write, another user's file in a sticky directory, a file with other
// names), an existing file the user may write is rewritten in place, as a
// plain open for writing would. The new content is then gathered in memory
// and goes over the old only once the file system has room for all of it, so
// a full disk or a failed write before the commit leaves the earlier content
// too, and a signal that would end the process waits for the rewrite's end;
// only a fault of the disk in the middle of the rewrite itself, or a file
// system that copies blocks on write (and so needs room the reservation did
// not take), can not.

enum class WriteOutcome {
    Written,
    NotOpened,   // no file could be created there (directory, permission, name)
    NotAFile,    // the target is a FIFO, device, socket or directory
    WriteFailed, // opened, but a write, the flush, the close or the rename failed
};

class SafeFileWrite
{
public:
    SafeFileWrite() = default;
    SafeFileWrite(const SafeFileWrite &) = delete;
    SafeFileWrite &operator=(const SafeFileWrite &) = delete;
    // Discards the temporary file unless it was committed.
    ~SafeFileWrite();

    // Follows symbolic links from target to the file they name (which need
    // not exist yet) and creates the temporary file in that file's directory.
    // A replaced file's owner, mode and extended attributes (its access
    // control list among them) are carried over; where the owner or an
    // attribute cannot be, the file is rewritten in place instead. Written
    // means ready to write.
    WriteOutcome open(const char *target);

    // A stdio stream on the temporary file (in place: onto the content in
    // memory), made on first use; null when not open.
    FILE *stream();
    // Appends bytes; false (and the commit will fail) when they did not all go.
    bool write(const void *data, std::size_t size);

    // Flushes, syncs and closes the temporary file, then renames it over the
    // target (in place: writes the content over the target's). Anything but
    // Written removes the temporary file.
    WriteOutcome commit();
    // Gives up: closes and removes the temporary file.
    void discard();

private:
    static ssize_t appendInPlace(void *self, const char *data, std::size_t size);
    void removeTemporary();
    void forgetTemporary();
    bool keepInPlace(const char *data, std::size_t size);
    bool closeInPlaceStream();
    bool rewriteInPlace();

    std::string target;
    std::string temporary;
    int trackedSlot = -1; // where a signal finds temporary, or -1
    int fd = -1;
    FILE *file = nullptr;
    bool failed = false;
    bool inPlace = false; // fd is the target itself; the content waits in inPlaceContent
    std::string inPlaceContent;
};

// The file a write to target lands in: target with its symbolic links
// followed (that file need not exist). Empty when no file could be named.
std::string writeTargetOf(const char *target);

// The whole of a byte buffer as the new content of target.
WriteOutcome writeFileSafely(const char *target, const void *data, std::size_t size);
