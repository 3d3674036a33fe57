// Cost of the validity check and of one layout step over a whole image, and of the heaviest
// shared operation: widening every record of a full table, which moves the tail once a record.
#include "codeplug-builder/codeplug_builder.h"
#include "convert/codeplug_image.h"
#include "convert/format_convert_base.h"

#include <benchmark/benchmark.h>

namespace {

using namespace aurex;

class BenchConverter : public VNXParmsFormatConvertBase
{
  public:
    BenchConverter() { targetIndex = 5; }
    void Attach(uint16_t* stepImage)
    {
        image = stepImage;
        backward = false;
    }
    using VNXParmsFormatConvertBase::ResizeSystemRecords;
};

BuiltCodeplug LargeImage()
{
    CodeplugOptions options;
    options.headerWord = CodeplugHeaderWord::Wide;
    options.systemKinds = {0, 1, 3, 4, 5, 0, 1, 3, 4, 5, 0, 1, 3, 4, 5, 0};
    options.sequenceBlocks = 12;
    return BuildCodeplug(options);
}

void BM_IsValid(benchmark::State& state)
{
    const BuiltCodeplug built = LargeImage();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParmsIsValid(built.image()));
    }
}
BENCHMARK(BM_IsValid);

void BM_LayoutStepUpAndDown(benchmark::State& state)
{
    BuiltCodeplug built = LargeImage();
    for (auto _ : state) {
        BenchConverter up;
        up.RunStep(built.image(), false);
        BenchConverter down;
        down.RunStep(built.image(), true);
    }
}
BENCHMARK(BM_LayoutStepUpAndDown);

void BM_WidenFullTable(benchmark::State& state)
{
    CodeplugOptions options;
    options.headerWord = CodeplugHeaderWord::Wide;
    options.systemKinds = {0};
    options.sequenceBlocks = 1;
    BuiltCodeplug built = BuildCodeplug(options);
    const std::vector<uint16_t> records(255 * 36, 0x1234);
    ParmsReplaceRecordTable(built.image(), 1, 3, records.data(), 255, 36);
    const std::vector<uint16_t> start = built.buffer;
    for (auto _ : state) {
        state.PauseTiming();
        built.buffer = start;
        state.ResumeTiming();
        BenchConverter converter;
        converter.Attach(built.image());
        converter.ResizeSystemRecords(1, 3, 36, 58); // 255 records, 5610 words more
        if (converter.Fault() != ParmsStepFault::None) {
            state.SkipWithError("the widened table did not fit");
            break;
        }
    }
}
BENCHMARK(BM_WidenFullTable);

} // namespace

BENCHMARK_MAIN();
