// Runs the built tool in a temporary folder and checks its exit status,
// console bytes and file bytes together, one run per outcome.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string usage = "The program must be called *exactly* as follows:\n"
                          "Corvane.exe inputfile openingCommentMarker closingCommentMarker "
                          "dateAnchor outfilename\n"
                          "Example: Corvane examples/trial.js \"/*\" \"*/\" EXPIRY_DATE trial.js\n"
                          "Read Corvane for details.\n";

// Text as the tool writes it: on Windows every line end it writes, to the
// console and to the output, is a carriage return and a line feed.
std::string platformText(const std::string &text) {
#ifdef _WIN32
    std::string converted;
    for (const char c : text) {
        if (c == '\n')
            converted += '\r';
        converted += c;
    }
    return converted;
#else
    return text;
#endif
}

struct ToolRun {
    int status;
    std::string console;
};

std::string readFile(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string echo(const std::string &in, const std::string &opening, const std::string &closing,
                 const std::string &anchor, const std::string &out) {
    return "Input filename: " + in + "\nComment markers: " + opening + " and " + closing +
           "\nDate Anchor: " + anchor + "\nOutput filename: " + out + "\n";
}

#ifdef _WIN32
// Quotes an argument so that the C runtime's command-line parser gives it
// back unchanged: spaces, quotes, backslashes and the empty string included.
std::string quoteArgument(const std::string &argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + '"';
}

// Runs the command in the test's folder with its standard output in a file,
// the way a build would, and returns its exit status. The test process's own
// folder, output and environment are lent for the run and given back.
int runProcess(const std::vector<std::string> &command,
               const std::vector<std::pair<std::string, std::string>> &environment,
               const fs::path &consolePath) {
    std::vector<std::string> quoted;
    for (const auto &word : command)
        quoted.push_back(quoteArgument(word));
    std::vector<const char *> argv;
    for (const auto &word : quoted)
        argv.push_back(word.c_str());
    argv.push_back(nullptr);

    for (const auto &[name, value] : environment)
        _putenv_s(name.c_str(), value.c_str());
    std::fflush(stdout);
    const int savedStdout = _dup(1);
    // Text mode, as a console or a build's log file is: the tool must not
    // inherit a binary standard output that hides its line ends.
    const int consoleFd = _open(consolePath.string().c_str(),
                                _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    _dup2(consoleFd, 1);
    _close(consoleFd);
    const fs::path testFolder = fs::current_path();
    fs::current_path(consolePath.parent_path());
    const auto status = _spawnv(_P_WAIT, command[0].c_str(), argv.data());
    fs::current_path(testFolder);
    _dup2(savedStdout, 1);
    _close(savedStdout);
    for (const auto &[name, value] : environment)
        _putenv_s(name.c_str(), "");
    return static_cast<int>(status);
}
#else
// Runs the command in the console file's folder with its standard output in
// that file, the way a build would, and returns its exit status.
int runProcess(const std::vector<std::string> &command,
               const std::vector<std::pair<std::string, std::string>> &environment,
               const fs::path &consolePath) {
    std::vector<char *> argv;
    for (const auto &word : command)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int consoleFd = open(consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (consoleFd < 0 || dup2(consoleFd, STDOUT_FILENO) < 0 ||
            chdir(consolePath.parent_path().c_str()) != 0)
            _exit(127);
        for (const auto &[name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int waitStatus = 0;
    waitpid(child, &waitStatus, 0);
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}
#endif

// Whether the output is the template, as given, with "@STAMP@" replaced by
// the stamp of a clock reading between the two given ones.
bool matchesStamped(const std::string &output, const std::string &outputTemplate,
                    std::time_t before, std::time_t after) {
    for (auto seconds = before; seconds <= after; ++seconds) {
        const std::string stamp = std::to_string(seconds + 2592000) + "000";
        std::string expected = outputTemplate;
        for (auto at = expected.find("@STAMP@"); at != std::string::npos;
             at = expected.find("@STAMP@", at + stamp.size()))
            expected.replace(at, 7, stamp);
        if (output == expected)
            return true;
    }
    return false;
}

// The same for a template written with the platform's line ends.
bool stampedBetween(const std::string &output, const std::string &outputTemplate,
                    std::time_t before, std::time_t after) {
    return matchesStamped(output, platformText(outputTemplate), before, after);
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            const auto candidate =
                fs::temp_directory_path() / ("corvane-e2e-" + std::to_string(random()));
            if (fs::create_directory(candidate))
                dir = candidate;
        }
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the tool in the test folder with exactly these arguments and these
    // extra environment variables. CORVANE_TEST_WRAPPER, when set, names a
    // command (with blank-separated options) that runs the tool, such as a
    // memory checker.
    ToolRun corvane(const std::vector<std::string> &arguments,
                    const std::vector<std::pair<std::string, std::string>> &environment = {}) {
        std::vector<std::string> command;
        if (const char *wrapper = std::getenv("CORVANE_TEST_WRAPPER")) {
            std::istringstream words(wrapper);
            for (std::string word; words >> word;)
                command.push_back(word);
        }
        command.push_back(CORVANE_EXE);
        command.insert(command.end(), arguments.begin(), arguments.end());
        const fs::path consolePath = dir / ".console";
        ToolRun run{runProcess(command, environment, consolePath), readFile(consolePath)};
        fs::remove(consolePath);
        return run;
    }

    // Runs "in.txt /* */ ANCHOR out.txt" on the given input.
    ToolRun rewrite(const std::string &input) {
        writeFile(dir / "in.txt", input);
        return corvane({"in.txt", "/*", "*/", "ANCHOR", "out.txt"});
    }

    fs::path dir;
    const std::string standardEcho = echo("in.txt", "/*", "*/", "ANCHOR", "out.txt");
};

TEST_F(EndToEnd, HelpRequestPrintsUsageOnly) {
    for (const auto &arguments :
         {std::vector<std::string>{"-h"}, {"-?"}, {"-h", "in.txt", "/*", "*/", "A", "out.txt"}}) {
        SCOPED_TRACE(arguments.size());
        const auto run = corvane(arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.console, platformText(usage));
    }
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
}

TEST_F(EndToEnd, FewerThanFiveArgumentsGiveStatus5) {
    const struct {
        std::vector<std::string> arguments;
        const char *count;
    } cases[] = {
        {{}, "0"}, {{"-H"}, "1"}, {{"--help"}, "1"}, {{"in.txt", "/*", "*/", "ANCHOR"}, "4"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.count);
        const auto run = corvane(c.arguments);
        EXPECT_EQ(run.status, 5);
        EXPECT_EQ(run.console, platformText(std::string("Expected 5 arguments, got ") + c.count +
                                            ".\n" + usage));
    }
}

TEST_F(EndToEnd, StampsTheShippedExample) {
    fs::copy_file(fs::path(CORVANE_EXAMPLES_DIR) / "trial.js", dir / "trial.js");
    const auto before = std::time(nullptr);
    // Arguments after the fifth are ignored.
    const auto run = corvane({"trial.js", "/*", "*/", "EXPIRY_DATE", "out.js", "extra"});
    const auto after = std::time(nullptr);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console,
              platformText(echo("trial.js", "/*", "*/", "EXPIRY_DATE", "out.js") +
                           "Found expiry marker.\nReplacing date\nFound expiry marker.\n"));
    const std::string output = readFile(dir / "out.js");
    std::smatch stamp;
    ASSERT_TRUE(std::regex_search(output, stamp, std::regex("TRIAL_EXPIRES_AT = ([0-9]+)000;")))
        << output;
    const long long seconds = std::stoll(stamp[1]);
    EXPECT_GE(seconds, before + 2592000);
    EXPECT_LE(seconds, after + 2592000);

    std::string expected = readFile(dir / "trial.js");
    expected.erase(expected.find("/*\n"), 3);
    expected.erase(expected.find("*/\n"), 3);
    expected.replace(expected.find("EXPIRY_DATE"), 11, stamp[1].str() + "000");
    EXPECT_EQ(output, platformText(expected + "\n"));
}

TEST_F(EndToEnd, VerdictFollowsMarkersAndAnchor) {
    const struct {
        const char *name;
        std::string input;
        int status;
        std::string console;
        std::string output;
    } cases[] = {
        {"block without the anchor", "a\n/*\nb\n*/\n", 3,
         "Found expiry marker.\nFound expiry marker.\nNo matching date anchor was found.\n",
         "a\nb\n\n"},
        {"no marker", "a\nANCHOR", 4, "Comment markers not found.\n", "a\nANCHOR\n"},
        // Markers missing win over the anchor missing.
        {"one fence only, anchor stamped", "/*\nb", 4,
         "Found expiry marker.\nComment markers not found.\n", "b\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = rewrite(c.input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.console, platformText(standardEcho + c.console));
        EXPECT_EQ(readFile(dir / "out.txt"), platformText(c.output));
    }
}

// Both files are opened in text mode. On Windows that turns a carriage
// return and line feed into one line feed when reading, writes every line
// end as both, and ends the input at the first 0x1A byte; elsewhere every
// byte passes unchanged.
TEST_F(EndToEnd, TextModeFollowsThePlatform) {
    const auto run = rewrite("a\r\n/*\r\nANCHOR\r\n*/\r\nb\x1a"
                             "after\n");
    EXPECT_EQ(run.status, 0);
#ifdef _WIN32
    const std::string expectedTemplate = "a\r\n@STAMP@\r\nb\r\n";
#else
    // The fence lines still match: the markers stand on them, before "\r".
    const std::string expectedTemplate = "a\r\n@STAMP@\r\nb\x1a"
                                         "after\n\n";
#endif
    const auto now = std::time(nullptr);
    const std::string output = readFile(dir / "out.txt");
    EXPECT_TRUE(matchesStamped(output, expectedTemplate, now - 5, now)) << output;
    EXPECT_EQ(run.console, platformText(standardEcho + "Found expiry marker.\nReplacing date\n"
                                                       "Found expiry marker.\n"));
}

TEST_F(EndToEnd, UnreadableInputGivesStatus1AndNoOutput) {
    fs::create_directory(dir / "folder");
    for (const std::string input : {"missing.txt", "folder"}) {
        SCOPED_TRACE(input);
        const auto run = corvane({input, "/*", "*/", "ANCHOR", "out.txt"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.console, platformText(echo(input, "/*", "*/", "ANCHOR", "out.txt") +
                                            "Invalid filename or could not read from disk."));
        EXPECT_FALSE(fs::exists(dir / "out.txt"));
    }
}

#ifndef _WIN32
// /proc/self/mem is Linux's.
// Shows that a read error is not reported as success: reading this file
// fails with an I/O error at its first byte.
TEST_F(EndToEnd, ReadErrorGivesStatus1) {
    const auto run = corvane({"/proc/self/mem", "/*", "*/", "ANCHOR", "out.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console, platformText(echo("/proc/self/mem", "/*", "*/", "ANCHOR", "out.txt") +
                                        "Invalid filename or could not read from disk."));
}
#endif

TEST_F(EndToEnd, UnopenableOutputGivesStatus2) {
    writeFile(dir / "in.txt", "/*\nANCHOR\n*/\n");
    fs::create_directory(dir / "folder");
    for (const std::string output : {"no-such-folder/out.txt", "folder"}) {
        SCOPED_TRACE(output);
        const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", output});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.console, platformText(echo("in.txt", "/*", "*/", "ANCHOR", output) +
                                            "Couldn't open file for writing"));
    }
}

// Shows that the input is never emptied by naming it as the output too.
TEST_F(EndToEnd, SameFileForInputAndOutputLosesNothing) {
    const std::string input = "/*\nANCHOR\n*/\n";
    writeFile(dir / "in.txt", input);
    std::error_code linkError;
    fs::create_hard_link(dir / "in.txt", dir / "hardlink.txt", linkError);
    ASSERT_FALSE(linkError) << linkError.message();
    // Creating a symbolic link may need rights a Windows user lacks.
    fs::create_symlink("in.txt", dir / "symlink.txt", linkError);
    for (const std::string output : {"in.txt", "./in.txt", "symlink.txt", "hardlink.txt"}) {
        SCOPED_TRACE(output);
        if (output == "symlink.txt" && linkError)
            continue;
        const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", output});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.console, platformText(echo("in.txt", "/*", "*/", "ANCHOR", output) +
                                            "Input and output must be different files\n"));
        EXPECT_EQ(readFile(dir / "in.txt"), input);
    }
}

#ifndef _WIN32
// /dev/full is Linux's.
// Shows that a full disk is not reported as success.
TEST_F(EndToEnd, WriteErrorGivesStatus6) {
    writeFile(dir / "in.txt", "/*\nANCHOR\n*/\n");
    const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", "/dev/full"});
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.console,
              platformText(echo("in.txt", "/*", "*/", "ANCHOR", "/dev/full") +
                           "Found expiry marker.\nReplacing date\nFound expiry marker.\n"
                           "Couldn't write output file\n"));
}
#endif

