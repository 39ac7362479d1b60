#pragma once

// Opens path for reading only when it is a regular file. A FIFO would block the
// open until a writer appears and a directory "opens" but cannot be read, so
// both count as a failure here. Returns a file descriptor, or -1; then
// foundMode (when given) is the type and mode of what did open, or 0.
int openRegularFileForReading(const char *path, unsigned *foundMode = nullptr);
// The same for writing an existing file from its start (no create, no
// truncation, no symbolic link followed).
int openRegularFileForWriting(const char *path);

// Reads up to length bytes, retrying after interruptions and partial reads.
// Returns the number of bytes read (less than length at end of file or on error).
// A large buffer is first offered to the kernel for huge pages: mapping a big
// file's bytes a page of 4 KiB at a time costs more than reading them (on
// virtual machines tenfold); a refusal changes nothing.
long long readFully(int fd, void *buffer, long long length);

// Writes all length bytes; false when that failed.
bool writeFully(int fd, const void *buffer, long long length);
