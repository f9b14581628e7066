// readLine has two paths: byte by byte over any stream, and a block scan over
// a stream that offers its buffer. Both must give the same lines, the same
// counts and the same positions, whatever the buffer size; so must
// readLineText.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jbufferedstream.h"
#include "jmemorystream.h"
#include "jstreamtokenizer.h"

namespace {

// A buffered stream that offers its buffer only on some calls (never when
// `every` is 0, always when it is 1): the rest of a line goes byte by byte.
class SometimesStream : public JBufferedStream {
public:
    SometimesStream(JStream* inner, int capacity, int every) : JBufferedStream(inner, capacity), every(every) {}
    int peekBuffer(const char** bytes) override {
        return every > 0 && ++calls % every == 0 ? JBufferedStream::peekBuffer(bytes) : 0;
    }
    int every, calls = 0;
};

// Text, count and position of every readLine (or readLineText) to the end.
std::string linesOf(const std::string& input, int capacity, int every, bool asText) {
    JMemoryStream inner(input.data(), static_cast<int>(input.size()));
    SometimesStream buffered(&inner, capacity, every);
    JStreamTokenizer tokenizer;
    tokenizer.setStream(capacity == 0 ? static_cast<JStream*>(&inner) : &buffered);
    std::string steps;
    JString line;
    for (int n = 1; n != 0;) {
        const char* text = line.data;
        int length = -1;
        n = asText ? tokenizer.readLineText(&text, &length) : tokenizer.readLine(line);
        EXPECT_TRUE(!asText || length == static_cast<int>(std::string(text).size()));
        steps += std::string(asText ? text : line.data) + "|" + std::to_string(n) + "|" +
                 std::to_string(tokenizer.position) + "\n";
    }
    return steps;
}

// readLine byte by byte on a bare stream is the reference.
void expectSameLines(const std::string& input, const std::string& label) {
    std::string expected = linesOf(input, 0, 0, false);
    EXPECT_EQ(linesOf(input, 0, 0, true), expected) << label << ", readLineText unbuffered";
    for (int capacity : {1, 2, 3, 4, 16, 254, 255, 256, 257, 4096})
        for (int every : {1, 3}) {
            std::string way = label + ", capacity " + std::to_string(capacity) + " every " + std::to_string(every);
            EXPECT_EQ(linesOf(input, capacity, every, false), expected) << way;
            EXPECT_EQ(linesOf(input, capacity, every, true), expected) << way << ", readLineText";
        }
}

std::string times(char c, int n) { return std::string(static_cast<size_t>(n), c); }

}  // namespace

TEST(ReadLineBlocks, EndsAndLongLines) {
    std::string mixed;
    for (int n : {600, 1, 0, 5000, 257}) mixed += times('b', n) + (n % 2 ? "\r\n" : "\n");
    for (const std::string& input :
         {std::string(), std::string("abc\n"), std::string("abc\r\n"), std::string("abc\rdef\n"), std::string("\n"),
          std::string("\r\n"), std::string("abc"), std::string("abc\r"), mixed, times('c', 10000)})
        expectSameLines(input, "input of " + std::to_string(input.size()) + " bytes");
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

// A NUL byte ends a string: both paths keep the text of each 255-byte piece
// up to its own NUL, exactly as the byte path always has.
TEST(ReadLineBlocks, NulBytesBehaveAsOnTheBytePath) {
    expectSameLines("ab" + std::string(1, '\0') + "cd\n", "short line with NUL");
    std::string piece = times('p', 250) + std::string(1, '\0') + "qqqq" + "r";
    expectSameLines(piece + piece + "\r\n", "pieces with NULs");
    std::string heldCR = times('s', 10) + std::string(1, '\0') + times('s', 243) + "\r" + "tail\n";
    EXPECT_EQ(linesOf(heldCR, 0, 0, false).substr(0, 16), times('s', 10) + "\rtail|");  // the held CR alone
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
