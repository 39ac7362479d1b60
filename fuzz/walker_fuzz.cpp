// Walks arbitrary bytes with no painter and no toolkit objects at all, only an
// output that checks the order and range of what the walk reports. Every input
// is walked twice, with and without the whole-address shortcut, and both walks
// must report the very same events. (kelvo_walkerpieces_fuzz checks walks
// taken up from their pauses.)
#include "fuzz/walkcheck.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const WalkCase walk(data, size);

    CheckingSink sinks[2];
    for (int pass = 0; pass < 2; ++pass) {
        pvgWalkFastPath = pass == 0;
        CPvgMeta meta(walk.input, &sinks[pass], walk.scale);
        meta.render(walk.zoomArea, walk.fullPage);
        check(sinks[pass].ended, "the walk did not end");
        check(meta.walkedSegments() == sinks[pass].segmentsSeen, "segment count differs from the segments reported");
        check(meta.walkedBackground() == sinks[pass].background, "background differs from the one reported");
    }
    pvgWalkFastPath = true;
    check(sinks[0].digest == sinks[1].digest && sinks[0].eventCount == sinks[1].eventCount, "the shortcut changes what the walk reports");
    return 0;
}
