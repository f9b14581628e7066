// readLine has two paths: byte by byte over any stream, and a block scan over
// a stream that offers its buffer. Both must give the same lines, the same
// counts and the same positions, whatever the buffer size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jbufferedstream.h"
#include "jmemorystream.h"
#include "jstreamtokenizer.h"

namespace {

struct Step {
    std::string text;
    int consumed;
    int position;
};

std::vector<Step> linesOf(JStream& stream) {
    JStreamTokenizer tokenizer;
    tokenizer.setStream(&stream);
    std::vector<Step> steps;
    JString line;
    for (;;) {
        int n = tokenizer.readLine(line);
        steps.push_back({std::string(line.data), n, tokenizer.position});
        if (n == 0) break;
    }
    return steps;
}

// The same through readLineText, which must give readLine's text.
std::vector<Step> textsOf(JStream& stream) {
    JStreamTokenizer tokenizer;
    tokenizer.setStream(&stream);
    std::vector<Step> steps;
    for (;;) {
        const char* text = nullptr;
        int length = -1;
        int n = tokenizer.readLineText(&text, &length);
        EXPECT_EQ(length, static_cast<int>(std::string(text).size()));
        steps.push_back({std::string(text), n, tokenizer.position});
        if (n == 0) break;
    }
    return steps;
}

std::vector<Step> bytewise(const std::string& input) {
    JMemoryStream plain(input.data(), static_cast<int>(input.size()));
    return linesOf(plain);
}

std::vector<Step> blockwise(const std::string& input, int capacity) {
    JMemoryStream inner(input.data(), static_cast<int>(input.size()));
    JBufferedStream buffered(&inner, capacity);
    return linesOf(buffered);
}

std::string times(char c, int n) { return std::string(static_cast<size_t>(n), c); }

std::vector<Step> textwise(const std::string& input, int capacity) {
    JMemoryStream inner(input.data(), static_cast<int>(input.size()));
    if (capacity == 0) return textsOf(inner);
    JBufferedStream buffered(&inner, capacity);
    return textsOf(buffered);
}

// readLine byte by byte is the reference; readLine in blocks and readLineText
// (on an unbuffered stream and on buffered ones) must agree with it.
void expectSameLines(const std::string& input, const std::string& label) {
    std::vector<Step> expected = bytewise(input);
    std::vector<std::pair<std::string, std::vector<Step>>> ways;
    ways.push_back({"readLineText unbuffered", textwise(input, 0)});
    for (int capacity : {1, 2, 3, 4, 16, 254, 255, 256, 257, 4096}) {
        std::string c = std::to_string(capacity);
        ways.push_back({"readLine, capacity " + c, blockwise(input, capacity)});
        ways.push_back({"readLineText, capacity " + c, textwise(input, capacity)});
    }
    for (const auto& way : ways) {
        const std::vector<Step>& got = way.second;
        std::string where = label + ", " + way.first;
        ASSERT_EQ(got.size(), expected.size()) << where;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].text, expected[i].text) << where << ", line " << i;
            EXPECT_EQ(got[i].consumed, expected[i].consumed) << where << ", line " << i;
            EXPECT_EQ(got[i].position, expected[i].position) << where << ", line " << i;
        }
    }
}

}  // namespace

// The documented cases, checked on the byte path and then both paths agree.
TEST(ReadLineBlocks, DocumentedCases) {
    struct Row {
        std::string input;
        std::string first;
        int consumed;
    } rows[] = {
        {"abc\n", "abc", 4},
        {"abc\r\n", "abc", 5},
        {"abc\rdef\n", "abc\rdef", 8},
        {"\n", "", 1},
        {"\r\n", "", 2},
        {"abc", "abc", 3},
        {"abc\r", "abc", 4},
        {times('x', 300) + "\n", times('x', 300), 301},
        {times('x', 255) + "\n", times('x', 255), 256},
        {times('x', 254) + "\r\n", times('x', 254), 256},
        {"", "", 0},
    };
    for (const Row& row : rows) {
        std::vector<Step> steps = bytewise(row.input);
        EXPECT_EQ(steps[0].text, row.first);
        EXPECT_EQ(steps[0].consumed, row.consumed);
        EXPECT_EQ(steps.back().consumed, 0);
        EXPECT_EQ(steps.back().text, "");
        expectSameLines(row.input, "row of " + std::to_string(row.input.size()) + " bytes");
    }
}

