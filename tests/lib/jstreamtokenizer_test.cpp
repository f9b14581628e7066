#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "jmemorystream.h"
#include "jstreamtokenizer.h"
#include "jwinfile.h"

namespace {

// n bytes of varied text, so a misplaced or repeated piece shows.
std::string run(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
    return s;
}

const std::string CR = "\r", LF = "\n";

// Every test runs twice: over bytes in memory and over a real file, where
// the stream's own offset is asked of the operating system.
class Tokenizer : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override {
        file.close();
        if (!fileName.empty()) ::unlink(fileName.c_str());
    }
    // Attaches a stream holding exactly these bytes.
    void load(const std::string& bytes) {
        file.close();
        if (GetParam()) {
            if (fileName.empty()) {
                fileName = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/tokenizer.XXXXXX";
                ::close(mkstemp(&fileName[0]));
            }
            std::ofstream(fileName, std::ios::binary | std::ios::trunc) << bytes;
            ASSERT_EQ(file.open(fileName.c_str(), 1), 1);
            stream = &file;
        } else {
            memory.reset(new JMemoryStream(bytes.data(), static_cast<int>(bytes.size())));
            stream = memory.get();
        }
        stream->seek(5, 0);  // setStream must start again from the beginning
        tok.setStream(stream);
    }
    // The tokenizer's position and the stream's own offset, which must agree between calls.
    std::pair<long, long> at() { return {tok.position, offset()}; }
    static std::pair<long, long> both(long n) { return {n, n}; }
    long offset() { return GetParam() ? static_cast<long>(::lseek(file.handle, 0, SEEK_CUR)) : memory->offset(); }
    // The byte the stream delivers next, put back afterwards ("" at the end).
    std::string nextByte() {
        char c;
        if (stream->read(&c, 1) != 1) return "";
        stream->seek(-1, 1);
        return std::string(1, c);
    }

    JStreamTokenizer tok;
    JStream* stream = nullptr;
    JWinFile file;
    std::string fileName;
    std::unique_ptr<JMemoryStream> memory;
};

// Input, then for each call the text it gives and its number: the bytes
// readLine consumed, or the position after nextField.
using Calls = std::vector<std::pair<std::string, int>>;
const std::vector<std::pair<std::string, Calls>> lineCases = {
    {"abc" + LF, {{"abc", 4}}}, {"abc" + CR + LF, {{"abc", 5}}}, {"abc" + CR + "def" + LF, {{"abc" + CR + "def", 8}}},
    {LF, {{"", 1}}}, {CR + LF, {{"", 2}}}, {"abc", {{"abc", 3}}}, {"abc" + CR, {{"abc", 4}}}, {"", {}},
    {"a" + LF + LF + "b", {{"a", 2}, {"", 1}, {"b", 1}}}, {"a" + LF + CR + "b" + LF, {{"a", 2}, {CR + "b", 3}}},
    {CR + CR + LF, {{CR, 3}}},
    // pieces of 255 bytes
    {run(254) + LF, {{run(254), 255}}}, {run(255) + LF, {{run(255), 256}}}, {run(256) + LF, {{run(256), 257}}},
    {run(300) + LF, {{run(300), 301}}}, {run(300), {{run(300), 300}}},
    {run(1000) + CR + LF + "x", {{run(1000), 1002}, {"x", 1}}},
    // a CR in the last place of a full piece
    {run(254) + CR + LF, {{run(254), 256}}}, {run(255) + CR + LF, {{run(255), 257}}},
    {run(254) + CR + "x" + LF, {{run(254) + CR + "x", 257}}}, {run(254) + CR, {{run(254), 255}}},
    {run(254) + CR + CR + LF, {{run(254) + CR, 257}}},
    {run(254) + CR + LF + "next" + LF, {{run(254), 256}, {"next", 5}}},
    {run(509) + CR + LF, {{run(509), 511}}}, {run(509) + CR + "y", {{run(509) + CR + "y", 511}}},
};
const std::vector<std::pair<std::string, Calls>> fieldCases = {
    {"a,b" + CR + LF + "c", {{"a", 2}, {"b", 5}, {"c", 6}}}, {"a,,b", {{"a", 2}, {"", 3}, {"b", 4}}},
    {",,", {{"", 1}, {"", 2}}}, {"a," + CR + LF, {{"a", 2}, {"", 4}}},
    {"a" + LF + LF + "b", {{"a", 2}, {"", 3}, {"b", 4}}}, {"a" + CR + CR + "b", {{"a", 2}, {"", 3}, {"b", 4}}},
    {"a" + LF + CR + "b", {{"a", 2}, {"", 3}, {"b", 4}}},  // LF CR: two delimiters
    {"a" + CR + LF + LF + "b", {{"a", 3}, {"", 4}, {"b", 5}}}, {"a\tb", {{"a", 2}, {"b", 3}}},
    {"a" + CR, {{"a", 2}}}, {"", {}},
    {"paddb,x,x,fch," + CR + LF, {{"paddb", 6}, {"x", 8}, {"x", 10}, {"fch", 14}, {"", 16}}},
    {run(300) + "," + run(3), {{run(300), 301}, {run(3), 304}}},
};

