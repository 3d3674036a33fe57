#pragma once

// A file of the working folder read as a standard stream, so that the downloads take the merged
// images from whatever folder extraction wrote them to.

#include <array>
#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

#include "image_store/working_folder.h"

namespace aurex {

class WorkingFileStream : public std::istream
{
  public:
    // A file that cannot be opened gives a stream that has failed from the start.
    WorkingFileStream(WorkingFolder& folder, const std::string& name);
    ~WorkingFileStream() override;
    WorkingFileStream(const WorkingFileStream&) = delete;
    WorkingFileStream& operator=(const WorkingFileStream&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Closes the file; the stream reads nothing more.
    void Close();

  private:
    class Buffer : public std::streambuf
    {
      public:
        explicit Buffer(WorkingFileStream& owner) : owner_(owner) {}

      protected:
        int_type underflow() override;
        pos_type seekoff(off_type offset, std::ios::seekdir dir, std::ios::openmode which) override;
        pos_type seekpos(pos_type position, std::ios::openmode which) override;

      private:
        WorkingFileStream& owner_;
        std::array<char, 65536> bytes_{};
        std::uint64_t bufferEnd_ = 0; // file offset just past the buffered bytes
    };

    std::unique_ptr<InputFile> file_;
    Buffer buffer_{*this};
};

} // namespace aurex
