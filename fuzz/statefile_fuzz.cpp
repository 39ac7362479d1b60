// Reads arbitrary bytes as the state file through the real reader, then
// writes the state back through the real writer and reads it again. The
// bytes present must land in order over the fields (the geometry only when no
// -wp= was given), the written file must be exactly the 35 bytes of the state,
// the round trip must change nothing, and no temporary file may stay behind.
#include "app/settingsfiles.h"
#include "common/optionstate.h"
#include "fuzz/settingsdir.h"

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzzcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string directory;
std::string statePath;

// The state as the file lays it out, built independently of the writer.
std::vector<unsigned char> stateImage()
{
    std::vector<unsigned char> image(ViewerSettings.settingsVersion, ViewerSettings.settingsVersion + 10);
    image.push_back(ViewerSettings.whiteBackground);
    for (int32_t field : {windowGeometry.left, windowGeometry.top, windowGeometry.right, windowGeometry.bottom,
                          windowGeometry.width, windowGeometry.height})
        for (int shift = 0; shift < 32; shift += 8)
            image.push_back(static_cast<unsigned char>(static_cast<uint32_t>(field) >> shift));
    return image;
}

std::vector<unsigned char> readBack()
{
    FILE *file = std::fopen(statePath.c_str(), "rb");
    if (file == nullptr)
        fail("the written state file is not there");
    std::vector<unsigned char> bytes(64);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    directory = useFuzzSettingsDirectory();
    statePath = directory + "/.kelvosettings";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const uint8_t control = provider.ConsumeIntegral<uint8_t>();
    const std::vector<unsigned char> file = provider.ConsumeRemainingBytes<unsigned char>();

    // A state to read over: every byte differs from the defaults.
    ViewerSettings = ViewerSettingsRecord();
    std::memset(ViewerSettings.settingsVersion, 0xA5, sizeof ViewerSettings.settingsVersion);
    ViewerSettings.whiteBackground = 0x5A;
    windowGeometry = {-101, -202, -303, -404, -505, -606};
    geometryFromCommandLine = control & 1;
    const std::vector<unsigned char> before = stateImage();

    putFile(statePath, file.data(), file.size());
    if (readStateFile() != 0)
        fail("an existing state file was not read");
    std::vector<unsigned char> expected = before;
    const std::size_t present = std::min<std::size_t>(file.size(), kStateFileSize);
    const std::size_t taken = geometryFromCommandLine ? std::min<std::size_t>(present, 11) : present;
    if (taken > 0)
        std::memcpy(expected.data(), file.data(), taken);
    if (stateImage() != expected)
        fail("the bytes read are not the fields they stand for");

    if (writeStateFile() != 0)
        fail("the state file could not be written");
    if (readBack() != expected)
        fail("the written file is not the state");
    if (filesInDirectory(directory) != 1)
        fail("a temporary file stayed behind");

    geometryFromCommandLine = 0;
    windowGeometry = {};
    if (readStateFile() != 0 || stateImage() != expected)
        fail("the round trip changed the state");
    return 0;
}
