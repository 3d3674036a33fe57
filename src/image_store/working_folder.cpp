#include "image_store/working_folder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace aurex {

namespace {

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class DiskOutputFile final : public OutputFile
{
  public:
    DiskOutputFile(FilePtr file, std::string path, std::shared_ptr<std::string> problem)
        : file_(std::move(file)), path_(std::move(path)), problem_(std::move(problem))
    {
    }
    bool Write(std::span<const unsigned char> bytes) override
    {
        if (!file_)
            return false;
        errno = 0;
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
            Fail();
        }
        return !failed_;
    }
    bool Close() override
    {
        if (!file_)
            return false;
        errno = 0;
        const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
        if (!flushed && !failed_)
            Fail();
        const bool closed = std::fclose(file_.release()) == 0;
        if (!closed && !failed_)
            Fail();
        return flushed && closed && !failed_;
    }

  private:
    void Fail()
    {
        failed_ = true;
        *problem_ = path_ + ": " + (errno != 0 ? std::strerror(errno) : "the write failed");
    }

    FilePtr file_;
    std::string path_;
    std::shared_ptr<std::string> problem_;
    bool failed_ = false;
};

class DiskInputFile final : public InputFile
{
  public:
    explicit DiskInputFile(FilePtr file) : file_(std::move(file)) {}
    std::size_t Read(std::span<unsigned char> out) override
    {
        return out.empty() ? 0 : std::fread(out.data(), 1, out.size(), file_.get());
    }
    bool Failed() const override { return std::ferror(file_.get()) != 0; }
    std::optional<std::uint64_t> Size() override
    {
        const long here = std::ftell(file_.get());
        if (here < 0 || std::fseek(file_.get(), 0, SEEK_END) != 0)
            return std::nullopt;
        const long end = std::ftell(file_.get());
        if (end < 0 || std::fseek(file_.get(), here, SEEK_SET) != 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(end);
    }
    bool Seek(std::uint64_t offset) override
    {
        if (offset > static_cast<std::uint64_t>(LONG_MAX))
            return false;
        return std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) == 0;
    }

  private:
    FilePtr file_;
};

} // namespace

CreatedFile DiskFolder::CreateNew(const std::string& name)
{
    const std::filesystem::path path = folder_ / name;
    // "x": fail rather than reuse a name that another instance has just taken.
    errno = 0;
    FilePtr file(std::fopen(path.string().c_str(), "wbx"));
    if (!file) {
        std::error_code ec;
        const int error = errno;
        const bool taken =
            error == EEXIST || std::filesystem::exists(std::filesystem::symlink_status(path, ec));
        if (!taken)
            *problem_ = path.string() + ": " + (error != 0 ? std::strerror(error) : "it cannot be made");
        return {nullptr, taken};
    }
    problem_->clear(); // an earlier file's failure is not this one's
    return {std::make_unique<DiskOutputFile>(std::move(file), path.string(), problem_), false};
}

std::unique_ptr<InputFile> DiskFolder::Open(const std::string& name)
{
    FilePtr file(std::fopen((folder_ / name).string().c_str(), "rb"));
    if (!file)
        return nullptr;
    return std::make_unique<DiskInputFile>(std::move(file));
}

bool DiskFolder::Remove(const std::string& name)
{
    std::error_code ec;
    return std::filesystem::remove(folder_ / name, ec) && !ec;
}

} // namespace aurex
