#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace aurex {

// The files that extraction makes, behind a small interface: the disk folder below is the one
// place with file system calls, and tests put a folder in between that fails on purpose.

class OutputFile
{
  public:
    virtual ~OutputFile() = default;
    virtual bool Write(std::span<const unsigned char> bytes) = 0;
    // Flushes and closes; false when any write since creation failed.
    virtual bool Close() = 0;
};

class InputFile
{
  public:
    virtual ~InputFile() = default;
    // Fills as much of `out` as the file still has; 0 at the end or on an error (see Failed).
    virtual std::size_t Read(std::span<unsigned char> out) = 0;
    virtual bool Failed() const = 0;
    virtual std::optional<std::uint64_t> Size() = 0;
    virtual bool Seek(std::uint64_t offset) = 0;
};

struct CreatedFile
{
    std::unique_ptr<OutputFile> file; // null when the file could not be made
    bool already_exists = false;      // the name was taken (file, folder or link)
};

class WorkingFolder
{
  public:
    virtual ~WorkingFolder() = default;
    // Creates a file that must not exist yet; never opens or truncates an existing one.
    virtual CreatedFile CreateNew(const std::string& name) = 0;
    virtual std::unique_ptr<InputFile> Open(const std::string& name) = 0;
    virtual bool Remove(const std::string& name) = 0;
    // Why the file last made here could not be made or written, naming the file and the
    // system's reason ("/path/Code.3: No space left on device"); empty when none failed.
    virtual std::string WriteProblem() const { return {}; }
};

// Files in a folder of the disk, opened in binary mode so bytes pass unchanged.
class DiskFolder final : public WorkingFolder
{
  public:
    explicit DiskFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}
    CreatedFile CreateNew(const std::string& name) override;
    std::unique_ptr<InputFile> Open(const std::string& name) override;
    bool Remove(const std::string& name) override;
    std::string WriteProblem() const override { return *problem_; }
    const std::filesystem::path& Path() const { return folder_; }

  private:
    std::filesystem::path folder_;
    // Shared with the files made here, which outlive no folder but may fail after CreateNew.
    std::shared_ptr<std::string> problem_ = std::make_shared<std::string>();
};

} // namespace aurex
