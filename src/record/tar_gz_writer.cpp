#include "record/tar_gz_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace aurex {
namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kPiece = 64 * 1024;
constexpr std::uint64_t kMaxEntryBytes = 077777777777ull; // eleven octal digits

std::string SystemReason()
{
    return std::strerror(errno);
}

// Relative, at most 100 bytes (no ustar prefix split), no ".." step, a file not a folder.
bool NameAllowed(const std::string& name)
{
    if (name.empty() || name.size() > 100 || name.front() == '/' || name.back() == '/' ||
        name.find('\0') != std::string::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (std::string_view(name).substr(start, end - start) == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// `value` in octal, zero-padded to fill `width` - 1 digits and a NUL.
void PutOctal(std::uint8_t* field, std::size_t width, std::uint64_t value)
{
    field[width - 1] = '\0';
    for (std::size_t i = width - 1; i-- > 0;) {
        field[i] = static_cast<std::uint8_t>('0' + (value & 7));
        value >>= 3;
    }
}

void PutText(std::uint8_t* field, std::string_view text)
{
    std::memcpy(field, text.data(), text.size());
}

std::array<std::uint8_t, kBlock> UstarHeader(const std::string& name, std::uint64_t size, std::int64_t mtime)
{
    std::array<std::uint8_t, kBlock> h{};
    PutText(&h[0], name);
    PutOctal(&h[100], 8, 0600);
    PutOctal(&h[108], 8, 0); // uid
    PutOctal(&h[116], 8, 0); // gid
    PutOctal(&h[124], 12, size);
    PutOctal(&h[136], 12, static_cast<std::uint64_t>(std::max<std::int64_t>(mtime, 0)));
    h[156] = '0';
    PutText(&h[257], std::string_view("ustar\0", 6));
    PutText(&h[263], "00");
    PutText(&h[265], "aurex");
    PutText(&h[297], "aurex");
    // The checksum is taken with its own field as spaces, then written as six digits, NUL, space.
    std::memset(&h[148], ' ', 8);
    unsigned sum = 0;
    for (std::uint8_t byte : h) {
        sum += byte;
    }
    PutOctal(&h[148], 7, sum);
    h[155] = ' ';
    return h;
}

} // namespace

struct TarGzWriter::State
{
    std::string path;
    std::string tempPath;
    ExistingFile existing = ExistingFile::Keep;
    int fd = -1;
    bool streamReady = false;
    bool broken = false; // a write failed: the archive cannot finish
    z_stream z{};
    std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kPiece);
    std::string error;

    ~State() { Abandon(); }

    void Abandon()
    {
        if (streamReady) {
            deflateEnd(&z);
            streamReady = false;
        }
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
        if (!tempPath.empty()) {
            ::unlink(tempPath.c_str());
            tempPath.clear();
        }
    }

    bool Fail(const std::string& why)
    {
        error = why;
        return false;
    }

    bool WriteOut(const std::uint8_t* bytes, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd, bytes, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                broken = true;
                return Fail("cannot write " + tempPath + ": " + SystemReason());
            }
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    // Compresses `bytes`; `flush` Z_FINISH ends the stream.
    bool Deflate(const std::uint8_t* bytes, std::size_t size, int flush)
    {
        if (broken || !streamReady) {
            return Fail(error.empty() ? "the archive is not open" : error);
        }
        z.next_in = const_cast<Bytef*>(bytes);
        z.avail_in = static_cast<uInt>(size);
        for (;;) {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            const int result = deflate(&z, flush);
            if (result == Z_STREAM_ERROR) {
                broken = true;
                return Fail("compression failed");
            }
            if (!WriteOut(out.data(), out.size() - z.avail_out)) {
                return false;
            }
            if (flush == Z_FINISH ? result == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) {
                return true;
            }
        }
    }

    bool Put(std::span<const std::uint8_t> bytes) { return Deflate(bytes.data(), bytes.size(), Z_NO_FLUSH); }

    bool Pad(std::uint64_t size)
    {
        static constexpr std::array<std::uint8_t, kBlock> kZeros{};
        const std::size_t rest = static_cast<std::size_t>(size % kBlock);
        return rest == 0 || Put(std::span(kZeros).first(kBlock - rest));
    }

    bool Ready()
    {
        if (!streamReady || broken) {
            return Fail(error.empty() ? "the archive is not open" : error);
        }
        return true;
    }
};

TarGzWriter::TarGzWriter() : state_(std::make_unique<State>()) {}

TarGzWriter::~TarGzWriter() = default;

bool TarGzWriter::Open(const std::string& path, ExistingFile existing)
{
    state_ = std::make_unique<State>();
    State& s = *state_;
    if (path.empty()) {
        return s.Fail("no archive path");
    }
    // Refused before anything is made beside it (a device's folder is /dev).
    if (std::string refusal = TargetRefusal(path, existing); !refusal.empty()) {
        return s.Fail(refusal);
    }
    std::string pattern = path + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC); // made 0600
    if (fd < 0) {
        return s.Fail("cannot create " + path + ": " + SystemReason());
    }
    s.fd = fd;
    s.tempPath = pattern;
    s.path = path;
    s.existing = existing;
    // windowBits 15 + 16: a gzip wrapper around the deflate stream.
    if (deflateInit2(&s.z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        s.Abandon();
        return s.Fail("cannot start compression");
    }
    s.streamReady = true;
    return true;
}

bool TarGzWriter::AddBytes(const std::string& name, std::span<const std::uint8_t> bytes, std::int64_t mtime)
{
    State& s = *state_;
    if (!s.Ready()) {
        return false;
    }
    if (!NameAllowed(name)) {
        return s.Fail("refused entry name \"" + name + "\"");
    }
    if (bytes.size() > kMaxEntryBytes) {
        return s.Fail("entry " + name + " is too large");
    }
    const auto header = UstarHeader(name, bytes.size(), mtime);
    return s.Put(header) && s.Put(bytes) && s.Pad(bytes.size());
}

bool TarGzWriter::AddText(const std::string& name, const std::string& text, std::int64_t mtime)
{
    return AddBytes(name, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, mtime);
}

bool TarGzWriter::AddFile(const std::string& name, const std::string& sourcePath, std::int64_t mtime,
                          std::uint64_t maxBytes)
{
    State& s = *state_;
    if (!s.Ready()) {
        return false;
    }
    if (!NameAllowed(name)) {
        return s.Fail("refused entry name \"" + name + "\"");
    }
    const int fd = ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return s.Fail("cannot read " + sourcePath + ": " + SystemReason());
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        const std::string why = SystemReason();
        ::close(fd);
        return s.Fail("cannot read " + sourcePath + ": " + why);
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (!S_ISREG(st.st_mode) || size > maxBytes || size > kMaxEntryBytes) {
        ::close(fd);
        return s.Fail(!S_ISREG(st.st_mode)
                          ? sourcePath + " is not a regular file"
                          : sourcePath + " is larger than " + std::to_string(maxBytes) + " bytes");
    }
    bool ok = s.Put(UstarHeader(name, size, mtime));
    std::vector<std::uint8_t> piece(kPiece);
    std::uint64_t done = 0;
    bool shortRead = false;
    while (ok && done < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size - done));
        ssize_t n = 0;
        if (!shortRead) {
            n = ::read(fd, piece.data(), want);
            if (n < 0 && errno == EINTR) {
                continue;
            }
        }
        if (n <= 0) {
            // The file shrank or failed under us: the header's size stands, so zeros fill it and
            // the archive stays readable; the entry is reported as failed.
            if (!shortRead) {
                s.error = "cannot read all of " + sourcePath +
                          (n < 0 ? ": " + SystemReason() : std::string(": it became shorter"));
            }
            shortRead = true;
            std::fill_n(piece.begin(), want, 0);
            n = static_cast<ssize_t>(want);
        }
        ok = s.Put(std::span(piece).first(static_cast<std::size_t>(n)));
        done += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
    ok = ok && s.Pad(size);
    return ok && !shortRead;
}

bool TarGzWriter::Finish()
{
    State& s = *state_;
    if (!s.Ready()) {
        s.Abandon();
        return false;
    }
    static constexpr std::array<std::uint8_t, 2 * kBlock> kEnd{};
    if (!s.Deflate(kEnd.data(), kEnd.size(), Z_FINISH)) {
        s.Abandon();
        return false;
    }
    deflateEnd(&s.z);
    s.streamReady = false;
    if (::fsync(s.fd) != 0) {
        s.Fail("cannot write " + s.tempPath + ": " + SystemReason());
        s.Abandon();
        return false;
    }
    const int closed = ::close(s.fd);
    s.fd = -1;
    if (closed != 0) {
        s.Fail("cannot write " + s.tempPath + ": " + SystemReason());
        s.Abandon();
        return false;
    }
    if (std::string why; !PutInPlace(s.tempPath, s.path, s.existing, why)) {
        s.Fail(why);
        s.Abandon();
        return false;
    }
    s.tempPath.clear();
    s.error.clear();
    return true;
}

const std::string& TarGzWriter::Error() const
{
    return state_->error;
}

} // namespace aurex