TEST_F(EndToEnd, TakesArgumentsByteForByte) {
    const struct {
        const char *name;
        std::string opening, closing, anchor, input, outputTemplate, progress;
    } cases[] = {
        {"blanks", "# begin trial", "# end trial", "expires at",
         "# begin trial\nx = expires at\n# end trial\n", "x = @STAMP@\n\n",
         "Found expiry marker.\nReplacing date\nFound expiry marker.\n"},
        {"quotes", "\"\"\"", "'''", "\"DATE\"", "\"\"\"\nv = \"DATE\"\n'''", "v = @STAMP@\n",
         "Found expiry marker.\nReplacing date\nFound expiry marker.\n"},
        {"non-ASCII bytes", "\u00ab", "\u00bb", "\u00c9CH\xff\xfe",
         "\u00ab\nt=\u00c9CH\xff\xfe\n\u00bb", "t=@STAMP@\n",
         "Found expiry marker.\nReplacing date\nFound expiry marker.\n"},
        // Empty markers stand on every line, which makes each line a pair.
        {"empty markers and anchor", "", "", "", "a\nb", "@STAMP@a\n@STAMP@b\n",
         "date = 0\nReplacing date\ndate = 0\nReplacing date\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / "in.txt", c.input);
        const auto before = std::time(nullptr);
        const auto run = corvane({"in.txt", c.opening, c.closing, c.anchor, "out file.txt"});
        const auto after = std::time(nullptr);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.console,
                  platformText(echo("in.txt", c.opening, c.closing, c.anchor, "out file.txt") +
                               c.progress));
        EXPECT_TRUE(
            stampedBetween(readFile(dir / "out file.txt"), c.outputTemplate, before, after));
    }
}

