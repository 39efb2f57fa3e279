// Runs the built tool in a temporary folder and checks its exit status,
// console bytes and file bytes together, one run per outcome.
#include "tool_run.hpp"

#include <ctime>
#include <regex>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace corvane_test;

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

TEST_F(EndToEnd, VersionAloneGivesTheVersionLine) {
    const auto run = corvane({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, platformText("Corvane " CORVANE_VERSION "\n"));
}

TEST_F(EndToEnd, FewerThanFiveArgumentsGiveStatus5) {
    const struct {
        std::vector<std::string> arguments;
        const char *count;
    } cases[] = {{{}, "0"},
                 {{"-H"}, "1"},
                 {{"--help"}, "1"},
                 // Only the whole argument asks for help.
                 {{"-hx"}, "1"},
                 {{"--version", "in.txt"}, "2"},
                 {{"in.txt", "/*", "*/", "ANCHOR"}, "4"}};
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
        std::string outputTemplate;
    } cases[] = {
        {"block without the anchor", "a\n/*\nb\n*/\n", 3,
         "Found expiry marker.\nFound expiry marker.\nNo matching date anchor was found.\n",
         "a\nb\n\n"},
        {"no marker", "a\nANCHOR", 4, "Comment markers not found.\n", "a\nANCHOR\n"},
        // Markers missing win over the anchor missing.
        {"one fence only, anchor stamped", "/*\nANCHOR", 4,
         "Found expiry marker.\nReplacing date\nComment markers not found.\n", "@STAMP@\n"},
        // More fences than one block has still found the block.
        {"a third fence warns but the block was stamped", "/*\nANCHOR\n*/\n/*", 0,
         "Found expiry marker.\nReplacing date\nFound expiry marker.\nFound expiry marker.\n"
         " ****** WARNING ****** \nToo many comment markers found\n",
         "@STAMP@\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = std::time(nullptr);
        const auto run = rewrite(c.input);
        const auto after = std::time(nullptr);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.console, platformText(standardEcho + c.console));
        const std::string output = readFile(dir / "out.txt");
        EXPECT_TRUE(stampedBetween(output, c.outputTemplate, before, after)) << output;
    }
}

