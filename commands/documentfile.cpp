#include "commands/documentfile.h"

#include "common/regularfile.h"
#include "stream/signature.h"

#include <cstring>
#include <new>
#include <unistd.h>

int readDocumentFile(const char *path, char *message)
{
    copyText(message, kTextBufferSize, openErrorMessage);
    copyText(lastReadPath, path);
    // The old bytes go first, so that nothing can draw them while this fails.
    releaseDocumentData();

    const int fd = openRegularFileForReading(path);
    if (fd < 0)
        return -1;
    const off_t length = lseek(fd, 0, SEEK_END);
    // size is 32 bits and the buffer size + 32 bytes: longer files cannot be held.
    if (length < 0 || length > kLargestDocument || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return -1;
    }
    CurrentDocument.size = static_cast<int32_t>(length);

    const long long bufferSize = static_cast<long long>(CurrentDocument.size) + 32;
    auto *buffer = new (std::nothrow) unsigned char[static_cast<size_t>(bufferSize)];
    if (buffer == nullptr) {
        close(fd);
        return -1;
    }
    CurrentDocument.owner.reset(buffer);
    CurrentDocument.data = buffer;
    ++CurrentDocument.generation;

    const long long got = readFully(fd, buffer, CurrentDocument.size);
    close(fd);
    if (CurrentDocument.size == 0 || got != CurrentDocument.size) {
        releaseDocumentData();
        return -1;
    }

    if (!hasPvgSignature(buffer, CurrentDocument.size)) {
        copyText(message, kTextBufferSize, notPvgMessage);
        releaseDocumentData();
        return -1;
    }

    // The zeros end any walk that runs off the file; the slack is cleared too.
    std::memset(buffer + CurrentDocument.size, 0, 32);
    return 0;
}
