#pragma once

// Fakes for the image store tests: a window that records what it is asked, blobs held in
// memory, a scratch working folder, and a folder that fails where a test tells it to.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "image_set_generator.h"
#include "image_store/embedded_blobs.h"
#include "image_store/window_requests.h"
#include "image_store/working_folder.h"

namespace aurex::testing {

class RecordingWindow final : public WindowRequests
{
  public:
    Answer ShowMessage(const Message& message) override
    {
        messages.push_back(message);
        return message.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }

    std::vector<Message> messages;
    std::vector<std::string> statuses;
};

class MemoryBlobs final : public EmbeddedBlobs
{
  public:
    MemoryBlobs() = default;
    explicit MemoryBlobs(const imageset::ImageSetRecipe& recipe)
    {
        imageset::GenerateImageSet(
            recipe, [this](const std::string& name, const std::string& bytes) { Set(name, bytes); });
    }
    static MemoryBlobs FromPreset(std::string_view preset) { return MemoryBlobs(*imageset::Preset(preset)); }

    std::optional<std::span<const unsigned char>> Find(std::string_view name) const override
    {
        for (const auto& [key, bytes] : blobs_) {
            if (NamesEqualIgnoringCase(key, name)) {
                return std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            }
        }
        return std::nullopt;
    }
    void Set(const std::string& name, std::string bytes) { blobs_[name] = std::move(bytes); }
    void Erase(const std::string& name) { blobs_.erase(name); }
    std::string& Bytes(const std::string& name) { return blobs_.at(name); }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : blobs_)
            names.push_back(entry.first);
        return names;
    }

  private:
    std::map<std::string, std::string> blobs_;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder
{
  public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "aurex-store-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::set<std::string> Files() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.insert(entry.path().filename().string());
        return names;
    }
    void Put(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::filesystem::path path_;
};

// Passes everything to a disk folder, except what a test has marked to fail.
class FaultyFolder final : public WorkingFolder
{
  public:
    explicit FaultyFolder(const std::filesystem::path& path) : disk_(path) {}

    std::set<std::string> fail_create; // CreateNew fails as if the disk refused
    std::set<std::string> fail_write;  // writes fail (a full disk)
    std::set<std::string> fail_close;  // the final flush fails
    std::set<std::string> fail_open;   // Open finds nothing
    std::set<std::string> fail_read;   // reads stop with an error
    std::vector<std::string> removed;

    CreatedFile CreateNew(const std::string& name) override
    {
        if (fail_create.count(name))
            return {nullptr, false};
        CreatedFile created = disk_.CreateNew(name);
        if (created.file && (fail_write.count(name) || fail_close.count(name))) {
            created.file =
                std::make_unique<FailingOutput>(std::move(created.file), fail_write.count(name) > 0);
        }
        return created;
    }
    std::unique_ptr<InputFile> Open(const std::string& name) override
    {
        if (fail_open.count(name))
            return nullptr;
        auto file = disk_.Open(name);
        if (file && fail_read.count(name))
            return std::make_unique<FailingInput>(std::move(file));
        return file;
    }
    bool Remove(const std::string& name) override
    {
        removed.push_back(name);
        return disk_.Remove(name);
    }

  private:
    class FailingOutput final : public OutputFile
    {
      public:
        FailingOutput(std::unique_ptr<OutputFile> inner, bool fail_writes)
            : inner_(std::move(inner)), fail_writes_(fail_writes)
        {
        }
        bool Write(std::span<const unsigned char> bytes) override
        {
            // Half of the first write lands, as on a disk that fills up.
            if (fail_writes_) {
                inner_->Write(bytes.first(bytes.size() / 2));
                return false;
            }
            return inner_->Write(bytes);
        }
        bool Close() override
        {
            inner_->Close();
            return false;
        }

      private:
        std::unique_ptr<OutputFile> inner_;
        bool fail_writes_;
    };
    class FailingInput final : public InputFile
    {
      public:
        explicit FailingInput(std::unique_ptr<InputFile> inner) : inner_(std::move(inner)) {}
        std::size_t Read(std::span<unsigned char> out) override
        {
            if (reads_++ > 0)
                return 0;
            return inner_->Read(out.first(std::min<std::size_t>(out.size(), 100)));
        }
        bool Failed() const override { return reads_ > 1; }
        std::optional<std::uint64_t> Size() override { return inner_->Size(); }
        bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }

      private:
        std::unique_ptr<InputFile> inner_;
        int reads_ = 0;
    };

    DiskFolder disk_;
};

} // namespace aurex::testing