TEST_P(Tokenizer, ReadLineAndNextFieldGolden) {
    for (bool lines : {true, false})
        for (const auto& [input, calls] : lines ? lineCases : fieldCases) {
            load(input);
            JString text("old");
            long consumed = 0;
            for (const auto& [want, n] : calls) {
                EXPECT_EQ(lines ? tok.readLine(text) : tok.nextField(text), lines ? n : 1) << input;
                EXPECT_EQ(std::string(text.data), want) << input;
                consumed = lines ? consumed + n : n;
                EXPECT_EQ(at(), both(consumed)) << input;
            }
            const std::string last = lines ? "" : text.data;  // a failed nextField leaves the field as it was
            EXPECT_EQ(lines ? tok.readLine(text) : tok.nextField(text) + tok.nextField(text), 0) << input;
            EXPECT_EQ(std::string(text.data), last) << input;
            EXPECT_EQ(tok.position, static_cast<long>(input.size())) << input;
        }
    load("a" + CR + "b");
    JString field;
    tok.nextField(field);
    EXPECT_EQ(tok.position, 2);
    EXPECT_EQ(nextByte(), "b");  // the byte after a lone CR stays unread
}

TEST_P(Tokenizer, OtherOperationsGolden) {
    // Operation, input, its result, the position after it and the byte that comes next.
    const std::tuple<char, std::string, int, int, std::string> cases[] = {
        {'#', "123,x", 1, 0, "1"}, {'#', "0" + LF, 1, 0, "0"}, {'#', "12a", 0, 0, "1"}, {'#', "-1", 0, 0, "-"},
        {'#', ",1", 0, 0, ","}, {'#', "", 0, 0, ""},
        {'i', " 42,x", 42, 4, "x"}, {'i', "-7", -7, 2, ""}, {'i', "+7" + CR + LF + "y", 7, 4, "y"},
        {'i', "12ab", 12, 4, ""}, {'i', "x,5", 0, 2, "5"}, {'i', "\v\f 9", 9, 4, ""}, {'i', "- 3", 0, 3, ""},
        {'i', "2147483647", 2147483647, 10, ""}, {'i', "-2147483648", -2147483647 - 1, 11, ""}, {'i', "", 0, 0, ""},
        {'f', "abc,def", 1, 4, "d"}, {'f', ",x", 1, 1, "x"}, {'f', CR + LF + "x", 1, 2, "x"},
        {'f', "a" + CR + "b", 1, 2, "b"}, {'f', "abc", 1, 3, ""}, {'f', "", 0, 0, ""},
        {'l', "abc" + CR + LF + "def", 1, 5, "d"}, {'l', "a,b" + CR + "c", 1, 5, ""}, {'l', LF + "x", 1, 1, "x"},
        {'l', "", 0, 0, ""},
        {'p', "abc,", 3, 0, "a"}, {'p', "ab", 2, 0, "a"}, {'p', "\tb", 0, 0, "\t"}, {'p', "", -1, 0, ""},
        {'n', LF + "x", 1, 1, "x"}, {'n', "x", 1, 0, "x"}, {'n', CR, 1, 0, CR}, {'n', "", 1, 0, ""},
    };
    for (const auto& [op, input, result, position, next] : cases) {
        load(input);
        const int got = op == '#' ? tok.nextIsNumber() : op == 'i' ? tok.nextInt() : op == 'f' ? tok.skipField()
                      : op == 'l' ? tok.skipLine() : op == 'p' ? tok.peekFieldLength() : tok.skipLineFeed();
        EXPECT_EQ(got, result) << op << " on \"" << input << '"';
        EXPECT_EQ(at(), both(position)) << op << " on \"" << input << '"';
        EXPECT_EQ(nextByte(), next) << op << " on \"" << input << '"';
    }
}

TEST_P(Tokenizer, MixedCallsKeepThePosition) {
    load("12,ab\tx" + CR + LF + "line one" + CR + LF + "7," + LF);
    JString s;
    EXPECT_EQ(tok.nextIsNumber() + tok.nextInt(), 13);
    EXPECT_EQ(tok.nextField(s), 1);
    EXPECT_STREQ(s.data, "ab");
    EXPECT_EQ(tok.skipField(), 1);
    EXPECT_EQ(at(), both(9));
    EXPECT_EQ(tok.readLine(s), 10);
    EXPECT_STREQ(s.data, "line one");
    EXPECT_EQ(tok.nextInt(), 7);
    EXPECT_EQ(tok.nextField(s), 1);
    EXPECT_STREQ(s.data, "");
    EXPECT_EQ(at(), both(22));
    EXPECT_EQ(tok.nextField(s) + tok.nextInt() + tok.skipLine(), 0);
    tok.setStream(stream);  // starts again at the beginning
    char buffer[8];
    EXPECT_EQ(tok.readField(buffer), 2);
    EXPECT_STREQ(buffer, "12");
    EXPECT_EQ(offset(), 3);
}

INSTANTIATE_TEST_SUITE_P(Streams, Tokenizer, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "OnFile" : "InMemory"; });

}  // namespace
