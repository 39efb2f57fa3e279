// Corvane's entry: reads the five arguments, owns the two files, runs the
// block rewriter over them and turns what it found into the closing message
// and the exit status. Everything is reported on standard output.
#include "block_rewriter.hpp"
#include "date_stamp.hpp"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The exit statuses are a contract with the calling build.
enum ExitStatus : int {
    success = 0,
    inputUnreadable = 1,
    outputUnopenable = 2,
    anchorNotFound = 3,
    markersNotFound = 4,
    wrongArgumentCount = 5,
    outputWriteFailed = 6,
};

constexpr int expectedArgumentCount = 5;

namespace text {
constexpr std::string_view usage[] = {
    "The program must be called *exactly* as follows:",
    "Corvane.exe inputfile openingCommentMarker closingCommentMarker dateAnchor outfilename",
    "Example: Corvane examples/trial.js \"/*\" \"*/\" EXPIRY_DATE trial.js",
    "Read Corvane for details.",
};
// These two stand without a line end after them.
constexpr std::string_view inputUnreadable = "Invalid filename or could not read from disk.";
constexpr std::string_view outputUnopenable = "Couldn't open file for writing";

constexpr std::string_view sameFile = "Input and output must be different files";
constexpr std::string_view outputWriteFailed = "Couldn't write output file";
constexpr std::string_view markersNotFound = "Comment markers not found.";
constexpr std::string_view anchorNotFound = "No matching date anchor was found.";
} // namespace text

void sayLine(std::ostream &console, std::string_view line) {
    console << line << '\n' << std::flush;
}

void sayWithoutLineEnd(std::ostream &console, std::string_view message) {
    console << message << std::flush;
}

void printUsage(std::ostream &console) {
    for (const auto line : text::usage)
        sayLine(console, line);
}

bool isHelpRequest(std::string_view argument) {
    return argument == "-?" || argument == "-h";
}

// Compares the files themselves, so that "./x", a symbolic link or a hard
// link to the input count as the input too. An output that does not exist
// yet cannot be the input.
bool nameSameFile(const std::string &inputPath, const std::string &outputPath) {
    std::error_code error;
    return std::filesystem::equivalent(inputPath, outputPath, error);
}

int run(int argc, char *argv[], std::ostream &console) {
    if (argc >= 2 && isHelpRequest(argv[1])) {
        printUsage(console);
        return success;
    }
    const int argumentCount = argc > 0 ? argc - 1 : 0;
    if (argumentCount < expectedArgumentCount) {
        sayLine(console, "Expected 5 arguments, got " + std::to_string(argumentCount) + ".");
        printUsage(console);
        return wrongArgumentCount;
    }

    const std::string inputfile = argv[1];
    const std::string openingCommentMarker = argv[2];
    const std::string closingCommentMarker = argv[3];
    const std::string dateAnchor = argv[4];
    const std::string outfilename = argv[5];

    sayLine(console, "Input filename: " + inputfile);
    sayLine(console, "Comment markers: " + openingCommentMarker + " and " + closingCommentMarker);
    sayLine(console, "Date Anchor: " + dateAnchor);
    sayLine(console, "Output filename: " + outfilename);

    const std::string dateStamp = corvane::makeDateStamp();

    // A larger read buffer than the library's default saves system calls on
    // large inputs; it must outlive the stream.
    std::vector<char> inputBuffer(64 * 1024);
    std::ifstream input;
    input.rdbuf()->pubsetbuf(inputBuffer.data(), static_cast<std::streamsize>(inputBuffer.size()));
    input.open(inputfile);
    std::error_code notADirectory;
    if (!input || std::filesystem::is_directory(inputfile, notADirectory)) {
        sayWithoutLineEnd(console, text::inputUnreadable);
        return inputUnreadable;
    }
    // Opening the output empties it, so it must not be the input.
    if (nameSameFile(inputfile, outfilename)) {
        sayLine(console, text::sameFile);
        return outputUnopenable;
    }
    std::ofstream output(outfilename);
    if (!output) {
        sayWithoutLineEnd(console, text::outputUnopenable);
        return outputUnopenable;
    }

    const auto result = corvane::rewriteMarkedBlock(
        input, output, openingCommentMarker, closingCommentMarker, dateAnchor, dateStamp, console);
    input.close();
    output.close();

    // A read error ends the input early: the output is then incomplete.
    if (input.bad()) {
        sayWithoutLineEnd(console, text::inputUnreadable);
        return inputUnreadable;
    }
    if (output.fail()) {
        sayLine(console, text::outputWriteFailed);
        return outputWriteFailed;
    }
    if (result.markerCount < 2) {
        sayLine(console, text::markersNotFound);
        return markersNotFound;
    }
    if (!result.anchorReplaced) {
        sayLine(console, text::anchorNotFound);
        return anchorNotFound;
    }
    return success;
}

} // namespace

int main(int argc, char *argv[]) {
    return run(argc, argv, std::cout);
}
