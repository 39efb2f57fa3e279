// Runs the built tool with its standard output in a file, the way a build
// would: fork and exec on POSIX, _wspawnv on Windows.
#include "tool_run.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace corvane_test {

const std::string usage = "The program must be called *exactly* as follows:\n"
                          "Corvane.exe inputfile openingCommentMarker closingCommentMarker "
                          "dateAnchor outfilename\n"
                          "Example: Corvane examples/trial.js \"/*\" \"*/\" EXPIRY_DATE trial.js\n"
                          "Read Corvane for details.\n";

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

bool stampedBetween(const std::string &output, const std::string &outputTemplate,
                    std::time_t before, std::time_t after) {
    return matchesStamped(output, platformText(outputTemplate), before, after);
}

namespace {

#ifdef _WIN32
// Decodes UTF-8 to UTF-16 by hand, so that a test can also spell a lone
// surrogate, which no conversion of Windows' own lets through.
std::wstring widen(const std::string &text) {
    std::wstring wide;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (code >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(code);
        }
        i += length;
    }
    return wide;
}

// Quotes an argument so that the command-line parser gives it back
// unchanged: spaces, quotes, backslashes and the empty string included.
std::wstring quoteArgument(const std::wstring &argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L'"';
}

// The test process's own folder, output and environment are lent for the
// run and given back.
int runProcess(const std::vector<std::string> &command, const ProcessSetup &setup,
               const fs::path &consolePath) {
    std::vector<std::wstring> quoted;
    for (const auto &word : command)
        quoted.push_back(quoteArgument(widen(word)));
    std::vector<const wchar_t *> argv;
    for (const auto &word : quoted)
        argv.push_back(word.c_str());
    argv.push_back(nullptr);

    for (const auto &[name, value] : setup.environment)
        _putenv_s(name.c_str(), value.c_str());
    std::fflush(stdout);
    const int savedStdout = _dup(1);
    // Text mode, as a console or a build's log file is: the tool must not
    // inherit a binary standard output that hides its line ends.
    int consoleFd = -1;
    if (setup.console == Console::closedPipe) {
        int ends[2];
        if (_pipe(ends, 4096, _O_TEXT) == 0) {
            _close(ends[0]);
            consoleFd = ends[1];
        }
        // The console file stays empty, as it does on POSIX.
        _close(_wopen(consolePath.wstring().c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC,
                      _S_IREAD | _S_IWRITE));
    } else {
        consoleFd = _wopen(consolePath.wstring().c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT,
                           _S_IREAD | _S_IWRITE);
    }
    _dup2(consoleFd, 1);
    _close(consoleFd);
    const fs::path testFolder = fs::current_path();
    fs::current_path(consolePath.parent_path());
    const auto status = _wspawnv(_P_WAIT, widen(command[0]).c_str(), argv.data());
    fs::current_path(testFolder);
    _dup2(savedStdout, 1);
    _close(savedStdout);
    for (const auto &[name, value] : setup.environment)
        _putenv_s(name.c_str(), "");
    return static_cast<int>(status);
}
#else
int runProcess(const std::vector<std::string> &command, const ProcessSetup &setup,
               const fs::path &consolePath) {
    std::vector<char *> argv;
    for (const auto &word : command)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int consoleFd = open(consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (consoleFd < 0 || dup2(consoleFd, STDERR_FILENO) < 0 ||
            chdir(consolePath.parent_path().c_str()) != 0)
            _exit(127);
        int standardOutput = consoleFd;
        if (setup.console == Console::full) {
            standardOutput = open("/dev/full", O_WRONLY);
        } else if (setup.console == Console::closedPipe) {
            int ends[2];
            if (pipe(ends) != 0)
                _exit(127);
            close(ends[0]);
            standardOutput = ends[1];
        }
        if (setup.console == Console::closed) {
            close(STDIN_FILENO);
            close(STDOUT_FILENO);
        } else if (dup2(standardOutput, STDOUT_FILENO) < 0) {
            _exit(127);
        }
        close(consoleFd);
        if (standardOutput != consoleFd)
            close(standardOutput);
        for (const auto &[name, value] : setup.environment)
            setenv(name.c_str(), value.c_str(), 1);
        for (const auto &[resource, value] : setup.limits) {
            const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
            if (setrlimit(resource, &limit) != 0)
                _exit(127);
        }
        // The tool must look after these itself, whatever it inherits.
        std::signal(SIGPIPE, SIG_DFL);
        std::signal(SIGXFSZ, SIG_DFL);
        alarm(setup.timeoutSeconds);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int waitStatus = 0;
    waitpid(child, &waitStatus, 0);
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}
#endif

} // namespace

void EndToEnd::SetUp() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
        const auto candidate =
            fs::temp_directory_path() / ("corvane-e2e-" + std::to_string(random()));
        if (fs::create_directory(candidate))
            dir = candidate;
    }
    ASSERT_FALSE(dir.empty());
}

void EndToEnd::TearDown() {
    fs::remove_all(dir);
}

ToolRun EndToEnd::runTool(const std::string &tool, const std::vector<std::string> &arguments,
                          const ProcessSetup &setup) {
    std::vector<std::string> command;
    if (const char *wrapper = std::getenv("CORVANE_TEST_WRAPPER")) {
        std::istringstream words(wrapper);
        for (std::string word; words >> word;)
            command.push_back(word);
    }
    command.push_back(tool);
    command.insert(command.end(), arguments.begin(), arguments.end());
    const fs::path consolePath = dir / ".console";
    ToolRun result{runProcess(command, setup, consolePath), readFile(consolePath)};
    fs::remove(consolePath);
    return result;
}

} // namespace corvane_test
