// The rewriter on string streams: output bytes, console bytes, marker count
// and anchor flag for each shape of input, grouped by behaviour.
#include "block_rewriter.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

const std::string stamp = "9990000";
const std::string found = "Found expiry marker.\n";
const std::string replacing = "Replacing date\n";
const std::string tooMany = " ****** WARNING ****** \nToo many comment markers found\n";
const std::string anchorMissing = "date = 4294967295\n";

struct Case {
    const char *name;
    std::string input;
    std::string expectedOutput;
    std::string expectedConsole;
    std::int64_t expectedMarkerCount;
    bool expectedAnchorReplaced;
    std::string opening = "/*";
    std::string closing = "*/";
    std::string anchor = "ANCHOR";
};

void runCases(const std::vector<Case> &cases) {
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream input(c.input);
        std::ostringstream output;
        std::ostringstream console;
        const auto result = corvane::rewriteMarkedBlock(input, output, c.opening, c.closing,
                                                        c.anchor, stamp, console);
        EXPECT_EQ(output.str(), c.expectedOutput);
        EXPECT_EQ(console.str(), c.expectedConsole);
        EXPECT_EQ(result.markerCount, c.expectedMarkerCount);
        EXPECT_EQ(result.anchorReplaced, c.expectedAnchorReplaced);
    }
}

TEST(RewriteMarkedBlock, ReadsOneMoreLineThanTheInputHasLineFeeds) {
    runCases({
        {"empty input", "", "\n", "", 0, false},
        {"last line with a line feed", "a\nb\n", "a\nb\n\n", "", 0, false},
        {"last line without a line feed", "a\nb", "a\nb\n", "", 0, false},
        {"only line feeds", "\n\n", "\n\n\n", "", 0, false},
        {"zero bytes, carriage returns and high bytes are content", "a\0b\r\n\xff\x1a\xfe"s,
         "a\0b\r\n\xff\x1a\xfe\n"s, "", 0, false},
    });
}

TEST(RewriteMarkedBlock, DropsTheFencesAndStampsTheBlock) {
    runCases({
        {"typical block", "x\n/*\nt = ANCHOR;\n*/\ny\n", "x\nt = 9990000;\ny\n\n",
         found + replacing + found, 2, true},
        {"anchor on the opening fence is not stamped", "/* ANCHOR\nq\n*/\n", "q\n\n", found + found,
         2, false},
        {"anchor on the closing fence sets the flag although it is dropped", "/*\nq\nANCHOR */\n",
         "q\n\n", found + replacing + found, 2, true},
        {"anchors outside the block stay", "ANCHOR\n/*\n*/\nANCHOR", "ANCHOR\nANCHOR\n",
         found + found, 2, false},
        {"only the first anchor of a line", "/*\nANCHOR ANCHOR\n*/", "9990000 ANCHOR\n",
         found + replacing + found, 2, true},
        {"every line of the block", "/*\nANCHOR1\nno\nANCHOR2\n*/", "99900001\nno\n99900002\n",
         found + replacing + replacing + found, 2, true},
        {"text around a marker", "  /* trial\nANCHOR\n  */ x", "9990000\n",
         found + replacing + found, 2, true},
        {"block without the anchor", "/*\nkeep\n*/", "keep\n", found + found, 2, false},
        {"one fence only stamps to the end", "a\n/*\nANCHOR\nb ANCHOR", "a\n9990000\nb 9990000\n",
         found + replacing + replacing, 1, true},
        {"opening marker twice is one fence", "/* /*\nANCHOR\n*/", "9990000\n",
         found + replacing + found, 2, true},
        {"a third fence warns, is dropped, and nothing after it is stamped",
         "/*\n*/\nANCHOR\n/*\nANCHOR\n*/\nz", "ANCHOR\nANCHOR\nz\n",
         found + found + found + tooMany + found + tooMany, 4, false},
    });
}

TEST(RewriteMarkedBlock, MatchesMarkersAndAnchorByteForByte) {
    runCases({
        {"other letter case and split anchors are not found", "#begin\nanchor\nANCH\nOR\n#end",
         "#begin\nanchor\nANCH\nOR\n#end\n", "", 0, false, "#BEGIN", "#END"},
        // The closing fence is stamped too before it is dropped.
        {"empty anchor stamps the front of each block line", "/*\nab\n\n*/", "9990000ab\n9990000\n",
         found + replacing + replacing + replacing + found, 2, true, "/*", "*/", ""},
        // An empty opening marker stands on every line: each line without the
        // closing marker is a fence line, one with it a pair.
        {"empty opening marker", "a\nANCHOR\nc END d", "c  d\n",
         found + replacing + found + anchorMissing, 2, true, "", "END"},
        {"both markers empty make every line a pair", "ANCHOR\nb", "9990000\nb\n",
         "date = 0\n" + replacing + anchorMissing, 2, true, "", ""},
    });
}

