#include "stream/recordedtexts.h"

void RecordedTexts::clear()
{
    items.clear();
    bytes.clear();
}

int32_t RecordedTexts::add(const StreamText &item)
{
    Recorded recorded{};
    recorded.textOffset = bytes.size();
    bytes.append(item.text).push_back('\0');
    recorded.familyOffset = bytes.size();
    bytes.append(item.fontFamily).push_back('\0');
    recorded.pointSize = item.pointSize;
    recorded.flags = item.flags;
    recorded.x = item.x;
    recorded.y = item.y;
    items.push_back(recorded);
    return static_cast<int32_t>(items.size() - 1);
}

StreamText RecordedTexts::at(int32_t index) const
{
    const Recorded &recorded = items[static_cast<std::size_t>(index)];
    StreamText item;
    item.text = bytes.data() + recorded.textOffset;
    item.fontFamily = bytes.data() + recorded.familyOffset;
    item.pointSize = recorded.pointSize;
    item.flags = recorded.flags;
    item.x = recorded.x;
    item.y = recorded.y;
    return item;
}
