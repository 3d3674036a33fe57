#pragma once

// When a codeplug upload has everything: the scan of the codeplug's block chain as the blocks
// arrive, and then the rest of the image up to its own length, so its trailer comes out whole.

#include <cstdint>
#include <span>

namespace aurex {

// Bytes of the codeplug buffer, and of one data block.
inline constexpr std::int32_t kCodeplugBufferBytes = 32768;
inline constexpr std::int32_t kCodeplugBlockBytes = 128;

class CodeplugUploadScan
{
  public:
    // At the start of every upload.
    void Reset();

    // Called after every data block. `image` is the upload buffer in the radio's byte order,
    // zero past what has been stored; `length` the bytes stored; `received` the bytes that have
    // arrived (more than `length` only once a block came that the buffer had no room for).
    // True when the upload has all it needs and may end. Never reads outside the buffer.
    bool Complete(std::span<const std::uint8_t, kCodeplugBufferBytes> image, std::int32_t length,
                  std::int32_t received);

    // Offset of the next block mark to examine; 0 at the start and after a completed scan.
    std::int32_t ScanPosition() const { return scanPosition_; }
    // The bytes the whole image needs, once the block chain has ended short of them; 0 before.
    std::int32_t ImageBytesWanted() const { return imageBytesWanted_; }

  private:
    bool ScanDone(std::span<const std::uint8_t, kCodeplugBufferBytes> image, std::int32_t received);

    std::int32_t scanPosition_ = 0;
    // Once the block chain has ended: bytes the whole image needs, trailer included.
    std::int32_t imageBytesWanted_ = 0;
};

} // namespace aurex
