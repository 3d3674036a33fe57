#include "app/image_stream.h"

#include <span>

namespace aurex {

WorkingFileStream::WorkingFileStream(WorkingFolder& folder, const std::string& name)
    : std::istream(nullptr), file_(name.empty() ? nullptr : folder.Open(name))
{
    rdbuf(&buffer_);
    if (!file_) {
        setstate(std::ios::failbit | std::ios::badbit);
    }
}

WorkingFileStream::~WorkingFileStream() = default;

void WorkingFileStream::Close()
{
    file_.reset();
}

WorkingFileStream::Buffer::int_type WorkingFileStream::Buffer::underflow()
{
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    if (!owner_.file_) {
        return traits_type::eof();
    }
    const std::size_t got = owner_.file_->Read(
        std::span<unsigned char>(reinterpret_cast<unsigned char*>(bytes_.data()), bytes_.size()));
    if (got == 0) {
        // A read error ends the stream as the end of the file would; the S-record reader then
        // finds the image cut short and says so.
        return traits_type::eof();
    }
    setg(bytes_.data(), bytes_.data(), bytes_.data() + got);
    bufferEnd_ += got;
    return traits_type::to_int_type(*gptr());
}

WorkingFileStream::Buffer::pos_type WorkingFileStream::Buffer::seekoff(off_type offset, std::ios::seekdir dir,
                                                                       std::ios::openmode which)
{
    const pos_type failed(off_type(-1));
    if ((which & std::ios::in) == 0 || !owner_.file_) {
        return failed;
    }
    const auto here = static_cast<off_type>(bufferEnd_) - static_cast<off_type>(egptr() - gptr());
    off_type target = offset;
    if (dir == std::ios::cur) {
        if (offset == 0) {
            return pos_type(here); // tellg: nothing moves
        }
        target = here + offset;
    } else if (dir == std::ios::end) {
        const auto size = owner_.file_->Size();
        if (!size) {
            return failed;
        }
        target = static_cast<off_type>(*size) + offset;
    }
    if (target < 0 || !owner_.file_->Seek(static_cast<std::uint64_t>(target))) {
        return failed;
    }
    setg(bytes_.data(), bytes_.data(), bytes_.data());
    bufferEnd_ = static_cast<std::uint64_t>(target);
    return pos_type(target);
}

WorkingFileStream::Buffer::pos_type WorkingFileStream::Buffer::seekpos(pos_type position,
                                                                       std::ios::openmode which)
{
    return seekoff(off_type(position), std::ios::beg, which);
}

} // namespace aurex
