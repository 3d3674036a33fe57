// The upload's end detection on its own: the block chain scan and the read-on to the image length.
#include "transfer/upload_scan.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace aurex {
namespace {

// Feeds the image block by block as an upload stores it; the bytes stored when the scan said
// the upload may end (0 when it never did within `image`).
std::int32_t BytesUntilComplete(const std::vector<std::uint8_t>& image)
{
    std::vector<std::uint8_t> buffer(kCodeplugBufferBytes, 0);
    CodeplugUploadScan scan;
    scan.Reset();
    std::int32_t length = 0;
    for (std::size_t at = 0; at + kCodeplugBlockBytes <= image.size(); at += kCodeplugBlockBytes) {
        const std::int32_t received = length + kCodeplugBlockBytes;
        if (received <= kCodeplugBufferBytes) {
            std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(at), kCodeplugBlockBytes,
                        buffer.begin() + length);
            length = received;
        }
        if (scan.Complete(
                std::span<const std::uint8_t, kCodeplugBufferBytes>(buffer.data(), kCodeplugBufferBytes),
                length, received)) {
            EXPECT_EQ(scan.ScanPosition(), 0);
            return received;
        }
    }
    return 0;
}

void PutBlock(std::vector<std::uint8_t>& image, std::size_t at, std::uint16_t words)
{
    image[at] = image[at + 1] = 0x5F;
    image[at + 2] = static_cast<std::uint8_t>(words >> 8);
    image[at + 3] = static_cast<std::uint8_t>(words);
}

TEST(CodeplugUploadScanTest, FollowsTheChainOneMarkPerBlockAndReadsOnToTheImageLength)
{
    std::vector<std::uint8_t> image(4096, 0x11);
    // Block of 127 words: the next mark sits at byte 254, its length word in the third block.
    // Read as 0 after the second block, it is examined again after the third.
    PutBlock(image, 0, 127);
    PutBlock(image, 254, 0x4000 | 65); // type bits above the length are ignored
    image[384] = 0x00;                 // 254 + 130 = 384: the chain ends here
    image[8] = 0x00;
    image[9] = 0x00; // image length 0: nothing more to read
    EXPECT_EQ(BytesUntilComplete(image), 512);

    // The same chain in an image of 700 words reads on to 1408 bytes (11 blocks).
    image[8] = 0x02;
    image[9] = 0xBC;
    EXPECT_EQ(BytesUntilComplete(image), 1408);

    // No mark at the start: one block, whatever the length word says.
    image[0] = 0x00;
    EXPECT_EQ(BytesUntilComplete(image), 128);
}

TEST(CodeplugUploadScanTest, NeverNeedsMoreThanTheBufferAndOneBlock)
{
    // A chain of zero-length blocks never advances: the scan ends once the buffer is overrun.
    std::vector<std::uint8_t> stuck(kCodeplugBufferBytes + 4 * kCodeplugBlockBytes, 0x00);
    PutBlock(stuck, 0, 0);
    EXPECT_EQ(BytesUntilComplete(stuck), kCodeplugBufferBytes + kCodeplugBlockBytes);

    // A chain that ends, with an image length past the buffer: exactly the buffer.
    std::vector<std::uint8_t> huge(kCodeplugBufferBytes + 4 * kCodeplugBlockBytes, 0x22);
    PutBlock(huge, 0, 64);
    huge[8] = huge[9] = 0xFF;
    EXPECT_EQ(BytesUntilComplete(huge), kCodeplugBufferBytes);
}

} // namespace
} // namespace aurex
