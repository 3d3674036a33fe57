// aurex-codeplug: the offline codeplug tool for technicians and for our own checks.
//
//   aurex-codeplug validate FILE
//   aurex-codeplug info FILE
//   aurex-codeplug convert [--report] --to 5.8|5.9|5.10 IN OUT
//   aurex-codeplug diff A B
//
// A file holds the codeplug as it travels to and from the radio: 16-bit words, high byte first,
// at most 32768 bytes. Exit status: 0 done, 1 the image is invalid (also an empty, odd-sized or
// cut file) or cannot be converted, 2 wrong command line, 3 a file cannot be read or written
// (also an OUT that is IN itself or no regular file). OUT is written only for a conversion that
// succeeded, through a temporary file renamed over OUT at the end. --report prints, after the
// conversion, what it changed; it changes nothing in what convert writes or answers. diff prints
// what differs from A to B, as a conversion report does, and answers 0 when they are the same
// and 1 when they differ (or one is invalid), as diff(1) does.
#pragma once

#include "codeplug/codeplug_file.h"

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

// Why the image fails the structure check, in words a technician can act on; empty when it
// passes. `byteCount` is what the file held, to tell a cut file from a broken chain.
std::string DiagnoseCodeplug(const uint16_t* image, std::size_t byteCount);
// For an image that passes DiagnoseCodeplug: why the file is cut short of the image's end, naming
// the trailer words it lacks; empty when it holds the whole image. A cut trailer would be lost by
// a conversion, which carries only the bytes the file held.
std::string DiagnoseTruncation(const uint16_t* image, std::size_t byteCount);
// Format version, length and every block with its shape, one block a line.
void DescribeCodeplug(const uint16_t* image, std::size_t byteCount, std::ostream& out);

// The whole command line after the program name.
int RunCodeplugTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace aurex