// CRs around the 255-byte piece boundary and around every buffer boundary.
TEST(ReadLineBlocks, CarriageReturnsAtPieceAndBufferBoundaries) {
    for (int length : {1, 2, 253, 254, 255, 256, 257, 509, 510, 511, 512}) {
        for (int cr : {-1, 0, length - 2, length - 1, 254, 255, 509}) {
            if (cr >= length) continue;
            std::string body = times('a', length);
            if (cr >= 0) body[static_cast<size_t>(cr)] = '\r';
            std::string label = "length " + std::to_string(length) + " cr at " + std::to_string(cr);
            expectSameLines(body + "\n" + body + "\r\n" + body + "\r\r\n" + body, label);
            expectSameLines(body + "\r", label + " then CR at the end");
        }
    }
}

TEST(ReadLineBlocks, LinesLongerThanTheBuffer) {
    std::string input;
    for (int n : {600, 1, 0, 5000, 257})
        input += times('b', n) + (n % 2 ? "\r\n" : "\n");
    expectSameLines(input, "long lines");
    expectSameLines(times('c', 10000), "one long line without LF");
}

// A NUL byte ends a string: both paths keep the text of each 255-byte piece
// up to its own NUL, exactly as the byte path always has.
TEST(ReadLineBlocks, NulBytesBehaveAsOnTheBytePath) {
    std::string withNul = "ab" + std::string(1, '\0') + "cd\n";
    EXPECT_EQ(bytewise(withNul)[0].text, "ab");
    expectSameLines(withNul, "short line with NUL");
    std::string piece = times('p', 250) + std::string(1, '\0') + "qqqq" + "r";
    expectSameLines(piece + piece + "\r\n", "pieces with NULs");
    std::string heldCR = times('s', 10) + std::string(1, '\0') + times('s', 243) + "\r" + "tail\n";
    std::vector<Step> steps = bytewise(heldCR);
    EXPECT_EQ(steps[0].text, times('s', 10) + "\rtail");  // the held CR is appended alone
    expectSameLines(heldCR, "NUL, then a CR held at a piece end");
}

// Fields (read with look-ahead and seeks back) and block-read lines mixed on
// one buffered stream keep the position exact.
TEST(ReadLineBlocks, FieldReadingAfterBlockLinesKeepsPositionExact) {
    std::string input = "paddb,x,x,fch,\r\nline two\nlast";
    JMemoryStream inner(input.data(), static_cast<int>(input.size()));
    JBufferedStream buffered(&inner, 5);
    JStreamTokenizer tokenizer;
    tokenizer.setStream(&buffered);
    JString field;
    for (const char* expected : {"paddb", "x", "x", "fch", ""}) {
        ASSERT_EQ(tokenizer.nextField(field), 1);
        EXPECT_STREQ(field.data, expected);
    }
    EXPECT_EQ(tokenizer.position, 16);
    EXPECT_EQ(tokenizer.readLine(field), 9);
    EXPECT_STREQ(field.data, "line two");
    ASSERT_EQ(tokenizer.nextField(field), 1);
    EXPECT_STREQ(field.data, "last");
    EXPECT_EQ(tokenizer.position, 29);
    EXPECT_EQ(tokenizer.readLine(field), 0);
}

// A stream that offers its buffer only now and then: the rest of a line is
// read byte by byte, with the same result.
TEST(ReadLineBlocks, StreamThatOffersItsBufferOnlySometimes) {
    class Sometimes : public JBufferedStream {
    public:
        Sometimes(JStream* inner, int capacity) : JBufferedStream(inner, capacity) {}
        int peekBuffer(const char** bytes) override {
            return (++calls % 3 == 0) ? 0 : JBufferedStream::peekBuffer(bytes);
        }
        int calls = 0;
    };
    std::string input;
    for (int n = 0; n < 40; ++n) input += times('d', n * 7) + (n % 3 ? "\r\n" : "\n");
    std::vector<Step> expected = bytewise(input);
    for (int capacity : {2, 5, 64}) {
        JMemoryStream inner(input.data(), static_cast<int>(input.size()));
        Sometimes stream(&inner, capacity);
        std::vector<Step> got = linesOf(stream);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].text, expected[i].text) << "capacity " << capacity << ", line " << i;
            EXPECT_EQ(got[i].position, expected[i].position) << "capacity " << capacity << ", line " << i;
        }
    }
}
