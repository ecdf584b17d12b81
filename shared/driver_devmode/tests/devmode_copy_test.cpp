// One device mode copied into another: the smaller standard part, then the
// smaller private part from behind each standard part, the target's header
// kept; on device modes laid out by hand from the documented offsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "devmode_forms.h"
#include "devmode_private.h"

namespace {

using Bytes = std::vector<BYTE>;

void Put16(Bytes& b, size_t off, WORD v) {
    b[off] = static_cast<BYTE>(v);
    b[off + 1] = static_cast<BYTE>(v >> 8);
}
WORD Get16(const Bytes& b, size_t off) {
    return static_cast<WORD>(b[off] | (b[off + 1] << 8));
}

// A wide device mode of the given sizes: dmSpecVersion at 64, dmDriverVersion
// 66, dmSize 68, dmDriverExtra 70; every other byte stamped with `fill`.
Bytes Wide(WORD size, WORD extra, WORD spec, BYTE fill) {
    Bytes b(size + extra, fill);
    Put16(b, 64, spec);
    Put16(b, 66, 0x0500);
    Put16(b, 68, size);
    Put16(b, 70, extra);
    return b;
}

TEST(CopyDevmodeImage, CopiesTheSmallerOfEachPartAndKeepsTheTargetsHeader) {
    struct Case {
        WORD sourceSize, sourceExtra, targetSize, targetExtra;
    } cases[] = {
        {DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE, DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE},
        {DEVMODEW_SIZE_320, PRIVATE_DEVMODE_SIZE_908, DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE},
        {DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE, DEVMODEW_SIZE_320, PRIVATE_DEVMODE_SIZE_OLDEST},
        {DEVMODEW_SIZE, 0, DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceSize << "+" << c.sourceExtra << " into "
                                        << c.targetSize << "+" << c.targetExtra);
        const Bytes source = Wide(c.sourceSize, c.sourceExtra, 0x0320, 0x5A);
        Bytes target = Wide(c.targetSize, c.targetExtra, 0x0401, 0x00);
        const size_t standard = std::min(c.sourceSize, c.targetSize);
        const size_t extra = std::min(c.sourceExtra, c.targetExtra);
        EXPECT_EQ(driver_devmode::CopyDevmodeImage(reinterpret_cast<const DEVMODEW*>(source.data()),
                                                   reinterpret_cast<DEVMODEW*>(target.data())),
                  standard + extra);
        EXPECT_EQ(Get16(target, 64), 0x0401); // the target's header
        EXPECT_EQ(Get16(target, 68), c.targetSize);
        EXPECT_EQ(Get16(target, 70), c.targetExtra);
        EXPECT_EQ(target[0], 0x5A);
        EXPECT_EQ(target[standard - 1], 0x5A);
        if (standard < c.targetSize) EXPECT_EQ(target[standard], 0x00);
        if (extra) EXPECT_EQ(target[c.targetSize + extra - 1], 0x5A);
        if (extra < c.targetExtra) EXPECT_EQ(target[c.targetSize + extra], 0x00);
    }
    DEVMODEW dm{};
    EXPECT_EQ(driver_devmode::CopyDevmodeImage(nullptr, &dm), 0u);
    EXPECT_EQ(driver_devmode::CopyDevmodeImage(&dm, nullptr), 0u);
}

} // namespace
