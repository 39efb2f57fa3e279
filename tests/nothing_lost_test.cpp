// Runs in which a tool that trusted names, signals or memory would lose
// data: one file under two names, one pipe at both ends, names outside the
// code page, a console or an output that goes away, a size limit, a line
// beyond memory. Each checks the status, the console and the files.
#include "tool_run.hpp"

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using namespace corvane_test;

const std::string blockProgress = "Found expiry marker.\nReplacing date\nFound expiry marker.\n";

fs::path utf8Path(const std::string &name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

// A fenced block followed by enough lines to fill any pipe or small limit.
std::string longInput() {
    std::string input = "/*\nANCHOR\n*/\n";
    for (int i = 0; i < 20000; ++i)
        input += "line " + std::to_string(i) + "\n";
    return input;
}

#ifdef _WIN32
// The same file through Wine's Z: drive, which maps the host's root, or
// nothing on a Windows without it.
std::string throughAnotherDrive(const fs::path &path) {
    using UnixName = char *(__cdecl *)(const wchar_t *);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr)
        return {};
    char *name = unixName(fs::absolute(path).wstring().c_str());
    if (name == nullptr)
        return {};
    std::string spelled = std::string("Z:") + name;
    HeapFree(GetProcessHeap(), 0, name);
    std::replace(spelled.begin(), spelled.end(), '/', '\\');
    return spelled;
}
#else
// A process at the other end of a pipe, ended when the test is done with it.
class Peer {
  public:
    explicit Peer(const std::function<void()> &work) : pid_(fork()) {
        if (pid_ == 0) {
            alarm(60);
            work();
            pause();
            _exit(0);
        }
    }
    ~Peer() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_;
};
#endif

// Shows that the input is never emptied by naming it as the output too.
TEST_F(EndToEnd, OneFileUnderTwoNamesIsNeverEmptied) {
    const std::string input = "/*\nANCHOR\n*/\n";
    writeFile(dir / "in.txt", input);
    std::error_code linkError;
    fs::create_hard_link(dir / "in.txt", dir / "hardlink.txt", linkError);
    ASSERT_FALSE(linkError) << linkError.message();
    std::vector<std::string> outputs = {"in.txt", "./in.txt", "hardlink.txt"};
    // Creating a symbolic link may need rights a Windows user lacks.
    fs::create_symlink("in.txt", dir / "symlink.txt", linkError);
    if (!linkError)
        outputs.push_back("symlink.txt");
#ifdef _WIN32
    // Another drive letter for the same folder exists under Wine only.
    if (const auto otherDrive = throughAnotherDrive(dir / "in.txt"); !otherDrive.empty())
        outputs.push_back(otherDrive);
#endif
    for (const auto &output : outputs) {
        SCOPED_TRACE(output);
        const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", output});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.console, platformText(echo("in.txt", "/*", "*/", "ANCHOR", output) +
                                            "Input and output must be different files\n"));
        EXPECT_EQ(readFile(dir / "in.txt"), input);
    }
}

// Shows that names, markers and anchor outside any legacy code page are
// taken as UTF-8 and open the files they name, not look-alikes. On Windows
// this holds for a build without the UTF-8 manifest too, as on a Windows
// that ignores it.
TEST_F(EndToEnd, NamesOutsideTheCodePageOpenTheRightFiles) {
    const std::string input = "\u6a21\u677f.txt", output = "\u03b1.txt";
    const std::string opening = "\u00ab", closing = "\u00bb", anchor = "\u00c9CH\u00c9ANCE";
    writeFile(dir / utf8Path(input), opening + "\nt = " + anchor + ";\n" + closing);
    writeFile(dir / "a.txt", "keep\n");
    std::vector<std::string> tools = {CORVANE_EXE};
#ifdef CORVANE_EXE_WITHOUT_MANIFEST
    tools.push_back(CORVANE_EXE_WITHOUT_MANIFEST);
#endif
    for (const auto &tool : tools) {
        SCOPED_TRACE(tool);
        const auto before = std::time(nullptr);
        const auto run = runTool(tool, {input, opening, closing, anchor, output});
        const auto after = std::time(nullptr);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.console,
                  platformText(echo(input, opening, closing, anchor, output) + blockProgress));
        EXPECT_TRUE(
            stampedBetween(readFile(dir / utf8Path(output)), "t = @STAMP@;\n", before, after));
        EXPECT_EQ(readFile(dir / "a.txt"), "keep\n");
        fs::remove(dir / utf8Path(output));
    }
}