// Shows that only a folder is refused as input: a device reads as a file.
TEST_F(EndToEnd, DeviceInputIsReadLikeAnEmptyFile) {
#ifdef _WIN32
    const std::string device = "NUL";
#else
    const std::string device = "/dev/null";
#endif
    const auto run = corvane({device, "/*", "*/", "ANCHOR", "out.txt"});
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.console, platformText(echo(device, "/*", "*/", "ANCHOR", "out.txt") +
                                        "Comment markers not found.\n"));
    EXPECT_EQ(readFile(dir / "out.txt"), platformText("\n"));
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
// Shows that a read error is not reported as success, and that the output
// it cut short is removed: reading this file fails with an I/O error at its
// first byte.
TEST_F(EndToEnd, ReadErrorGivesStatus1AndRemovesTheOutput) {
    const auto run = corvane({"/proc/self/mem", "/*", "*/", "ANCHOR", "out.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console, platformText(echo("/proc/self/mem", "/*", "*/", "ANCHOR", "out.txt") +
                                        "Invalid filename or could not read from disk."));
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
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

#ifndef _WIN32
// /dev/full is Linux's.
// Shows that a full disk is not reported as success, whatever else the run
// found, and that a device is never removed.
TEST_F(EndToEnd, WriteErrorGivesStatus6) {
    const struct {
        const char *name;
        std::string input;
        std::string progress;
    } cases[] = {
        {"block and anchor", "/*\nANCHOR\n*/\n",
         "Found expiry marker.\nReplacing date\nFound expiry marker.\n"},
        {"no marker", "a\n", ""},
        {"no anchor", "/*\n*/\n", "Found expiry marker.\nFound expiry marker.\n"},
        // A long last line without a line feed is written in one piece of its
        // own: its failure must count too.
        {"long last line", "/*\nANCHOR\n*/\n" + std::string(1023, 'x'),
         "Found expiry marker.\nReplacing date\nFound expiry marker.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / "in.txt", c.input);
        const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", "/dev/full"});
        EXPECT_EQ(run.status, 6);
        EXPECT_EQ(run.console, echo("in.txt", "/*", "*/", "ANCHOR", "/dev/full") + c.progress +
                                   "Couldn't write output file\n");
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
    }
}
#endif

TEST_F(EndToEnd, TakesArgumentsByteForByte) {
#ifdef _WIN32
    // Windows passes arguments as UTF-16, which reaches the tool as UTF-8:
    // bytes that are not UTF-8 cannot be given.
    const std::string notUtf8;
#else
    const std::string notUtf8 = "\xff\xfe";
#endif
    const struct {
        const char *name;
        std::string opening, closing, anchor, input, outputTemplate, progress;
    } cases[] = {
        {"blanks", "# begin trial", "# end trial", "expires at",
         "# begin trial\nx = expires at\n# end trial\n", "x = @STAMP@\n\n",
         "Found expiry marker.\nReplacing date\nFound expiry marker.\n"},
        {"quotes", "\"\"\"", "'''", "\"DATE\"", "\"\"\"\nv = \"DATE\"\n'''", "v = @STAMP@\n",
         "Found expiry marker.\nReplacing date\nFound expiry marker.\n"},
        {"non-ASCII bytes", "\u00ab", "\u00bb", "\u00c9CH" + notUtf8,
         "\u00ab\nt=\u00c9CH" + notUtf8 + "\n\u00bb", "t=@STAMP@\n",
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
#ifdef CORVANE_TEST_STATIC_TOOL
    GTEST_SKIP() << "libfaketime needs a dynamically linked tool";
#endif
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
        const auto run =
            corvane({"in.txt", "/*", "*/", "ANCHOR", "out.txt"},
                    ProcessSetup().withEnvironment(
                        {{"LD_PRELOAD", FAKETIME_LIBRARY},
                         {"FAKETIME_FMT", "%s"},
                         {"FAKETIME", std::string("@").append(std::to_string(c.seconds))},
                         {"TZ", c.timeZone},
                         {"ASAN_OPTIONS", "verify_asan_link_order=0"}}));
        EXPECT_EQ(run.status, 0);
        // The faked clock runs on from its start, so allow a few seconds.
        EXPECT_TRUE(
            stampedBetween(readFile(dir / "out.txt"), "@STAMP@\n", c.seconds, c.seconds + 5));
    }
}
#endif

#ifdef _WIN32
// Resources exist in Windows executables only.
// Shows that Corvane.exe carries the version that Explorer and installers
// show, and the manifest that makes its code page UTF-8.
TEST(WindowsResources, VersionAndUtf8Manifest) {
    const std::wstring exe = fs::path(CORVANE_EXE).wstring();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
    const auto versionString = [&](const std::wstring &name) {
        void *value = nullptr;
        UINT length = 0;
        const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
        if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0)
            return std::wstring();
        return std::wstring(static_cast<const wchar_t *>(value));
    };
    const std::string version = CORVANE_VERSION;
    const std::wstring wideVersion(version.begin(), version.end());
    EXPECT_EQ(versionString(L"ProductVersion"), wideVersion);
    EXPECT_EQ(versionString(L"FileVersion"), wideVersion);
    EXPECT_EQ(versionString(L"ProductName"), L"Corvane");
    EXPECT_NE(versionString(L"FileDescription"), L"");

    const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    const std::string text(static_cast<const char *>(LockResource(LoadResource(module, manifest))),
                           SizeofResource(module, manifest));
    FreeLibrary(module);
    EXPECT_NE(text.find(">UTF-8</activeCodePage>"), std::string::npos) << text;
}
#endif

} // namespace
