// The checks that stand between the carried images and a radio, fed arbitrary bytes. The first
// byte picks the check and the size of the chunks the bytes arrive in; the result must not
// depend on the chunking.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "image_store/image_check.h"

namespace {

aurex::ImageCheckResult CheckInChunks(aurex::SRecordRules rules, std::span<const unsigned char> bytes,
                                      std::size_t chunk)
{
    aurex::SRecordImageChecker checker(rules);
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        checker.Feed(bytes.subspan(at, std::min(chunk, bytes.size() - at)));
    }
    return checker.Finish();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned mode = data[0] % 3;
    const std::size_t chunk = 1 + data[0] / 3;
    const std::span<const unsigned char> bytes(data + 1, size - 1);
    if (mode == 2) {
        aurex::CheckDspObject(aurex::MemoryByteSource(bytes));
        return 0;
    }
    const auto rules = mode == 0 ? aurex::SRecordRules::FlashImage : aurex::SRecordRules::DspLoader;
    const aurex::ImageCheckResult whole = CheckInChunks(rules, bytes, bytes.size() + 1);
    const aurex::ImageCheckResult pieces = CheckInChunks(rules, bytes, chunk);
    if (whole.fault != pieces.fault || whole.line != pieces.line)
        std::abort();
    return 0;
}
