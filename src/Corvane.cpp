// Corvane's entry: reads the five arguments, owns the two files, runs the
// block rewriter over them and turns what it found into the closing message
// and the exit status. Everything is reported on standard output.
#include "block_rewriter.hpp"
#include "date_stamp.hpp"
#include "file_stream.hpp"
#include "platform.hpp"

#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace platform = corvane::platform;

// The exit statuses are a contract with the calling build.
enum ExitStatus : int {
    success = 0,
    inputUnreadable = 1,
    outputUnopenable = 2,
    anchorNotFound = 3,
    markersNotFound = 4,
    wrongArgumentCount = 5,
    outputWriteFailed = 6,
    lineTooLong = 7,
};

constexpr std::size_t expectedArgumentCount = 5;

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
constexpr std::string_view lineTooLong = "Input line too long to fit in memory";
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

// Only "--version" alone asks for the version: with more arguments it is a
// file name like any other.
bool isVersionRequest(const std::vector<std::string> &arguments) {
    return arguments.size() == 1 && arguments[0] == "--version";
}

// The run's rewriting step: the rewriter over the two open files. Its
// failures are kept apart, since they decide the status and whether the
// output may stay.
struct RewriteOutcome {
    corvane::RewriteResult result;
    bool lineTooLong = false;
    bool readFailed = false;
    bool writeFailed = false;
};

RewriteOutcome rewriteFiles(platform::File &inputFile, platform::File &outputFile,
                            const std::string &openingCommentMarker,
                            const std::string &closingCommentMarker, const std::string &dateAnchor,
                            const std::string &dateStamp, std::ostream &console) {
    corvane::FileReadBuffer inputBuffer(inputFile);
    corvane::FileWriteBuffer outputBuffer(outputFile);
    std::istream input(&inputBuffer);
    std::ostream output(&outputBuffer);
    // Reading reports its errors through the buffer, so the only exception
    // left is a line that does not fit in memory: let it reach us.
    input.exceptions(std::ios::badbit);
    RewriteOutcome outcome;
    try {
        outcome.result =
            corvane::rewriteMarkedBlock(input, output, openingCommentMarker, closingCommentMarker,
                                        dateAnchor, dateStamp, console);
    } catch (const std::bad_alloc &) {
        outcome.lineTooLong = true;
    }
    outcome.readFailed = inputBuffer.readFailed();
    outcome.writeFailed = output.fail() || outputBuffer.writeFailed();
    return outcome;
}

int run(const std::vector<std::string> &arguments, std::ostream &console) {
    if (!arguments.empty() && isHelpRequest(arguments[0])) {
        printUsage(console);
        return success;
    }
    if (isVersionRequest(arguments)) {
        sayLine(console, "Corvane " CORVANE_VERSION);
        return success;
    }
    if (arguments.size() < expectedArgumentCount) {
        sayLine(console, "Expected 5 arguments, got " + std::to_string(arguments.size()) + ".");
        printUsage(console);
        return wrongArgumentCount;
    }

    const std::string &inputfile = arguments[0];
    const std::string &openingCommentMarker = arguments[1];
    const std::string &closingCommentMarker = arguments[2];
    const std::string &dateAnchor = arguments[3];
    const std::string &outfilename = arguments[4];

    sayLine(console, "Input filename: " + inputfile);
    sayLine(console, "Comment markers: " + openingCommentMarker + " and " + closingCommentMarker);
    sayLine(console, "Date Anchor: " + dateAnchor);
    sayLine(console, "Output filename: " + outfilename);

    const std::string dateStamp = corvane::makeDateStamp();

    auto inputFile = platform::File::openForReading(inputfile);
    if (!inputFile.isOpen() || inputFile.kind() == platform::FileKind::directory) {
        sayWithoutLineEnd(console, text::inputUnreadable);
        return inputUnreadable;
    }
    // The output is emptied only once it is known not to be the input, told
    // by the files themselves: another path, a link, another drive letter or
    // one pipe under two names all count as the input.
    auto outputFile = platform::File::openForWriting(outfilename);
    if (!outputFile.isOpen()) {
        sayWithoutLineEnd(console, text::outputUnopenable);
        return outputUnopenable;
    }
    const auto outputIdentity = outputFile.identity();
    if (outputIdentity && outputIdentity == inputFile.identity()) {
        sayLine(console, text::sameFile);
        return outputUnopenable;
    }
    if (!outputFile.truncate()) {
        sayWithoutLineEnd(console, text::outputUnopenable);
        return outputUnopenable;
    }

    const auto outcome = rewriteFiles(inputFile, outputFile, openingCommentMarker,
                                      closingCommentMarker, dateAnchor, dateStamp, console);
    inputFile.close();
    const bool outputClosed = outputFile.close();

    // A run cut short leaves an incomplete output, which must not look like
    // a finished one to the build.
    if (outcome.lineTooLong || outcome.readFailed || outcome.writeFailed || !outputClosed) {
        if (outputIdentity)
            platform::removeIfRegularFile(outfilename, *outputIdentity);
        if (outcome.lineTooLong) {
            sayLine(console, text::lineTooLong);
            return lineTooLong;
        }
        if (outcome.readFailed) {
            sayWithoutLineEnd(console, text::inputUnreadable);
            return inputUnreadable;
        }
        sayLine(console, text::outputWriteFailed);
        return outputWriteFailed;
    }
    if (outcome.result.markerCount < 2) {
        sayLine(console, text::markersNotFound);
        return markersNotFound;
    }
    if (!outcome.result.anchorReplaced) {
        sayLine(console, text::anchorNotFound);
        return anchorNotFound;
    }
    return success;
}

} // namespace

int main(int argc, char *argv[]) {
    platform::prepareProcess();
    return run(platform::commandLineArguments(argc, argv), std::cout);
}