TEST_F(EndToEnd, HugeLineIsStampedAndKeptWhole) {
    const std::string half(50u << 20, 'x');
    writeFile(dir / "in.txt", "/*\n" + half + "ANCHOR" + half + "\n*/");
    const auto before = std::time(nullptr);
    const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", "out.txt"});
    const auto after = std::time(nullptr);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console,
              platformText(standardEcho +
                           "Found expiry marker.\nReplacing date\nFound expiry marker.\n"));
    EXPECT_TRUE(
        stampedBetween(readFile(dir / "out.txt"), half + "@STAMP@" + half + "\n", before, after));
}

#ifndef _WIN32
// libfaketime sets the clock of Linux processes only.
// The clock is set through the C library with libfaketime, as a build
// machine's clock could stand at these moments.
TEST_F(EndToEnd, ClockPast2038AndAnyTimeZone) {
    if (std::string(FAKETIME_LIBRARY).empty())
        GTEST_SKIP() << "libfaketime is not installed (Debian package faketime)";
    writeFile(dir / "in.txt", "/*\nANCHOR\n*/");
    const struct {
        std::time_t seconds;
        const char *timeZone;
    } cases[] = {
        {2147483648, "UTC"}, // 2038-01-19 03:14:08 UTC
        {2147483648, "America/New_York"},
        {2147483648, "Asia/Kolkata"},
        {4102444800, "Pacific/Chatham"}, // 2100-01-01 00:00:00 UTC
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.seconds) + " " + c.timeZone);
        const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", "out.txt"},
                                 {{"LD_PRELOAD", FAKETIME_LIBRARY},
                                  {"FAKETIME_FMT", "%s"},
                                  {"FAKETIME", "@" + std::to_string(c.seconds)},
                                  {"TZ", c.timeZone},
                                  {"ASAN_OPTIONS", "verify_asan_link_order=0"}});
        EXPECT_EQ(run.status, 0);
        // The faked clock runs on from its start, so allow a few seconds.
        EXPECT_TRUE(
            stampedBetween(readFile(dir / "out.txt"), "@STAMP@\n", c.seconds, c.seconds + 5));
    }
}
#endif

} // namespace
