// Start-up of the updater's window to its first painted frame, and its resident memory then and
// a second later, set against the image set bound into the program's read-only data.
//
// usage: bench_ui_startup [--runs N] [--platform NAME]... [--verbose]
//   --platform offscreen|xcb (repeatable); default offscreen, and xcb too when DISPLAY is set.
//
// Each run spawns the updater with --report-startup; the clock starts just before posix_spawn.
// The updater prints its first-paint time on the same monotonic clock and its VmRSS/VmHWM; this
// program then reads the process's smaps (the program file's resident part) and pagemap (which
// pages of the bound blobs are mapped in), once right away and once a second after the paint.

#include <elf.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace aurex {
namespace {

constexpr long kPage = 4096;

long long MonotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void SleepUntil(long long ns)
{
    timespec ts{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// A blob's place in the program file's address space (link-time addresses).
struct BlobRange
{
    std::uint64_t vaddr = 0;
    std::uint64_t size = 0;
};

struct ProgramLayout
{
    std::vector<BlobRange> blobs;
    std::uint64_t blobBytes = 0;
    std::uint64_t rodataBytes = 0;
    std::uint64_t fileBytes = 0;
    std::vector<Elf64_Phdr> loads;
};

template <typename T> T ReadAt(int fd, std::uint64_t offset)
{
    T value{};
    if (pread(fd, &value, sizeof value, static_cast<off_t>(offset)) != static_cast<ssize_t>(sizeof value)) {
        throw std::runtime_error("short read of the program file");
    }
    return value;
}

std::string ReadBytes(int fd, std::uint64_t offset, std::uint64_t size)
{
    std::string bytes(size, '\0');
    if (pread(fd, bytes.data(), size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size)) {
        throw std::runtime_error("short read of the program file");
    }
    return bytes;
}

// The blob sizes by symbol, from the source the build generated to bind the set.
std::map<std::string, std::uint64_t> BlobSizes(const std::string& bindingSource)
{
    std::ifstream in(bindingSource);
    if (!in) {
        throw std::runtime_error("cannot read " + bindingSource);
    }
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    std::map<std::string, std::uint64_t> sizes;
    const std::regex entry(R"(\{"[^"]*", (aurex_blob_\w+), (\d+)u\})");
    for (auto it = std::sregex_iterator(s.begin(), s.end(), entry); it != std::sregex_iterator(); ++it) {
        sizes[(*it)[1].str()] = std::stoull((*it)[2].str());
    }
    return sizes;
}

ProgramLayout ReadLayout(const std::string& program, const std::string& bindingSource)
{
    const std::map<std::string, std::uint64_t> sizes = BlobSizes(bindingSource);
    const int fd = open(program.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + program);
    }
    ProgramLayout layout;
    layout.fileBytes = static_cast<std::uint64_t>(lseek(fd, 0, SEEK_END));
    const auto eh = ReadAt<Elf64_Ehdr>(fd, 0);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) {
        throw std::runtime_error(program + " is not a 64-bit ELF file");
    }
    for (unsigned i = 0; i < eh.e_phnum; ++i) {
        const auto ph = ReadAt<Elf64_Phdr>(fd, eh.e_phoff + std::uint64_t{i} * eh.e_phentsize);
        if (ph.p_type == PT_LOAD) {
            layout.loads.push_back(ph);
        }
    }
    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        sections[i] = ReadAt<Elf64_Shdr>(fd, eh.e_shoff + std::uint64_t{i} * eh.e_shentsize);
    }
    const Elf64_Shdr& names = sections.at(eh.e_shstrndx);
    const std::string sectionNames = ReadBytes(fd, names.sh_offset, names.sh_size);
    for (const Elf64_Shdr& sh : sections) {
        if (std::strcmp(sectionNames.c_str() + sh.sh_name, ".rodata") == 0) {
            layout.rodataBytes = sh.sh_size;
        }
        if (sh.sh_type != SHT_SYMTAB) {
            continue;
        }
        const Elf64_Shdr& strtab = sections.at(sh.sh_link);
        const std::string strings = ReadBytes(fd, strtab.sh_offset, strtab.sh_size);
        const std::string symbols = ReadBytes(fd, sh.sh_offset, sh.sh_size);
        for (std::uint64_t off = 0; off + sizeof(Elf64_Sym) <= symbols.size(); off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym{};
            std::memcpy(&sym, symbols.data() + off, sizeof sym);
            const auto found = sizes.find(strings.c_str() + sym.st_name);
            if (found != sizes.end()) {
                layout.blobs.push_back({sym.st_value, found->second});
                layout.blobBytes += found->second;
            }
        }
    }
    close(fd);
    if (layout.blobs.size() != sizes.size() || layout.blobs.empty()) {
        throw std::runtime_error("the program's symbol table does not hold every bound blob");
    }
    std::sort(layout.blobs.begin(), layout.blobs.end(),
              [](const BlobRange& a, const BlobRange& b) { return a.vaddr < b.vaddr; });
    return layout;
}

