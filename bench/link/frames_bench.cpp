// Frames built and received per second, for the frames that dominate an update: 130-byte
// data blocks going out and 130-byte codeplug blocks coming back.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "link/frame_codec.h"
#include "link/message_table.h"

namespace {

aurex::LinkPacket DataBlock(std::uint32_t seed)
{
    aurex::LinkPacket packet;
    aurex::InitMessage(packet, aurex::msg::kDataBlock);
    for (int i = 0; i < 128; ++i) {
        seed = seed * 1103515245u + 12345u;
        packet.Append(static_cast<std::uint8_t>(seed >> 16));
    }
    return packet;
}

// A run of replies as the radio sends them (addressed 01 7F), 03 02 + 128 bytes each.
std::vector<std::uint8_t> ReplyStream(int frames)
{
    std::vector<std::uint8_t> line;
    for (int f = 0; f < frames; ++f) {
        aurex::LinkPacket packet = DataBlock(static_cast<std::uint32_t>(f));
        packet.data[0] = 0x03;
        packet.data[1] = 0x02;
        auto frame = aurex::BuildFrame(packet);
        std::vector<std::uint8_t> bytes(frame->Bytes().begin(), frame->Bytes().end());
        bytes[1] = 0x01;
        bytes[2] = 0x7F;
        line.insert(line.end(), bytes.begin(), bytes.end());
    }
    return line;
}

void BM_BuildDataBlockFrame(benchmark::State& state)
{
    const aurex::LinkPacket packet = DataBlock(1);
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto frame = aurex::BuildFrame(packet);
        benchmark::DoNotOptimize(frame);
        bytes += frame->size();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_BuildDataBlockFrame);

void BM_BuildBaudRateFrame(benchmark::State& state)
{
    aurex::LinkPacket packet;
    aurex::InitMessage(packet, aurex::msg::kBaudRate);
    packet.Append(aurex::BaudSelector(115200));
    for (auto _ : state) {
        auto frame = aurex::BuildFrame(packet);
        benchmark::DoNotOptimize(frame);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildBaudRateFrame);

void BM_DecodeReplyFrames(benchmark::State& state)
{
    constexpr int kFrames = 1000;
    const std::vector<std::uint8_t> line = ReplyStream(kFrames);
    for (auto _ : state) {
        aurex::FrameDecoder decoder;
        int frames = 0;
        for (std::uint8_t b : line) {
            frames += decoder.Feed(b) == aurex::FrameEvent::Frame;
        }
        if (frames != kFrames) {
            state.SkipWithError("frames lost");
        }
        benchmark::DoNotOptimize(decoder.Message());
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_DecodeReplyFrames);

void BM_MatchReplyFrames(benchmark::State& state)
{
    constexpr int kFrames = 1000;
    const std::vector<std::uint8_t> line = ReplyStream(kFrames);
    for (auto _ : state) {
        aurex::ReplyDecoder replies(aurex::ExpectedReply::ForMessage(aurex::msg::kCodeplugBlock));
        int matched = 0;
        for (std::uint8_t b : line) {
            matched += replies.Feed(b).Completed();
        }
        if (matched != kFrames) {
            state.SkipWithError("replies not matched");
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_MatchReplyFrames);

} // namespace
