// S-record reading speed over a 12 MiB S3 image shaped like the carried code images (48 data
// bytes per line, CR LF, from FE040100), and in the same run the time srec_cat takes to read
// the same file into a binary. Prints the ratio at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "programming/srecord_reader.h"
#include "programming/srecord_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kImageTextBytes = 12u * 1024 * 1024;
constexpr std::uint32_t kBaseAddress = 0xFE040100;

fs::path ImagePath()
{
    static const fs::path path =
        fs::temp_directory_path() / ("aurex_bench_" + std::to_string(::getpid()) + ".s3");
    return path;
}

fs::path BinaryPath()
{
    return fs::path(ImagePath()).replace_extension(".bin");
}

std::size_t WriteImage()
{
    std::string text;
    text.reserve(kImageTextBytes + 256);
    const std::uint8_t header[] = {'b', 'e', 'n', 'c', 'h'};
    aurex::AppendSRecord(text, '0', 0, header);
    std::uint32_t seed = 7;
    std::uint32_t address = kBaseAddress;
    std::uint8_t data[48];
    while (text.size() < kImageTextBytes) {
        for (auto& b : data) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(seed >> 16);
        }
        aurex::AppendSRecord(text, '3', address, data);
        address += sizeof data;
    }
    aurex::AppendSRecord(text, '7', kBaseAddress, std::span<const std::uint8_t>());
    std::ofstream(ImagePath(), std::ios::binary) << text;
    return text.size();
}

std::size_t ImageSize()
{
    static const std::size_t size = WriteImage();
    return size;
}

// Seconds per pass of the final run of each benchmark, for the ratio.
double g_oursSeconds = 0;
double g_srecCatSeconds = 0;

void BM_SRecordReadFile(benchmark::State& state)
{
    const std::size_t size = ImageSize();
    std::uint64_t words = 0;
    std::uint32_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::ifstream in(ImagePath(), std::ios::binary);
        aurex::SRecordImageReader reader(in);
        while (reader.Next() == aurex::SRecordImageReader::Result::Record) {
            for (std::uint16_t w : reader.Record().Words()) {
                sum += w;
            }
            words += reader.Record().wordCount;
        }
        if (!reader.EndedByRecord()) {
            state.SkipWithError("image did not end at its end record");
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    g_oursSeconds = elapsed.count() / static_cast<double>(state.iterations());
    benchmark::DoNotOptimize(sum);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
    state.counters["words"] = static_cast<double>(words) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SRecordReadFile)->Unit(benchmark::kMillisecond);

void BM_SRecordDecodeInMemory(benchmark::State& state)
{
    const std::size_t size = ImageSize();
    std::ifstream file(ImagePath(), std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    const std::string text = buffer.str();
    std::uint32_t sum = 0;
    for (auto _ : state) {
        std::istringstream in(text);
        aurex::SRecordImageReader reader(in);
        while (reader.Next() == aurex::SRecordImageReader::Result::Record) {
            for (std::uint16_t w : reader.Record().Words()) {
                sum += w;
            }
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_SRecordDecodeInMemory)->Unit(benchmark::kMillisecond);

bool SameBytesAsSrecCat()
{
    std::ifstream binary(BinaryPath(), std::ios::binary);
    std::ifstream in(ImagePath(), std::ios::binary);
    aurex::SRecordImageReader reader(in);
    while (reader.Next() == aurex::SRecordImageReader::Result::Record) {
        for (std::uint16_t w : reader.Record().Words()) {
            const int low = binary.get();
            const int high = binary.get();
            if (low != (w & 0xFF) || high != (w >> 8)) {
                return false;
            }
        }
    }
    return binary.get() == std::char_traits<char>::eof();
}

void BM_SrecCatToBinary(benchmark::State& state)
{
    const std::size_t size = ImageSize();
    // The offset brings FE040100 to 0 so the binary holds only the image, not 4 GiB of gap.
    const std::string command = "srec_cat '" + ImagePath().string() + "' -Motorola -offset -0xFE040100 -o '" +
                                BinaryPath().string() + "' -Binary";
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = std::system(command.c_str());
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (rc != 0) {
            state.SkipWithError("srec_cat failed (is the srecord package installed?)");
            break;
        }
        state.SetIterationTime(elapsed.count());
        total += elapsed.count();
    }
    if (state.iterations() > 0) {
        g_srecCatSeconds = total / static_cast<double>(state.iterations());
    }
    // Both readers must agree on every byte, or the comparison means nothing.
    if (state.iterations() > 0 && !SameBytesAsSrecCat()) {
        state.SkipWithError("srec_cat's binary differs from the words we read");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_SrecCatToBinary)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_oursSeconds > 0 && g_srecCatSeconds > 0) {
        const double mb = static_cast<double>(ImageSize()) / 1e6;
        std::printf("\nS-record image %.1f MB: ours %.1f ms (%.0f MB/s), srec_cat %.1f ms (%.0f MB/s), "
                    "srec_cat / ours = %.1fx\n",
                    mb, g_oursSeconds * 1e3, mb / g_oursSeconds, g_srecCatSeconds * 1e3,
                    mb / g_srecCatSeconds, g_srecCatSeconds / g_oursSeconds);
    }
    std::error_code ignored;
    fs::remove(ImagePath(), ignored);
    fs::remove(BinaryPath(), ignored);
    return 0;
}
