#include "codeplug/codeplug_file.h"

#include "convert/codeplug_buffer.h"
#include "convert/codeplug_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <span>
#include <sstream>

namespace aurex {

namespace {

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string SystemError(int error)
{
    return error != 0 ? std::strerror(error) : "unknown error";
}

} // namespace

CodeplugRead ReadCodeplugFile(const std::string& path, CodeplugFile& file, std::string& error)
{
    errno = 0;
    const File stream(std::fopen(path.c_str(), "rb"));
    if (!stream) {
        error = "cannot read " + path + ": " + SystemError(errno);
        return CodeplugRead::Unreadable;
    }
    std::vector<unsigned char> bytes(kParmsBufferBytes + 1);
    errno = 0;
    const std::size_t count = std::fread(bytes.data(), 1, bytes.size(), stream.get());
    if (std::ferror(stream.get()) != 0) {
        error = "cannot read " + path + ": " + SystemError(errno);
        return CodeplugRead::Unreadable;
    }
    const std::string invalid = path + " is not a valid codeplug image: ";
    if (count == 0) {
        error = invalid + "the file is empty";
        return CodeplugRead::NotAnImage;
    }
    if (count > kParmsBufferBytes) {
        error = invalid + "the file is larger than the " + std::to_string(kParmsBufferBytes) +
                "-byte codeplug buffer";
        return CodeplugRead::NotAnImage;
    }
    if (count % 2 != 0) {
        error = invalid + "the file holds " + std::to_string(count) +
                " bytes, not a whole number of 16-bit words";
        return CodeplugRead::NotAnImage;
    }
    file.buffer.assign(kParmsBufferWords, 0);
    WordsFromLineBytes(std::span<const uint8_t>(bytes.data(), count), file.buffer);
    file.byteCount = count;
    return CodeplugRead::Ok;
}

bool CodeplugLineBytes(const std::string& path, const std::vector<uint16_t>& buffer, std::size_t byteCount,
                       std::vector<unsigned char>& bytes, std::string& error)
{
    if (byteCount % 2 != 0 || byteCount > buffer.size() * 2) {
        error = "cannot write " + path + ": " + std::to_string(byteCount) + " bytes do not fit the buffer";
        return false;
    }
    bytes.assign(byteCount, 0);
    LineBytesFromWords(buffer, bytes);
    return true;
}

std::string TemporaryNameBeside(const std::string& path)
{
    std::random_device random;
    std::ostringstream suffix;
    suffix << ".tmp-" << std::hex << random() << random();
    return path + suffix.str();
}

} // namespace aurex
