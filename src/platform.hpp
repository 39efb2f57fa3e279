// What Corvane asks of the operating system beyond the standard library:
// files opened by name and told apart by what they are, the process set up
// so that a lost console or a size limit cannot kill a run, and the command
// line as UTF-8. The POSIX and the Windows halves stand side by side in
// platform.cpp; the rest of the tool sees only this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::platform {

// Which file an open file is: device and inode on POSIX, volume serial
// number and file index on Windows. Every name of one file, through a link,
// "./" or another drive letter, gives the same identity.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

enum class FileKind { regular, directory, other };

// An open file, closed when it goes out of scope. On Windows it is in text
// mode: CR LF reads as LF, 0x1A ends the input, and LF is written as CR LF.
// Names are UTF-8 on Windows and bytes elsewhere.
class File {
  public:
    File() = default;
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    ~File();

    static File openForReading(const std::string &path);
    // Opens or creates the file without emptying it, so that it can be told
    // apart from the input before anything in it is lost.
    static File openForWriting(const std::string &path);

    bool isOpen() const { return descriptor_ >= 0; }
    FileKind kind() const;
    std::optional<FileIdentity> identity() const;
    // Empties a regular file; any other kind of file has nothing to empty.
    bool truncate();
    // The number of bytes read, 0 at the end of the input, -1 on an error.
    std::ptrdiff_t read(char *buffer, std::size_t size);
    bool writeAll(const char *data, std::size_t size);
    bool close();

  private:
    explicit File(int descriptor) : descriptor_(descriptor) {}
    // One write call: the number of bytes written, or -1 on an error.
    std::ptrdiff_t writeSome(const char *data, std::size_t size);
    int descriptor_ = -1;
};

// Lets a closed pipe or a file size limit fail a write instead of killing
// the process, and opens the standard descriptors that the caller left
// closed, so that no file of the run can take the console's place.
void prepareProcess();

// The arguments after the program's name. On Windows they come from the
// wide command line as UTF-8, whatever the code page; a name that has no
// UTF-8 form keeps bytes that no file name can have, so it fails to open.
std::vector<std::string> commandLineArguments(int argc, char *argv[]);

// Removes the path when it still names this regular file, directly or
// through a symbolic link (the link is what goes). A device, a pipe or a
// file put there by someone else is left alone.
bool removeIfRegularFile(const std::string &path, const FileIdentity &identity);

} // namespace corvane::platform