struct Mapping
{
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t offset = 0;
    std::string path;
    long rssKb = 0;
};

// The process's mappings with their resident size, from /proc/<pid>/smaps.
std::vector<Mapping> Smaps(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
    std::vector<Mapping> maps;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        const char c = line[0];
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) {
            Mapping m;
            std::istringstream fields(line);
            std::string range, perms, offset, dev, inode;
            fields >> range >> perms >> offset >> dev >> inode;
            std::getline(fields >> std::ws, m.path);
            const auto dash = range.find('-');
            m.start = std::stoull(range.substr(0, dash), nullptr, 16);
            m.end = std::stoull(range.substr(dash + 1), nullptr, 16);
            m.offset = std::stoull(offset, nullptr, 16);
            maps.push_back(m);
        } else if (line.rfind("Rss:", 0) == 0 && !maps.empty()) {
            maps.back().rssKb = std::stol(line.substr(4));
        }
    }
    return maps;
}

// VmRSS and VmHWM from one read of the status file, so that the pair is consistent.
void ReadStatus(pid_t pid, long& rssKb, long& hwmKb)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            rssKb = std::stol(line.substr(6));
        } else if (line.rfind("VmHWM:", 0) == 0) {
            hwmKb = std::stol(line.substr(6));
        }
    }
}

struct Snapshot
{
    long vmRssKb = -1;
    long vmHwmKb = -1;
    long programRssKb = 0;       // resident in all mappings of the program file
    long programSizeKb = 0;      // size of those mappings
    long blobResidentKb = 0;     // pages of the bound blobs mapped into the process
    std::vector<long> blobPages; // the same, blob by blob (in link order)
    long long takenNs = 0;
};

Snapshot Look(pid_t pid, const std::string& program, const ProgramLayout& layout)
{
    Snapshot s;
    s.takenNs = MonotonicNs();
    ReadStatus(pid, s.vmRssKb, s.vmHwmKb);
    const std::vector<Mapping> maps = Smaps(pid);
    for (const Mapping& m : maps) {
        if (m.path == program) {
            s.programRssKb += m.rssKb;
            s.programSizeKb += static_cast<long>((m.end - m.start) / 1024);
        }
    }
    const int pagemap = open(("/proc/" + std::to_string(pid) + "/pagemap").c_str(), O_RDONLY | O_CLOEXEC);
    if (pagemap < 0) {
        s.blobResidentKb = -1;
        return s;
    }
    long pages = 0;
    for (const BlobRange& blob : layout.blobs) {
        // Link-time address -> file offset -> run-time address, through the file's mappings.
        std::optional<std::uint64_t> fileOffset;
        for (const Elf64_Phdr& ph : layout.loads) {
            if (blob.vaddr >= ph.p_vaddr && blob.vaddr < ph.p_vaddr + ph.p_filesz) {
                fileOffset = blob.vaddr - ph.p_vaddr + ph.p_offset;
            }
        }
        std::optional<std::uint64_t> runtime;
        for (const Mapping& m : maps) {
            if (fileOffset && m.path == program && *fileOffset >= m.offset &&
                *fileOffset < m.offset + (m.end - m.start)) {
                runtime = m.start + (*fileOffset - m.offset);
            }
        }
        if (!runtime) {
            s.blobResidentKb = -1;
            break;
        }
        const std::uint64_t first = *runtime / kPage;
        const std::uint64_t last = (*runtime + blob.size - 1) / kPage;
        std::vector<std::uint64_t> entries(last - first + 1);
        const auto bytes = static_cast<ssize_t>(entries.size() * sizeof(std::uint64_t));
        if (pread(pagemap, entries.data(), static_cast<size_t>(bytes), static_cast<off_t>(first * 8)) !=
            bytes) {
            s.blobResidentKb = -1;
            break;
        }
        long mapped = 0;
        for (std::uint64_t e : entries) {
            mapped += static_cast<long>((e >> 63) & 1);
        }
        s.blobPages.push_back(mapped);
        pages += mapped;
    }
    close(pagemap);
    if (s.blobResidentKb == 0) {
        s.blobResidentKb = pages * (kPage / 1024);
    }
    return s;
}