TEST(RewriteMarkedBlock, CutsAPairOfMarkersOutOfItsLine) {
    runCases({
        {"pair before a block", "a /*ANCHOR*/ b", "a 9990000 b\n", "date = 2\n" + replacing, 2,
         true},
        {"pair without the anchor", "/**/x", "x\n", anchorMissing, 2, false},
        // Inside a block the first anchor is stamped before the pair is seen;
        // the pair then stamps a further one, here inside the stamp itself.
        {"pair inside a block searches again from the start", "/*\nx0 /**/\n",
         "x9999990000000 \n\n", found + replacing + "date = 4\n" + replacing, 2, true, "/*", "*/",
         "0"},
        {"pair inside a block closes it", "/*\n/**/\nANCHOR", "\nANCHOR\n", found + anchorMissing,
         2, false},
        {"pair after too many fences brings the count back to 2", "/*\n*/\n/*\n/* */\n", " \n\n",
         found + found + found + tooMany + anchorMissing, 2, false},
        {"closing marker before the opening one", "*/ x /*", " x \n", anchorMissing, 2, false},
        {"closing marker right before the opening one", "x*//*y", "xy\n", anchorMissing, 2, false},
        {"same string for both markers", "##\nANCHOR\n##\na ## b ## c", "9990000\na  b  c\n",
         found + replacing + found + anchorMissing, 2, true, "##", "##"},
        // A closing marker found only inside the opening one cannot close it.
        {"closing marker inside the opening one", "<!-- x\nANCHOR\n<!-- y --", "9990000\n y \n",
         found + replacing + anchorMissing, 2, true, "<!--", "--"},
        {"opening marker inside the closing one", "-->\n- a -->", " a \n", found + anchorMissing, 2,
         false, "-", "-->"},
    });
}

TEST(RewriteMarkedBlock, KeepsALongLineWhole) {
    const std::string filler(4u << 20, 'x');
    std::istringstream input("/*\n" + filler + "ANCHOR" + filler + "\n*/");
    std::ostringstream output, console;
    const auto result =
        corvane::rewriteMarkedBlock(input, output, "/*", "*/", "ANCHOR", stamp, console);
    EXPECT_TRUE(output.str() == filler + stamp + filler + "\n");
    EXPECT_EQ(console.str(), found + replacing + found);
    EXPECT_EQ(result.markerCount, 2);
}

// Keeps what the stream held at each flush.
class FlushRecorder : public std::stringbuf {
  public:
    std::vector<std::string> flushes;

  protected:
    int sync() override {
        flushes.push_back(str());
        return 0;
    }
};

// Shows that every output line and every console line is flushed as it is
// written, so that both hold everything processed so far at any moment.
TEST(RewriteMarkedBlock, FlushesEveryLineAsItIsWritten) {
    std::istringstream input("a\n/*\nANCHOR\n*/\nb");
    FlushRecorder outputBuffer, consoleBuffer;
    std::ostream output(&outputBuffer), console(&consoleBuffer);
    corvane::rewriteMarkedBlock(input, output, "/*", "*/", "ANCHOR", stamp, console);
    EXPECT_EQ(outputBuffer.flushes,
              (std::vector<std::string>{"a\n", "a\n9990000\n", "a\n9990000\nb\n"}));
    EXPECT_EQ(consoleBuffer.flushes,
              (std::vector<std::string>{found, found + replacing, found + replacing + found}));
}

// Takes no byte, as a full disk does.
class FullBuffer : public std::streambuf {
  protected:
    std::streamsize xsputn(const char *, std::streamsize) override { return 0; }
    int_type overflow(int_type) override { return traits_type::eof(); }
};

// Shows that a failed write marks the output stream, so that the caller can
// tell a cut-short output, while the rest of the input is still processed.
TEST(RewriteMarkedBlock, MarksTheOutputWhenAWriteFails) {
    std::istringstream input("/*\nANCHOR\n*/\nb");
    FullBuffer full;
    std::ostream output(&full);
    std::ostringstream console;
    const auto result =
        corvane::rewriteMarkedBlock(input, output, "/*", "*/", "ANCHOR", stamp, console);
    EXPECT_TRUE(output.bad());
    EXPECT_EQ(console.str(), found + replacing + found);
    EXPECT_EQ(result.markerCount, 2);
}

// Fails every read after the given text, as a disk error does.
class FailingBuffer : public std::streambuf {
  public:
    explicit FailingBuffer(std::string text) : text_(std::move(text)) {
        setg(text_.data(), text_.data(), text_.data() + text_.size());
    }

  protected:
    int_type underflow() override { throw std::runtime_error("read error"); }

  private:
    std::string text_;
};

// Shows that a read error ends the input: the partial line is kept and the
// rewriter stops instead of reading on for ever.
TEST(RewriteMarkedBlock, StopsAtAReadError) {
    FailingBuffer buffer("/*\nANCHOR\npart");
    std::istream input(&buffer);
    std::ostringstream output, console;
    const auto result =
        corvane::rewriteMarkedBlock(input, output, "/*", "*/", "ANCHOR", stamp, console);
    EXPECT_EQ(output.str(), "9990000\npart\n");
    EXPECT_EQ(result.markerCount, 1);
    EXPECT_TRUE(input.bad());
}

} // namespace
