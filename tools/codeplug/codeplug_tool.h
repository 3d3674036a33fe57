// aurex-codeplug: the offline codeplug tool for technicians and for our own checks.
//
//   aurex-codeplug validate FILE
//   aurex-codeplug info FILE
//   aurex-codeplug convert --to 5.8|5.9|5.10 IN OUT
//
// A file holds the codeplug as it travels to and from the radio: 16-bit words, high byte first,
// at most 32768 bytes. Exit status: 0 done, 1 the image is invalid or cannot be converted,
// 2 wrong command line, 3 a file cannot be read or written. OUT is written only for a
// conversion that succeeded, through a temporary file renamed over OUT at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace aurex {

enum CodeplugToolExit : int {
    kCodeplugToolOk = 0,
    kCodeplugToolRefused = 1,
    kCodeplugToolUsage = 2,
    kCodeplugToolFileError = 3,
};

struct CodeplugFile
{
    std::vector<uint16_t> buffer; // the whole 16384-word buffer, host order, zero behind the file
    std::size_t byteCount = 0;    // bytes the file held
};

// Reads a file of radio-order words into a zero-filled buffer. False with a message (naming
// the file) when it cannot be read, is empty, has an odd size or is larger than the buffer.
bool ReadCodeplugFile(const std::string& path, CodeplugFile& file, std::string& error);
// Writes `byteCount` bytes of the buffer as radio-order words to a temporary file beside
// `path` and renames it to `path`; on any failure removes the temporary file and leaves
// `path` as it was.
bool WriteCodeplugFile(const std::string& path, const std::vector<uint16_t>& buffer, std::size_t byteCount,
                       std::string& error);

// Why the image fails the structure check, in words a technician can act on; empty when it
// passes. `byteCount` is what the file held, to tell a cut file from a broken chain.
std::string DiagnoseCodeplug(const uint16_t* image, std::size_t byteCount);
// Format version, length and every block with its shape, one block a line.
void DescribeCodeplug(const uint16_t* image, std::size_t byteCount, std::ostream& out);

// The whole command line after the program name.
int RunCodeplugTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace aurex
