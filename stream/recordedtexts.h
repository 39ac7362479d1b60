#pragma once

#include "stream/streamsink.h"

#include <cstdint>
#include <string>
#include <vector>

// Text items of a walk kept for a later replay: their strings copied into
// one buffer, since the walk's own are gone by then.
class RecordedTexts
{
public:
    void clear();
    // Keeps a copy of item; returns its index.
    int32_t add(const StreamText &item);
    // The item at index, its strings valid until the next add or clear.
    StreamText at(int32_t index) const;
    std::size_t byteCount() const { return bytes.size(); }

private:
    struct Recorded {
        std::size_t textOffset, familyOffset;
        int32_t pointSize, flags, x, y;
    };
    std::vector<Recorded> items;
    std::string bytes;
};
