#include "transfer/upload_scan.h"

#include <algorithm>

namespace aurex {

namespace {

constexpr std::uint8_t kBlockMarkByte = 0x5F;
constexpr std::uint16_t kBlockLengthMask = 0x3FFF;
// Image word 4, big-endian as the radio sends it: words from word 0 to the end of the trailer.
constexpr std::int32_t kImageLengthOffset = 8;

// Past the buffer reads as the zero fill would.
std::uint8_t ByteAt(std::span<const std::uint8_t, kCodeplugBufferBytes> image, std::int32_t offset)
{
    if (offset < 0 || offset >= kCodeplugBufferBytes) {
        return 0;
    }
    return image[static_cast<std::size_t>(offset)];
}

} // namespace

void CodeplugUploadScan::Reset()
{
    scanPosition_ = 0;
    imageBytesWanted_ = 0;
}

bool CodeplugUploadScan::ScanDone(std::span<const std::uint8_t, kCodeplugBufferBytes> image,
                                  std::int32_t received)
{
    std::int32_t position = 0;
    bool examine = false;
    if (received == kCodeplugBlockBytes) {
        examine = true;
    } else if (received > scanPosition_) {
        position = scanPosition_;
        examine = true;
    }
    if (received > kCodeplugBufferBytes) {
        scanPosition_ = 0;
        return true;
    }
    if (!examine) {
        return false;
    }
    if (ByteAt(image, position) == kBlockMarkByte && ByteAt(image, position + 1) == kBlockMarkByte) {
        const auto word =
            static_cast<std::uint16_t>((ByteAt(image, position + 2) << 8) | ByteAt(image, position + 3));
        scanPosition_ = position + static_cast<std::int32_t>(word & kBlockLengthMask) * 2;
        return false;
    }
    scanPosition_ = 0;
    return true;
}

bool CodeplugUploadScan::Complete(std::span<const std::uint8_t, kCodeplugBufferBytes> image,
                                  std::int32_t length, std::int32_t received)
{
    if (imageBytesWanted_ > 0) {
        return length >= imageBytesWanted_ || received > kCodeplugBufferBytes;
    }
    if (!ScanDone(image, received)) {
        return false;
    }
    // The chain ends before the image does: the trailer that follows it belongs to the image and
    // must go back into the radio as it came out, so read on to the image's own length.
    if (received <= kCodeplugBufferBytes && ByteAt(image, 0) == kBlockMarkByte &&
        ByteAt(image, 1) == kBlockMarkByte) {
        const std::int32_t words =
            (ByteAt(image, kImageLengthOffset) << 8) | ByteAt(image, kImageLengthOffset + 1);
        const std::int32_t wanted = std::min(words * 2, kCodeplugBufferBytes);
        if (wanted > length) {
            imageBytesWanted_ = wanted;
            return false;
        }
    }
    return true;
}

} // namespace aurex
