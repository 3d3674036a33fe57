#include <benchmark/benchmark.h>

#include <array>

#include "transfer/download_keystream.h"

namespace {

using aurex::DesBlock;
using aurex::DownloadKeystream;

constexpr DesBlock kIdentity = {0x10, 0x00, 0x00, 0x42, 0x00, 0x00, 0x12, 0x34};

// One DES encryption per keystream byte.
void BM_KeystreamByte(benchmark::State& state)
{
    DownloadKeystream keystream(kIdentity);
    for (auto _ : state) {
        benchmark::DoNotOptimize(keystream.KeystreamByte());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeystreamByte);

// A whole 32768-byte codeplug download: 256 blocks, keystream restarted first.
void BM_ScrambleCodeplug(benchmark::State& state)
{
    std::array<std::uint8_t, aurex::kScrambleBlockSize> block{};
    for (auto _ : state) {
        DownloadKeystream keystream(kIdentity);
        for (int n = 0; n < 256; ++n) {
            aurex::ScrambleBlock(keystream, block);
        }
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(state.iterations() * 32768);
}
BENCHMARK(BM_ScrambleCodeplug);

} // namespace
