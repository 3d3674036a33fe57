// Extraction of the carried image set (about 12 MB) from the executable into a folder: time,
// and the most heap that extraction holds at once. Also the record-by-record check alone.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "image_store/embedded_blobs.h"
#include "image_store/image_store.h"

namespace {

// Heap held through operator new, and its high-water mark since the last reset.
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void* Allocate(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p)
        throw std::bad_alloc();
    const std::size_t live = g_live += malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return p;
}
void Release(void* p)
{
    if (!p)
        return;
    g_live -= malloc_usable_size(p);
    std::free(p);
}

class NoWindow final : public aurex::WindowRequests
{
  public:
    Answer ShowMessage(const Message& request) override
    {
        failures++;
        last = request.text;
        return Answer::Ok;
    }
    void ShowStatus(const std::string&) override {}
    int failures = 0;
    std::string last;
};

struct BenchFolder
{
    BenchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "aurex-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path = pattern;
    }
    ~BenchFolder() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

std::size_t CarriedImageBytes(const aurex::ResourceAttributes& r)
{
    std::size_t total = 0;
    const auto add = [&](const char* base, std::uint32_t count) {
        for (std::uint32_t i = 1; i <= count; ++i)
            total += aurex::CarriedImageSet().Find(aurex::PieceBlobName(base, "", i))->size();
    };
    add("Loader", r.loader_pieces);
    add("Code", r.code_pieces);
    return total;
}

void BM_ExtractCarriedSet(benchmark::State& state)
{
    aurex::ResourceAttributes record;
    aurex::LoadResourceAttributes(aurex::CarriedImageSet(), record);
    BenchFolder scratch;
    aurex::DiskFolder folder(scratch.path);
    NoWindow window;
    std::size_t peak_above_start = 0;
    for (auto _ : state) {
        g_peak = g_live.load();
        const std::size_t start = g_live;
        aurex::ExtractedImageFiles files;
        const bool ok = aurex::ExtractEmbeddedFiles({aurex::CarriedImageSet(), folder, window}, record, false,
                                                    false, files);
        peak_above_start = std::max(peak_above_start, g_peak - start);
        state.PauseTiming();
        if (!ok)
            state.SkipWithError(window.last.c_str());
        folder.Remove(files.loader_file);
        folder.Remove(files.code_file);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * CarriedImageBytes(record)));
    state.counters["image_bytes"] = static_cast<double>(CarriedImageBytes(record));
    state.counters["peak_heap_bytes"] = static_cast<double>(peak_above_start);
}
BENCHMARK(BM_ExtractCarriedSet)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CheckMergedCode(benchmark::State& state)
{
    aurex::ResourceAttributes record;
    aurex::LoadResourceAttributes(aurex::CarriedImageSet(), record);
    BenchFolder scratch;
    aurex::DiskFolder folder(scratch.path);
    NoWindow window;
    aurex::ExtractedImageFiles files;
    if (!aurex::ExtractEmbeddedFiles({aurex::CarriedImageSet(), folder, window}, record, false, false,
                                     files)) {
        state.SkipWithError("extraction failed");
        return;
    }
    std::size_t peak_above_start = 0;
    for (auto _ : state) {
        g_peak = g_live.load();
        const std::size_t start = g_live;
        const aurex::ImageCheckResult result =
            aurex::CheckImageFile(folder, files.code_file, aurex::ImageKind::FlashSRecords);
        peak_above_start = std::max(peak_above_start, g_peak - start);
        if (!result.Ok())
            state.SkipWithError("check failed");
    }
    const auto size = std::filesystem::file_size(scratch.path / files.code_file);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["peak_heap_bytes"] = static_cast<double>(peak_above_start);
}
BENCHMARK(BM_CheckMergedCode)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

void* operator new(std::size_t size)
{
    return Allocate(size);
}
void* operator new[](std::size_t size)
{
    return Allocate(size);
}
void operator delete(void* p) noexcept
{
    Release(p);
}
void operator delete[](void* p) noexcept
{
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    Release(p);
}

BENCHMARK_MAIN();
