// A codeplug converted for a radio, and the comparison of a written codeplug with its read-back.
#include <gtest/gtest.h>

#include "app/codeplug_conversion.h"
#include "app/codeplug_transfers.h"
#include "codeplug-builder/codeplug_builder.h"
#include "convert/format_tables.h"

namespace aurex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Image(std::uint8_t formatIndex)
{
    CodeplugOptions options;
    options.formatIndex = formatIndex;
    const BuiltCodeplug built = BuildCodeplug(options);
    Bytes line;
    for (std::size_t i = 0; i < built.imageLength; ++i) {
        line.push_back(static_cast<std::uint8_t>(built.image()[i] >> 8));
        line.push_back(static_cast<std::uint8_t>(built.image()[i]));
    }
    return line;
}

TEST(CodeplugConversion, ConvertsBetweenTheKnownFormatsOnly)
{
    const Bytes v58 = Image(3);
    const ConvertedCodeplug up = ConvertCodeplug(v58, 5);
    ASSERT_TRUE(up.ok);
    EXPECT_GT(up.bytes.size(), v58.size()); // 5.10 holds more
    EXPECT_EQ(up.bytes[6] << 8 | up.bytes[7], 0x050A);
    ASSERT_FALSE(up.report.empty());
    EXPECT_EQ(up.report.front(), "format 5.8 to 5.10");
    const ConvertedCodeplug down = ConvertCodeplug(up.bytes, 3);
    ASSERT_TRUE(down.ok);
    EXPECT_EQ(down.bytes[6] << 8 | down.bytes[7], 0x0508);
    EXPECT_EQ(ConvertCodeplug(v58, 3).bytes, v58); // already in the format: unchanged
    EXPECT_TRUE(ConvertCodeplug(v58, 3).report.empty());
    EXPECT_FALSE(ConvertCodeplug(v58, 6).ok); // a format this program does not convert
    Bytes v57 = v58;
    v57[7] = 7;
    EXPECT_FALSE(ConvertCodeplug(v57, 5).ok);
}

TEST(CodeplugConversion, AReadBackMustHoldTheWrittenImageUpToItsOwnLength)
{
    const Bytes image = Image(5);
    Bytes written = image;
    written.resize((image.size() + 255) / 256 * 256, 0x20); // a write carries whole pairs of blocks
    const Bytes readBack(image.begin(), image.end());
    struct Case
    {
        const char* what;
        Bytes readBack;
        bool holds;
    };
    Bytes changed = readBack;
    changed[image.size() - 1] ^= 0x01; // the trailer's last byte
    Bytes padded = readBack;
    padded.resize(written.size(), 0xFF); // what follows the image does not count
    const Case cases[] = {
        {"the same image", readBack, true},
        {"other bytes past the image", padded, true},
        {"one byte of the image changed", changed, false},
        {"cut short", Bytes(readBack.begin(), readBack.end() - 2), false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(HoldsWrittenCodeplug(c.readBack, written), c.holds);
    }
}

} // namespace
} // namespace aurex
