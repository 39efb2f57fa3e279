// The marker-block rewriter: copies a text line by line, drops the two fence
// lines that hold the comment markers, and stamps the anchor inside the
// block. It borrows its streams and opens nothing, so tests drive it with
// string streams.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace corvane {

struct RewriteResult {
    // 0 before the block, 1 inside it, 2 once it is closed, above 2 when
    // there were more fence lines than one block has.
    std::int64_t markerCount = 0;
    bool anchorReplaced = false;
};

// Console lines of the rewriter. Each is written followed by a line end.
namespace console_text {
inline constexpr const char *foundMarker = "Found expiry marker.";
inline constexpr const char *replacingDate = "Replacing date";
inline constexpr const char *anchorPositionPrefix = "date = ";
inline constexpr const char *warning = " ****** WARNING ****** ";
inline constexpr const char *tooManyMarkers = "Too many comment markers found";
} // namespace console_text

// What "date = " reports for an anchor that is missing from a pair line:
// the 32-bit "not found" value, whatever the width of size_t.
inline constexpr std::uint32_t anchorNotFoundPosition = 0xFFFFFFFFu;

RewriteResult rewriteMarkedBlock(std::istream &input, std::ostream &output,
                                 const std::string &openingCommentMarker,
                                 const std::string &closingCommentMarker,
                                 const std::string &dateAnchor, const std::string &dateStamp,
                                 std::ostream &console);

} // namespace corvane
