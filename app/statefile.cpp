#include "app/settingsfiles.h"

#include "common/optionstate.h"
#include "common/regularfile.h"
#include "common/safewrite.h"

#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr int kVersionSize = sizeof ViewerSettings.settingsVersion;
constexpr int kGeometryOffset = kVersionSize + 1;
constexpr int kGeometryFieldCount = 6;
static_assert(kGeometryOffset + 4 * kGeometryFieldCount == kStateFileSize);

std::string stateFilePath()
{
    return homeDir + "/.kelvosettings";
}

int32_t *geometryFields(int index)
{
    int32_t *fields[kGeometryFieldCount] = {&windowGeometry.left,  &windowGeometry.top,
                                            &windowGeometry.right, &windowGeometry.bottom,
                                            &windowGeometry.width, &windowGeometry.height};
    return fields[index];
}

void putLittleEndian(unsigned char *out, int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// Replaces the given byte of a little-endian 32-bit field, so that a file cut
// inside a field changes only the bytes it still has.
void setLittleEndianByte(int32_t &field, int byteIndex, unsigned char byte)
{
    auto bits = static_cast<uint32_t>(field);
    bits &= ~(0xFFu << (8 * byteIndex));
    bits |= static_cast<uint32_t>(byte) << (8 * byteIndex);
    field = static_cast<int32_t>(bits);
}

} // namespace

int writeStateFile()
{
    unsigned char bytes[kStateFileSize];
    std::memcpy(bytes, ViewerSettings.settingsVersion, kVersionSize);
    bytes[kVersionSize] = ViewerSettings.whiteBackground;
    for (int i = 0; i < kGeometryFieldCount; ++i)
        putLittleEndian(bytes + kGeometryOffset + 4 * i, *geometryFields(i));

    // Replaced only by complete bytes, so that a full disk keeps the last good
    // settings instead of a truncated file.
    return writeFileSafely(stateFilePath().c_str(), bytes, kStateFileSize) == WriteOutcome::Written ? 0 : -1;
}

int readStateFile()
{
    const int fd = openRegularFileForReading(stateFilePath().c_str());
    if (fd < 0)
        return -1;
    unsigned char bytes[kStateFileSize];
    const long long got = readFully(fd, bytes, kStateFileSize);
    close(fd);

    // A short file stores what it has, in order; the fields beyond keep their values.
    const long long versionBytes = got < kVersionSize ? got : kVersionSize;
    std::memcpy(ViewerSettings.settingsVersion, bytes, static_cast<size_t>(versionBytes));
    if (got > kVersionSize)
        ViewerSettings.whiteBackground = bytes[kVersionSize];
    if (!geometryFromCommandLine) {
        for (long long offset = kGeometryOffset; offset < got; ++offset) {
            const long long index = offset - kGeometryOffset;
            setLittleEndianByte(*geometryFields(static_cast<int>(index / 4)),
                                static_cast<int>(index % 4), bytes[offset]);
        }
    }
    return 0;
}
