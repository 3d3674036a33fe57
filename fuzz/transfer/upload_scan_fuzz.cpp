// The upload's end detection over whatever a radio sends: the input, repeated as often as needed,
// is the stream of data blocks. The scan must end the upload by the block after a full buffer,
// and never read or write outside the buffer (the sanitizers watch that).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "transfer/upload_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace aurex;
    if (size == 0) {
        return 0;
    }
    std::vector<std::uint8_t> buffer(kCodeplugBufferBytes, 0);
    CodeplugUploadScan scan;
    scan.Reset();
    std::int32_t length = 0;
    std::size_t next = 0;
    constexpr int kMostBlocks = kCodeplugBufferBytes / kCodeplugBlockBytes + 1;
    for (int block = 1;; ++block) {
        if (block > kMostBlocks) {
            std::abort(); // the upload would ask the radio for blocks without end
        }
        const std::int32_t received = length + kCodeplugBlockBytes;
        if (received <= kCodeplugBufferBytes) {
            for (std::int32_t i = 0; i < kCodeplugBlockBytes; ++i) {
                buffer[static_cast<std::size_t>(length + i)] = data[next];
                next = (next + 1) % size;
            }
            length = received;
        }
        if (scan.Complete(
                std::span<const std::uint8_t, kCodeplugBufferBytes>(buffer.data(), kCodeplugBufferBytes),
                length, received)) {
            break;
        }
    }
    if (length % kCodeplugBlockBytes != 0 || length > kCodeplugBufferBytes || scan.ScanPosition() != 0) {
        std::abort();
    }
    return 0;
}
