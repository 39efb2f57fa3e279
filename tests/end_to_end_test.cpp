// Runs the built tool in a temporary folder and checks its exit status,
// console bytes and file bytes together, one run per outcome.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string usage = "The program must be called *exactly* as follows:\n"
                          "Corvane.exe inputfile openingCommentMarker closingCommentMarker "
                          "dateAnchor outfilename\n"
                          "Example: Corvane examples/trial.js \"/*\" \"*/\" EXPIRY_DATE trial.js\n"
                          "Read Corvane for details.\n";

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

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "corvane-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the tool in the test folder with exactly these arguments.
    ToolRun corvane(const std::vector<std::string> &arguments) {
        const fs::path consolePath = dir / ".console";
        const pid_t child = fork();
        if (child == 0) {
            const int consoleFd = open(consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (consoleFd < 0 || dup2(consoleFd, STDOUT_FILENO) < 0 || chdir(dir.c_str()) != 0)
                _exit(127);
            std::vector<char *> argv{const_cast<char *>(CORVANE_EXE)};
            for (const auto &argument : arguments)
                argv.push_back(const_cast<char *>(argument.c_str()));
            argv.push_back(nullptr);
            execv(CORVANE_EXE, argv.data());
            _exit(127);
        }
        int waitStatus = 0;
        waitpid(child, &waitStatus, 0);
        ToolRun run{WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1, readFile(consolePath)};
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
        EXPECT_EQ(run.console, usage);
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
        EXPECT_EQ(run.console, std::string("Expected 5 arguments, got ") + c.count + ".\n" + usage);
    }
}

TEST_F(EndToEnd, StampsTheShippedExample) {
    fs::copy_file(fs::path(CORVANE_EXAMPLES_DIR) / "trial.js", dir / "trial.js");
    const auto before = std::time(nullptr);
    // Arguments after the fifth are ignored.
    const auto run = corvane({"trial.js", "/*", "*/", "EXPIRY_DATE", "out.js", "extra"});
    const auto after = std::time(nullptr);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, echo("trial.js", "/*", "*/", "EXPIRY_DATE", "out.js") +
                               "Found expiry marker.\nReplacing date\nFound expiry marker.\n");
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
    EXPECT_EQ(output, expected + "\n");
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
        EXPECT_EQ(run.console, standardEcho + c.console);
        EXPECT_EQ(readFile(dir / "out.txt"), c.output);
    }
}

TEST_F(EndToEnd, UnreadableInputGivesStatus1AndNoOutput) {
    fs::create_directory(dir / "folder");
    for (const std::string input : {"missing.txt", "folder"}) {
        SCOPED_TRACE(input);
        const auto run = corvane({input, "/*", "*/", "ANCHOR", "out.txt"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.console, echo(input, "/*", "*/", "ANCHOR", "out.txt") +
                                   "Invalid filename or could not read from disk.");
        EXPECT_FALSE(fs::exists(dir / "out.txt"));
    }
}

// Shows that a read error is not reported as success: reading this file
// fails with an I/O error at its first byte.
TEST_F(EndToEnd, ReadErrorGivesStatus1) {
    const auto run = corvane({"/proc/self/mem", "/*", "*/", "ANCHOR", "out.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console, echo("/proc/self/mem", "/*", "*/", "ANCHOR", "out.txt") +
                               "Invalid filename or could not read from disk.");
}

TEST_F(EndToEnd, UnopenableOutputGivesStatus2) {
    writeFile(dir / "in.txt", "/*\nANCHOR\n*/\n");
    fs::create_directory(dir / "folder");
    for (const std::string output : {"no-such-folder/out.txt", "folder"}) {
        SCOPED_TRACE(output);
        const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", output});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.console, echo("in.txt", "/*", "*/", "ANCHOR", output) +
                                   "Couldn't open file for writing");
    }
}

// Shows that the input is never emptied by naming it as the output too.
TEST_F(EndToEnd, SameFileForInputAndOutputLosesNothing) {
    const std::string input = "/*\nANCHOR\n*/\n";
    writeFile(dir / "in.txt", input);
    fs::create_symlink("in.txt", dir / "symlink.txt");
    fs::create_hard_link(dir / "in.txt", dir / "hardlink.txt");
    for (const std::string output : {"in.txt", "./in.txt", "symlink.txt", "hardlink.txt"}) {
        SCOPED_TRACE(output);
        const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", output});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.console, echo("in.txt", "/*", "*/", "ANCHOR", output) +
                                   "Input and output must be different files\n");
        EXPECT_EQ(readFile(dir / "in.txt"), input);
    }
}

// Shows that a full disk is not reported as success.
TEST_F(EndToEnd, WriteErrorGivesStatus6) {
    writeFile(dir / "in.txt", "/*\nANCHOR\n*/\n");
    const auto run = corvane({"in.txt", "/*", "*/", "ANCHOR", "/dev/full"});
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.console, echo("in.txt", "/*", "*/", "ANCHOR", "/dev/full") +
                               "Found expiry marker.\nReplacing date\nFound expiry marker.\n"
                               "Couldn't write output file\n");
}

} // namespace
