// Stream buffers over the platform's open files.
#include "file_stream.hpp"

namespace corvane {

FileReadBuffer::FileReadBuffer(platform::File &file, std::size_t blockSize)
    : file_(file), block_(blockSize) {}

FileReadBuffer::int_type FileReadBuffer::underflow() {
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    if (readFailed_)
        return traits_type::eof();
    const auto count = file_.read(block_.data(), block_.size());
    if (count <= 0) {
        readFailed_ = count < 0;
        return traits_type::eof();
    }
    setg(block_.data(), block_.data(), block_.data() + count);
    return traits_type::to_int_type(*gptr());
}

std::streamsize FileWriteBuffer::xsputn(const char_type *data, std::streamsize count) {
    if (count <= 0)
        return 0;
    if (writeFailed_ || !file_.writeAll(data, static_cast<std::size_t>(count))) {
        writeFailed_ = true;
        return 0;
    }
    return count;
}

FileWriteBuffer::int_type FileWriteBuffer::overflow(int_type character) {
    if (traits_type::eq_int_type(character, traits_type::eof()))
        return traits_type::not_eof(character);
    const char byte = traits_type::to_char_type(character);
    return xsputn(&byte, 1) == 1 ? character : traits_type::eof();
}

} // namespace corvane
