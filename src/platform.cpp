// The POSIX and the Windows halves of the platform unit. Both work on the C
// runtime's file descriptors, so text mode on Windows comes from the runtime
// exactly as it does for the standard streams.
#include "platform.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// windows.h must come first.
#include <shellapi.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace corvane::platform {

File::File(File &&other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

File &File::operator=(File &&other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

File::~File() {
    close();
}

bool File::writeAll(const char *data, std::size_t size) {
    while (size > 0) {
        const auto written = writeSome(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

#ifdef _WIN32

namespace {

// Encodes UTF-16 as UTF-8. A lone surrogate is encoded as the three bytes
// it would have as a character; UTF-8 forbids them, so a name holding one
// is refused when it is opened, instead of opening a look-alike.
std::string toUtf8(const wchar_t *text) {
    std::string bytes;
    for (; *text != L'\0'; ++text) {
        std::uint32_t code = static_cast<std::uint16_t>(*text);
        const auto next = static_cast<std::uint16_t>(text[1]);
        if (code >= 0xD800 && code <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
            ++text;
        }
        if (code < 0x80) {
            bytes += static_cast<char>(code);
        } else if (code < 0x800) {
            bytes += static_cast<char>(0xC0 | (code >> 6));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code >> 12));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code >> 18));
            bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return bytes;
}

// The wide form of a UTF-8 name, or nothing when the bytes are not UTF-8.
std::optional<std::wstring> toWide(const std::string &text) {
    if (text.empty() || text.size() > INT_MAX)
        return std::nullopt;
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    // A zero byte would cut the name short and open another file.
    if (wide.find(L'\0') != std::wstring::npos)
        return std::nullopt;
    return wide;
}

int openWide(const std::string &path, int flags) {
    const auto wide = toWide(path);
    if (!wide)
        return -1;
    return _wopen(wide->c_str(), flags | _O_TEXT | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information))
        return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (std::uint64_t{information.nFileIndexHigh} << 32) |
                            information.nFileIndexLow};
}

} // namespace

File File::openForReading(const std::string &path) {
    return File(openWide(path, _O_RDONLY));
}

File File::openForWriting(const std::string &path) {
    return File(openWide(path, _O_WRONLY | _O_CREAT));
}

FileKind File::kind() const {
    struct _stat64 status;
    if (_fstat64(descriptor_, &status) != 0)
        return FileKind::other;
    if ((status.st_mode & _S_IFMT) == _S_IFREG)
        return FileKind::regular;
    if ((status.st_mode & _S_IFMT) == _S_IFDIR)
        return FileKind::directory;
    return FileKind::other;
}

std::optional<FileIdentity> File::identity() const {
    return identityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor_)));
}

bool File::truncate() {
    return kind() != FileKind::regular || _chsize_s(descriptor_, 0) == 0;
}

std::ptrdiff_t File::read(char *buffer, std::size_t size) {
    return _read(descriptor_, buffer, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

std::ptrdiff_t File::writeSome(const char *data, std::size_t size) {
    return _write(descriptor_, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

bool File::close() {
    if (descriptor_ < 0)
        return true;
    return _close(std::exchange(descriptor_, -1)) == 0;
}

// Windows raises no signal for a closed pipe or a size limit: the write
// fails. The standard descriptors are left as the C runtime sets them up;
// a run with a standard stream missing is tested on POSIX only.
void prepareProcess() {}

std::vector<std::string> commandLineArguments(int argc, char *argv[]) {
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc)
                        : std::vector<std::string>{};
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(toUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

bool removeIfRegularFile(const std::string &path, const FileIdentity &identity) {
    const auto wide = toWide(path);
    if (!wide)
        return false;
    // Opening follows a symbolic link to the file it names.
    const HANDLE handle = CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK &&
                         GetFileInformationByHandle(handle, &information) &&
                         !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const bool sameFile = regular && identityOfHandle(handle) == identity;
    CloseHandle(handle);
    return sameFile && DeleteFileW(wide->c_str());
}

#else

namespace {

std::optional<FileIdentity> identityOfStatus(const struct stat &status) {
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

int openRetrying(const std::string &path, int flags) {
    // A zero byte would cut the name short and open another file.
    if (path.find('\0') != std::string::npos)
        return -1;
    int descriptor;
    do
        descriptor = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0666);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

} // namespace

File File::openForReading(const std::string &path) {
    return File(openRetrying(path, O_RDONLY));
}

File File::openForWriting(const std::string &path) {
    return File(openRetrying(path, O_WRONLY | O_CREAT));
}

FileKind File::kind() const {
    struct stat status;
    if (fstat(descriptor_, &status) != 0)
        return FileKind::other;
    if (S_ISREG(status.st_mode))
        return FileKind::regular;
    if (S_ISDIR(status.st_mode))
        return FileKind::directory;
    return FileKind::other;
}

std::optional<FileIdentity> File::identity() const {
    struct stat status;
    if (fstat(descriptor_, &status) != 0)
        return std::nullopt;
    return identityOfStatus(status);
}

bool File::truncate() {
    return kind() != FileKind::regular || ftruncate(descriptor_, 0) == 0;
}

std::ptrdiff_t File::read(char *buffer, std::size_t size) {
    ssize_t count;
    do
        count = ::read(descriptor_, buffer, std::min<std::size_t>(size, SSIZE_MAX));
    while (count < 0 && errno == EINTR);
    return count;
}

std::ptrdiff_t File::writeSome(const char *data, std::size_t size) {
    ssize_t written;
    do
        written = ::write(descriptor_, data, std::min<std::size_t>(size, SSIZE_MAX));
    while (written < 0 && errno == EINTR);
    return written;
}

bool File::close() {
    if (descriptor_ < 0)
        return true;
    return ::close(std::exchange(descriptor_, -1)) == 0;
}

void prepareProcess() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    for (int standard = STDIN_FILENO; standard <= STDERR_FILENO; ++standard) {
        if (fcntl(standard, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor is the one missing.
            const int placeholder = ::open("/dev/null", O_RDWR);
            if (placeholder >= 0 && placeholder != standard)
                ::close(placeholder);
        }
    }
}

std::vector<std::string> commandLineArguments(int argc, char *argv[]) {
    if (argc < 2)
        return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool removeIfRegularFile(const std::string &path, const FileIdentity &identity) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        identityOfStatus(status) != identity)
        return false;
    return unlink(path.c_str()) == 0;
}

#endif

} // namespace corvane::platform
