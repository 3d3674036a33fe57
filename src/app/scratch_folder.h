#pragma once

// The private folder of one program run for the images it extracts: under the user's cache
// folder, named after the process, so that a run that was killed leaves nothing in the folder
// the technician started the program from, and the next start finds and removes what it left.

#include <filesystem>
#include <string>

#include "image_store/working_folder.h"

namespace aurex {

class ScratchFolder final : public WorkingFolder
{
  public:
    // The folder run-<process id> under `parent`; nothing is made yet.
    explicit ScratchFolder(std::filesystem::path parent);
    ~ScratchFolder() override;
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Makes the folder for this user only and holds its lock while it exists; empty when it is
    // ready, else a sentence naming the folder and the reason.
    std::string Prepare();
    // Removes the folder and all in it.
    void Release();

    CreatedFile CreateNew(const std::string& name) override { return files_.CreateNew(name); }
    std::unique_ptr<InputFile> Open(const std::string& name) override { return files_.Open(name); }
    bool Remove(const std::string& name) override { return files_.Remove(name); }
    std::string WriteProblem() const override { return files_.WriteProblem(); }
    const std::filesystem::path& Path() const { return files_.Path(); }

  private:
    std::filesystem::path parent_;
    DiskFolder files_;
    int lock_ = -1;
};

// $XDG_CACHE_HOME/Aurex Code Updater, else ~/.cache/Aurex Code Updater; without either, a folder
// of this user's in the temporary folder.
std::filesystem::path DefaultScratchParent();

// Removes the run folders under `parent` whose program is no longer running (its lock is free,
// or without a lock its process is gone); how many.
int RemoveStaleScratchFolders(const std::filesystem::path& parent);

} // namespace aurex