#ifdef _WIN32
// Lone surrogates exist in Windows' UTF-16 names only.
// Shows that a name with no UTF-8 form is refused, not replaced by another.
TEST_F(EndToEnd, ANameWithoutAUtf8FormIsRefused) {
    writeFile(dir / "in.txt", "/*\nANCHOR\n*/\n");
    const std::string loneSurrogate = "\xed\xa0\x80.txt";
    const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", loneSurrogate});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.console, platformText(echo("in.txt", "/*", "*/", "ANCHOR", loneSurrogate) +
                                        "Couldn't open file for writing"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
#endif

// Shows that a console that cannot be written neither stops the run nor
// changes its status: the output is written whole.
TEST_F(EndToEnd, ALostConsoleNeverCutsTheOutput) {
    std::vector<Console> consoles = {Console::closedPipe};
#ifndef _WIN32
    // /dev/full is Linux's; closing standard output is shown on POSIX only.
    consoles.push_back(Console::full);
    consoles.push_back(Console::closed);
#endif
    const std::string input = longInput();
    std::string expected = input.substr(input.find("*/\n") + 3) + "\n";
    expected.insert(0, "@STAMP@\n");
    for (const auto console : consoles) {
        SCOPED_TRACE(static_cast<int>(console));
        const auto before = std::time(nullptr);
        const auto run = rewrite(input, ProcessSetup().withConsole(console));
        const auto after = std::time(nullptr);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.console, "");
        EXPECT_TRUE(stampedBetween(readFile(dir / "out.txt"), expected, before, after));
    }
}

#ifndef _WIN32
// FIFOs, signals and resource limits are POSIX's.

// Shows that one pipe named as input and output is refused instead of
// reading back its own output for ever.
TEST_F(EndToEnd, OnePipeAsInputAndOutputIsRefused) {
    const fs::path pipe = dir / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const Peer writer([&] {
        const int fd = open(pipe.c_str(), O_WRONLY);
        const std::string text = "/*\nANCHOR\n*/\n";
        if (fd < 0 || write(fd, text.data(), text.size()) < 0)
            _exit(1);
    });
    const auto run =
        corvane({"pipe", "/*", "*/", "ANCHOR", "pipe"}, ProcessSetup().withTimeout(20));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.console, echo("pipe", "/*", "*/", "ANCHOR", "pipe") +
                               "Input and output must be different files\n");
}

// Shows that an output pipe whose reader goes away is a write error that
// the build sees, and that the pipe itself is never removed.
TEST_F(EndToEnd, AnOutputPipeWithoutReaderGivesStatus6) {
    const fs::path pipe = dir / "out.pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const Peer reader([&] {
        const int fd = open(pipe.c_str(), O_RDONLY);
        char first[16];
        if (fd < 0 || read(fd, first, sizeof first) < 0)
            _exit(1);
        close(fd);
    });
    writeFile(dir / "in.txt", longInput());
    const auto run =
        corvane({"in.txt", "/*", "*/", "ANCHOR", "out.pipe"}, ProcessSetup().withTimeout(20));
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.console, echo("in.txt", "/*", "*/", "ANCHOR", "out.pipe") + blockProgress +
                               "Couldn't write output file\n");
    EXPECT_TRUE(fs::is_fifo(pipe));
}

// Shows that a file size limit ends the run with status 6 and removes the
// cut-short output, through a symbolic link too, instead of a kill by
// SIGXFSZ that leaves it behind.
TEST_F(EndToEnd, AFileSizeLimitGivesStatus6AndRemovesTheOutput) {
    writeFile(dir / "in.txt", longInput());
    writeFile(dir / "target.txt", "old\n");
    fs::create_symlink("target.txt", dir / "link.txt");
    for (const std::string output : {"out.txt", "link.txt"}) {
        SCOPED_TRACE(output);
        const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", output},
                                 ProcessSetup().withLimit(RLIMIT_FSIZE, 64 * 1024));
        EXPECT_EQ(run.status, 6);
        EXPECT_EQ(run.console, echo("in.txt", "/*", "*/", "ANCHOR", output) + blockProgress +
                                   "Couldn't write output file\n");
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / output)));
    }
    // The link went, not the file it named.
    EXPECT_TRUE(fs::exists(dir / "target.txt"));
}

// Shows that a line beyond memory ends with status 7 and its message, with
// nothing on standard error and no cut-short output left behind.
TEST_F(EndToEnd, ALineBeyondMemoryGivesStatus7) {
#ifdef CORVANE_TEST_SANITIZED
    GTEST_SKIP() << "a sanitized tool cannot start under an address space limit";
#endif
    if (std::getenv("CORVANE_TEST_WRAPPER") != nullptr)
        GTEST_SKIP() << "the limit would bind the wrapper, not the tool";
    writeFile(dir / "in.txt", "/*\n" + std::string(48u << 20, 'x') + "ANCHOR\n*/\n");
    const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", "out.txt"},
                             ProcessSetup().withLimit(RLIMIT_AS, 32u << 20));
    EXPECT_EQ(run.status, 7);
    EXPECT_EQ(run.console,
              standardEcho + "Found expiry marker.\nInput line too long to fit in memory\n");
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
}
#endif

} // namespace
