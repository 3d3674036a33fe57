// A whole conversion of a full codeplug: a 5.8 image whose 5.10 result fills the 32768-byte
// buffer to within one record, converted by ParmsUpgrade from 5.8 to 5.10, and back down.
// Most of it is main-table records of the systems, which 5.10 widens one record at a time (each
// record opens a gap and moves the image's tail), so this is the heaviest conversion a radio
// can hand us.
#include "codeplug-builder/codeplug_builder.h"
#include "convert/codeplug_image.h"
#include "convert/convert_entry.h"
#include "convert/format_tables.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

using namespace aurex;

struct FullImage
{
    std::vector<uint16_t> buffer;
    uint32_t records = 0; // main-table records widened by the step to 5.10
};

FullImage BuildFullImage()
{
    CodeplugOptions options;
    options.formatIndex = 3;
    options.systemKinds = {0, 1, 3, 4, 5, 0, 1, 3, 4, 5, 0, 1, 3, 4, 5, 0};
    options.sequenceBlocks = 3;
    BuiltCodeplug built = BuildCodeplug(options);
    uint16_t* image = built.image();
    const unsigned systems = static_cast<unsigned>(options.systemKinds.size());
    // Without a list to fold into a bitmap, kind 5 systems keep their main-table records.
    ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Wide);
    for (unsigned number = 1; number <= systems; ++number) {
        if (options.systemKinds[number - 1] == 5) {
            ParmsReplaceRecordTable(image, number, 1, nullptr, 0, 2);
        }
    }
    ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Narrow);

    // Growth of the image without extra records, then as many 36-word records (58 in 5.10)
    // spread over the systems' main tables as the 5.10 result has room for.
    std::vector<uint16_t> probe = built.buffer;
    int32_t baseGrowth = 0;
    if (ParmsUpgrade(baseGrowth, probe.data(), 3, 5) != ParmsStepFault::None) {
        throw std::runtime_error("the base image does not convert");
    }
    uint32_t room = kParmsBufferWords - (ParmsImageLength(image) + static_cast<uint32_t>(baseGrowth));
    FullImage full;
    // Work on the accessors' layout, then give the image back its own.
    ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Wide);
    for (unsigned number = 1; number <= systems; ++number) {
        const unsigned kind = options.systemKinds[number - 1];
        const unsigned table = *ParmsSystemMainTable(kind);
        const auto older = static_cast<unsigned>(ParmsSystemRecordSize(kind, 3)->recordSize);
        const auto newer = static_cast<unsigned>(ParmsSystemRecordSize(kind, 5)->recordSize);
        const ParmsTableShape current = ParmsDescriptor(image, ParmsSystemBlock{number}, table);
        const unsigned share = room / (systems - number + 1);
        const unsigned added = std::min(share / newer, 255u - current.count);
        const unsigned count = current.count + added;
        std::vector<uint16_t> records(count * older);
        for (std::size_t w = 0; w < records.size(); ++w) {
            records[w] = static_cast<uint16_t>(0x1000 + number * 0x100 + w);
        }
        if (ParmsReplaceRecordTable(image, number, table, records.data(), count, older) !=
            ParmsEditResult::Done) {
            throw std::runtime_error("the image does not take the records");
        }
        room -= added * newer;
        full.records += count;
    }
    ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Narrow);
    full.buffer = built.buffer;
    return full;
}

void BM_UpgradeFullImage58To510(benchmark::State& state)
{
    const FullImage full = BuildFullImage();
    std::vector<uint16_t> image = full.buffer;
    int32_t lengthChange = 0;
    for (auto _ : state) {
        state.PauseTiming();
        image = full.buffer;
        state.ResumeTiming();
        if (ParmsUpgrade(lengthChange, image.data(), 3, 5) != ParmsStepFault::None) {
            state.SkipWithError("the full image was refused");
            break;
        }
    }
    state.counters["words_in"] = ParmsImageLength(full.buffer.data());
    state.counters["words_out"] = ParmsImageLength(image.data());
    state.counters["widened_records"] = full.records;
}
BENCHMARK(BM_UpgradeFullImage58To510)->Unit(benchmark::kMillisecond);

void BM_DowngradeFullImage510To58(benchmark::State& state)
{
    std::vector<uint16_t> upgraded = BuildFullImage().buffer;
    int32_t lengthChange = 0;
    if (ParmsUpgrade(lengthChange, upgraded.data(), 3, 5) != ParmsStepFault::None) {
        state.SkipWithError("the full image was refused");
        return;
    }
    std::vector<uint16_t> image = upgraded;
    for (auto _ : state) {
        state.PauseTiming();
        image = upgraded;
        state.ResumeTiming();
        if (ParmsDowngrade(lengthChange, image.data(), 3, 5) != ParmsStepFault::None) {
            state.SkipWithError("the full image was refused");
            break;
        }
    }
    state.counters["words_in"] = ParmsImageLength(upgraded.data());
    state.counters["words_out"] = ParmsImageLength(image.data());
}
BENCHMARK(BM_DowngradeFullImage510To58)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
