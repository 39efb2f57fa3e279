// Rewrites the fenced block one line at a time. Only the current line is
// held, and every output line is flushed at once, so the output file holds
// everything processed so far at any moment.
#include "block_rewriter.hpp"

#include <istream>
#include <ostream>
#include <string_view>

namespace corvane {
namespace {

constexpr auto notFound = std::string::npos;

bool spansOverlap(std::size_t a, std::size_t aLength, std::size_t b, std::size_t bLength) {
    return a < b + bLength && b < a + aLength;
}

struct Rewrite {
    std::ostream &output;
    const std::string &openingMarker;
    const std::string &closingMarker;
    const std::string &anchor;
    const std::string &stamp;
    std::ostream &console;
    RewriteResult result{};

    void say(std::string_view text) { console << text << '\n' << std::flush; }

    // The line and its line end go out in one piece, straight to the stream
    // buffer, and are flushed at once: everything processed so far is in the
    // output at any moment. A failure marks the stream as a failed write
    // would, and processing goes on.
    void writeLine(std::string &line) {
        line.push_back('\n');
        const auto size = static_cast<std::streamsize>(line.size());
        auto *sink = output.rdbuf();
        if (sink == nullptr || sink->sputn(line.data(), size) != size || sink->pubsync() == -1)
            output.setstate(std::ios::badbit);
        line.pop_back();
    }

    void stampAt(std::string &line, std::size_t anchorAt) {
        say(console_text::replacingDate);
        line.replace(anchorAt, anchor.size(), stamp);
        result.anchorReplaced = true;
    }

    void processLine(std::string &line) {
        if (result.markerCount == 1) {
            if (const auto anchorAt = line.find(anchor); anchorAt != notFound)
                stampAt(line, anchorAt);
        }

        const auto openingAt = line.find(openingMarker);
        auto closingAt = line.find(closingMarker);
        if (openingAt == notFound && closingAt == notFound) {
            writeLine(line);
            return;
        }
        // A closing marker that shares bytes with the opening one (the same
        // string, or one inside the other) cannot close it; a later one can.
        if (openingAt != notFound && closingAt != notFound &&
            spansOverlap(openingAt, openingMarker.size(), closingAt, closingMarker.size()))
            closingAt = line.find(closingMarker, openingAt + openingMarker.size());

        if (openingAt != notFound && closingAt != notFound)
            processPairLine(line, openingAt, closingAt);
        else
            processFenceLine();
    }

    void processPairLine(std::string &line, std::size_t openingAt, std::size_t closingAt) {
        // Cut the later span first so that the earlier position stays valid.
        if (closingAt >= openingAt) {
            line.erase(closingAt, closingMarker.size());
            line.erase(openingAt, openingMarker.size());
        } else {
            line.erase(openingAt, openingMarker.size());
            line.erase(closingAt, closingMarker.size());
        }
        const auto anchorAt = line.find(anchor);
        say(std::string(console_text::anchorPositionPrefix) +
            std::to_string(anchorAt == notFound ? std::size_t{anchorNotFoundPosition} : anchorAt));
        if (anchorAt != notFound)
            stampAt(line, anchorAt);
        writeLine(line);
        result.markerCount = 2;
    }

    void processFenceLine() {
        say(console_text::foundMarker);
        ++result.markerCount;
        if (result.markerCount > 2) {
            say(console_text::warning);
            say(console_text::tooManyMarkers);
        }
    }
};

} // namespace

RewriteResult rewriteMarkedBlock(std::istream &input, std::ostream &output,
                                 const std::string &openingCommentMarker,
                                 const std::string &closingCommentMarker,
                                 const std::string &dateAnchor, const std::string &dateStamp,
                                 std::ostream &console) {
    Rewrite rewrite{output, openingCommentMarker, closingCommentMarker, dateAnchor, dateStamp,
                    console};
    std::string line;
    // A read that meets end of file still yields a line, so an input yields
    // one more line than it has line feeds. A read error ends the input the
    // same way: the bytes read so far are the last line.
    while (input.good()) {
        std::getline(input, line);
        rewrite.processLine(line);
    }
    return rewrite.result;
}

} // namespace corvane
