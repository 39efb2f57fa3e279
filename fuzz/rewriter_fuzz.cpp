// libFuzzer target for the block rewriter. The first three bytes give the
// lengths of the opening marker, the closing marker and the anchor, which
// are taken from the bytes that follow; the rest is the input text. Besides
// crashes and sanitizer reports, it checks properties that hold for every
// input.
#include "block_rewriter.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string stamp = "1767225600000";

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find('\n', start);
        lines.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            return lines;
        start = end + 1;
    }
}

void require(bool holds, const char *property) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 3)
        return 0;
    std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::size_t lengths[3] = {bytes[0] % 5u, bytes[1] % 5u, bytes[2] % 5u};
    bytes.remove_prefix(3);
    std::string fields[3];
    for (int i = 0; i < 3; ++i) {
        fields[i] = std::string(bytes.substr(0, lengths[i]));
        bytes.remove_prefix(std::min(lengths[i], bytes.size()));
    }
    const std::string &opening = fields[0], &closing = fields[1], &anchor = fields[2];
    const std::string text(bytes);

    std::istringstream input(text);
    std::ostringstream output, console;
    const auto result =
        corvane::rewriteMarkedBlock(input, output, opening, closing, anchor, stamp, console);

    const auto inputLines = splitLines(text);
    const std::string written = output.str();
    require(written.empty() || written.back() == '\n', "every output line has a line end");
    std::vector<std::string> outputLines = splitLines(written);
    outputLines.pop_back();
    require(outputLines.size() <= inputLines.size(), "no more output lines than input lines");

    std::vector<std::string> consoleLines = splitLines(console.str());
    require(consoleLines.back().empty(), "every console line has a line end");
    consoleLines.pop_back();
    std::int64_t fenceLines = 0, replacements = 0, pairLines = 0, warnings = 0;
    for (const auto &line : consoleLines) {
        if (line == "Found expiry marker.")
            ++fenceLines;
        else if (line == "Replacing date")
            ++replacements;
        else if (line.rfind("date = ", 0) == 0)
            ++pairLines;
        else if (line == " ****** WARNING ****** ")
            ++warnings;
        else
            require(line == "Too many comment markers found", "only known console lines");
    }
    require(result.anchorReplaced == (replacements > 0), "flag set iff a date was replaced");
    require(outputLines.size() + fenceLines == inputLines.size(),
            "each input line is written or dropped as a fence");

    const auto holdsMarker = [&](const std::string &line) {
        return line.find(opening) != std::string::npos || line.find(closing) != std::string::npos;
    };
    if (std::none_of(inputLines.begin(), inputLines.end(), holdsMarker)) {
        require(outputLines == inputLines, "without markers the input is copied unchanged");
        require(result.markerCount == 0 && consoleLines.empty(), "without markers nothing is said");
    }
    if (pairLines == 0) {
        require(result.markerCount == fenceLines, "the marker count counts the fence lines");
        require(warnings == std::max<std::int64_t>(0, fenceLines - 2),
                "one warning per extra fence");
        // Without a stamp, no line changes: each line holding a marker is a
        // dropped fence and every other line is copied as it is.
        if (replacements == 0) {
            std::vector<std::string> kept;
            std::copy_if(inputLines.begin(), inputLines.end(), std::back_inserter(kept),
                         [&](const std::string &line) { return !holdsMarker(line); });
            require(outputLines == kept, "fences dropped, other lines copied unchanged");
        }
    } else {
        require(result.markerCount >= 2, "a pair line closes the block");
    }
    return 0;
}
