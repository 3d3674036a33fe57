#pragma once

// The file system calls that keep a codeplug backup, behind one class: its own definitions are
// the only place that makes them, and tests derive from it to fail one call on purpose.

#include <cstddef>
#include <cstdint>
#include <string>

namespace aurex {

class BackupDisk
{
  public:
    virtual ~BackupDisk() = default;

    // Each returns 0 or an errno value.

    // Creates the folder and its missing parents, the new ones private (0700), and takes group
    // and other access away from the folder itself when it is ours: a codeplug holds the radio's
    // passwords. A link there is refused (ELOOP).
    virtual int MakePrivateFolder(const std::string& path);
    virtual int OpenFolder(const std::string& path, int& fd);
    // A new file in the folder, for its owner only (0600). Without a name where the file system
    // allows it, so that a crash leaves nothing behind; otherwise under a fresh hidden name,
    // given in `tempName`.
    virtual int CreateUnnamed(int folder, int& fd, std::string& tempName);
    // All of `size` bytes, or an error.
    virtual int Write(int fd, const std::uint8_t* data, std::size_t size);
    // All of `size` bytes at `offset`, over what the file holds there.
    virtual int WriteAt(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset);
    virtual int ReadAt(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset);
    virtual int Truncate(int fd, std::uint64_t size);
    virtual int DataSync(int fd);
    // Gives the file `name` in the folder; EEXIST when that name is taken. Never replaces a file.
    virtual int LinkIn(int folder, int fd, const std::string& tempName, const std::string& name);
    virtual int Unlink(int folder, const std::string& name);
    // Removes the hidden names of CreateUnnamed whose process has ended: a run killed while it
    // wrote a backup on a file system without unnamed files. How many were removed.
    virtual int RemoveLeftTemporaries(int folder);
    virtual int SyncFolder(int folder);
    virtual int FreeBytes(int folder, std::uint64_t& bytes);
    virtual void Close(int fd);
};

// The real disk.
BackupDisk& SystemBackupDisk();

// The system's text for an errno value.
std::string ErrorText(int error);

} // namespace aurex
