// Runs the built tool as a build would, in a temporary folder of its own,
// and gives back its exit status and console bytes. Shared by the
// end-to-end test files.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace corvane_test {

namespace fs = std::filesystem;

extern const std::string usage;

// Text as the tool writes it: on Windows every line end it writes, to the
// console and to the output, is a carriage return and a line feed.
std::string platformText(const std::string &text);

std::string readFile(const fs::path &path);
void writeFile(const fs::path &path, const std::string &bytes);

std::string echo(const std::string &in, const std::string &opening, const std::string &closing,
                 const std::string &anchor, const std::string &out);

// Whether the output is the template, as given, with "@STAMP@" replaced by
// the stamp of a clock reading between the two given ones.
bool matchesStamped(const std::string &output, const std::string &outputTemplate,
                    std::time_t before, std::time_t after);
// The same for a template written with the platform's line ends.
bool stampedBetween(const std::string &output, const std::string &outputTemplate,
                    std::time_t before, std::time_t after);

// Where the tool's standard output goes. Standard error always goes to the
// console file, so a test that checks the console bytes also shows that
// nothing was written there.
enum class Console {
    file,
    closedPipe, // a pipe nobody reads any more
    full,       // /dev/full: every write fails (POSIX only)
    closed,     // standard input and output closed (POSIX only)
};

struct ProcessSetup {
    using Environment = std::vector<std::pair<std::string, std::string>>;
    Environment environment;
    Console console = Console::file;
    // POSIX resource limits (RLIMIT_...) set for the tool alone.
    std::vector<std::pair<int, unsigned long long>> limits;
    // Ends a tool that hangs, so that a fault fails the test instead of
    // stopping the suite (POSIX only).
    unsigned timeoutSeconds = 0;

    ProcessSetup withEnvironment(Environment variables) const {
        auto setup = *this;
        setup.environment = std::move(variables);
        return setup;
    }
    ProcessSetup withConsole(Console kind) const {
        auto setup = *this;
        setup.console = kind;
        return setup;
    }
    ProcessSetup withLimit(int resource, unsigned long long value) const {
        auto setup = *this;
        setup.limits.emplace_back(resource, value);
        return setup;
    }
    ProcessSetup withTimeout(unsigned seconds) const {
        auto setup = *this;
        setup.timeoutSeconds = seconds;
        return setup;
    }
};

struct ToolRun {
    // The exit status, or 128 plus the number of the signal that ended it.
    int status;
    std::string console;
};

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the given tool in the test folder with exactly these arguments
    // (UTF-8 on Windows). CORVANE_TEST_WRAPPER, when set, names a command
    // (with blank-separated options) that runs the tool, such as a memory
    // checker.
    ToolRun runTool(const std::string &tool, const std::vector<std::string> &arguments,
                    const ProcessSetup &setup = {});
    ToolRun corvane(const std::vector<std::string> &arguments, const ProcessSetup &setup = {}) {
        return runTool(CORVANE_EXE, arguments, setup);
    }

    // Runs "in.txt /* */ ANCHOR out.txt" on the given input.
    ToolRun rewrite(const std::string &input, const ProcessSetup &setup = {}) {
        writeFile(dir / "in.txt", input);
        return corvane({"in.txt", "/*", "*/", "ANCHOR", "out.txt"}, setup);
    }

    fs::path dir;
    const std::string standardEcho = echo("in.txt", "/*", "*/", "ANCHOR", "out.txt");
};

} // namespace corvane_test