struct Run
{
    double startupMs = 0;
    long paintRssKb = 0;
    long paintHwmKb = 0;
    Snapshot atPaint; // read as soon as the line arrived
    Snapshot later;   // one second after the paint
};

std::optional<Run> RunOnce(const std::string& program, const ProgramLayout& layout,
                           const std::string& platform, bool verbose)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (!verbose) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<std::string> args{program, "--report-startup", "-platform", platform};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    const long long start = MonotonicNs();
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
    }

    std::string text;
    std::optional<Run> run;
    const std::regex format(R"(aurex-startup first-paint-ns=(\d+) vmrss-kb=(\d+) vmhwm-kb=(\d+))");
    while (!run) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0) {
            break;
        }
        char buffer[512];
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        std::smatch m;
        if (text.find('\n') != std::string::npos && std::regex_search(text, m, format)) {
            Run r;
            r.atPaint = Look(pid, program, layout);
            const long long paint = std::stoll(m[1].str());
            r.startupMs = static_cast<double>(paint - start) / 1e6;
            r.paintRssKb = std::stol(m[2].str());
            r.paintHwmKb = std::stol(m[3].str());
            SleepUntil(paint + 1000000000LL);
            r.later = Look(pid, program, layout);
            r.later.takenNs -= paint;
            r.atPaint.takenNs -= paint;
            run = r;
        }
    }
    close(out[0]);
    int status = 0;
    if (!run) {
        kill(pid, SIGKILL);
    }
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "run on %s ended with status %d; output: %s\n", platform.c_str(), status,
                     text.c_str());
        return std::nullopt;
    }
    return run;
}

template <typename F> double Median(const std::vector<Run>& runs, F value)
{
    std::vector<double> v;
    for (const Run& r : runs) {
        v.push_back(static_cast<double>(value(r)));
    }
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

template <typename F> double Worst(const std::vector<Run>& runs, F value)
{
    double w = 0;
    for (const Run& r : runs) {
        w = std::max(w, static_cast<double>(value(r)));
    }
    return w;
}

} // namespace
} // namespace aurex

