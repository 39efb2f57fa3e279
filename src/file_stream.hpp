// Stream buffers over the platform's open files, so that the rewriter keeps
// working on ordinary streams while the entry keeps hold of the files it
// opened and compared. Failures are remembered here rather than thrown, and
// the entry reads them once the run is over.
#pragma once

#include "platform.hpp"

#include <streambuf>
#include <vector>

namespace corvane {

// Reads the file in large blocks. A read error ends the input as its end
// does, and is remembered.
class FileReadBuffer : public std::streambuf {
  public:
    explicit FileReadBuffer(platform::File &file, std::size_t blockSize = 64 * 1024);
    bool readFailed() const { return readFailed_; }

  protected:
    int_type underflow() override;

  private:
    platform::File &file_;
    std::vector<char> block_;
    bool readFailed_ = false;
};

// Writes straight to the file with no buffer of its own: each piece handed
// to it is written, so a line written in one piece costs one system call
// and is in the file when the call returns. A failed write is remembered
// and reported as a short write.
class FileWriteBuffer : public std::streambuf {
  public:
    explicit FileWriteBuffer(platform::File &file) : file_(file) {}
    bool writeFailed() const { return writeFailed_; }

  protected:
    std::streamsize xsputn(const char_type *data, std::streamsize count) override;
    int_type overflow(int_type character) override;

  private:
    platform::File &file_;
    bool writeFailed_ = false;
};

} // namespace corvane
