// Codeplug image files of aurex-codeplug: reading one in, and writing one out only where a file
// belongs, never over the file it was read from and never half written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace aurex {

struct CodeplugFile
{
    std::vector<uint16_t> buffer; // the whole 16384-word buffer, host order, zero behind the file
    std::size_t byteCount = 0;    // bytes the file held
};

enum class CodeplugRead {
    Ok,
    Unreadable, // the file could not be opened or read
    NotAnImage, // it was read, but is empty, has an odd size or is larger than the buffer
};

// Reads a file of radio-order words into a zero-filled buffer. Anything but Ok comes with a
// message naming the file.
CodeplugRead ReadCodeplugFile(const std::string& path, CodeplugFile& file, std::string& error);

// Whether OUT may be written for IN: refused with a message when OUT is IN itself (by any path,
// link or hard link) or is something else than a regular file (a folder, a device, a FIFO, a
// socket, a symbolic link).
bool CheckCodeplugOutput(const std::string& in, const std::string& out, std::string& error);

// Writes `byteCount` bytes of the buffer as radio-order words to a new temporary file beside
// `path`, syncs it and renames it to `path`. `path` must be absent or a regular file. On any
// failure the temporary file goes again and `path` is left as it was.
bool WriteCodeplugFile(const std::string& path, const std::vector<uint16_t>& buffer, std::size_t byteCount,
                       std::string& error);

// What each system's WriteCodeplugFile shares: the radio-order bytes of the first `byteCount`
// bytes of the buffer (false with a message naming `path` when they do not fit it), and a new
// name beside `path`, so the final rename stays on one file system.
bool CodeplugLineBytes(const std::string& path, const std::vector<uint16_t>& buffer, std::size_t byteCount,
                       std::vector<unsigned char>& bytes, std::string& error);
std::string TemporaryNameBeside(const std::string& path);

} // namespace aurex