int main(int argc, char** argv)
{
    using namespace aurex;
    int runs = 10;
    bool verbose = false;
    std::vector<std::string> platforms;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--platform" && i + 1 < argc) {
            platforms.emplace_back(argv[++i]);
        } else if (a == "--verbose") {
            verbose = true;
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--platform offscreen|xcb]... [--verbose]\n", argv[0]);
            return 2;
        }
    }
    if (platforms.empty()) {
        platforms.emplace_back("offscreen");
        if (std::getenv("DISPLAY") != nullptr) {
            platforms.emplace_back("xcb");
        }
    }

    char resolved[PATH_MAX];
    if (realpath(AUREX_UPDATER_EXECUTABLE, resolved) == nullptr) {
        std::fprintf(stderr, "cannot find %s\n", AUREX_UPDATER_EXECUTABLE);
        return 1;
    }
    const std::string program = resolved;
    ProgramLayout layout;
    try {
        layout = ReadLayout(program, AUREX_BINDING_SOURCE);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("program   %s\n", program.c_str());
    std::printf("file      %llu bytes; .rodata %llu bytes; bound blobs %zu, %llu bytes (%.1f MiB)\n",
                static_cast<unsigned long long>(layout.fileBytes),
                static_cast<unsigned long long>(layout.rodataBytes), layout.blobs.size(),
                static_cast<unsigned long long>(layout.blobBytes),
                static_cast<double>(layout.blobBytes) / 1048576.0);
    std::ifstream loadavg("/proc/loadavg");
    std::string load;
    std::getline(loadavg, load);
    std::printf("loadavg   %s (before)\n\n", load.c_str());

    int failures = 0;
    for (const std::string& platform : platforms) {
        std::vector<Run> done;
        try {
            RunOnce(program, layout, platform, verbose); // warms the page cache; not counted
            for (int i = 0; i < runs; ++i) {
                if (auto r = RunOnce(program, layout, platform, verbose)) {
                    done.push_back(*r);
                    std::printf("%-9s run %2d: first paint %7.1f ms | VmRSS/VmHWM at paint %6ld/%6ld KiB, +1 "
                                "s %6ld/%6ld KiB"
                                " | program file resident %5ld KiB of %6ld KiB, blobs %4ld KiB (read %.0f ms "
                                "after paint)\n",
                                platform.c_str(), i + 1, r->startupMs, r->paintRssKb, r->paintHwmKb,
                                r->later.vmRssKb, r->later.vmHwmKb, r->later.programRssKb,
                                r->later.programSizeKb, r->later.blobResidentKb,
                                static_cast<double>(r->later.takenNs) / 1e6);
                } else {
                    ++failures;
                }
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", platform.c_str(), e.what());
            ++failures;
        }
        if (done.empty()) {
            continue;
        }
        auto row = [&](const char* what, auto value, const char* unit) {
            std::printf("  %-44s median %9.1f %s   worst %9.1f %s\n", what, Median(done, value), unit,
                        Worst(done, value), unit);
        };
        std::printf("\n%s, %zu runs:\n", platform.c_str(), done.size());
        row(
            "start to first paint", [](const Run& r) { return r.startupMs; }, "ms ");
        row(
            "VmRSS at first paint (in process)", [](const Run& r) { return r.paintRssKb; }, "KiB");
        row(
            "VmHWM at first paint (in process)", [](const Run& r) { return r.paintHwmKb; }, "KiB");
        row(
            "VmRSS 1 s after paint", [](const Run& r) { return r.later.vmRssKb; }, "KiB");
        row(
            "VmHWM 1 s after paint", [](const Run& r) { return r.later.vmHwmKb; }, "KiB");
        row(
            "program file resident, at paint (smaps)", [](const Run& r) { return r.atPaint.programRssKb; },
            "KiB");
        row(
            "program file resident, 1 s after", [](const Run& r) { return r.later.programRssKb; }, "KiB");
        row(
            "blob pages mapped in, at paint (pagemap)", [](const Run& r) { return r.atPaint.blobResidentKb; },
            "KiB");
        row(
            "blob pages mapped in, 1 s after", [](const Run& r) { return r.later.blobResidentKb; }, "KiB");
        row(
            "delay of the at-paint look after the paint",
            [](const Run& r) { return static_cast<double>(r.atPaint.takenNs) / 1e6; }, "ms ");
        std::printf("  program file mapped: %ld KiB; bound blobs: %llu KiB\n",
                    done.front().later.programSizeKb,
                    static_cast<unsigned long long>(layout.blobBytes / 1024));
        std::printf("  last run, blob by blob at +1 s (address order; size KiB: pages mapped in):");
        for (std::size_t i = 0; i < done.back().later.blobPages.size(); ++i) {
            std::printf(" %llu:%ld", static_cast<unsigned long long>(layout.blobs[i].size / 1024),
                        done.back().later.blobPages[i]);
        }
        std::printf("\n\n");
    }
    std::ifstream loadavgAfter("/proc/loadavg");
    std::getline(loadavgAfter, load);
    std::printf("loadavg   %s (after)\n", load.c_str());
    return failures == 0 ? 0 : 1;
}
