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
    bool onFile() const { return GetParam(); }

    // Attaches a stream holding exactly these bytes.
    void load(const std::string& bytes) {
        file.close();
        if (onFile()) {
            if (fileName.empty()) {
                const char* tmp = std::getenv("TMPDIR");
                fileName = std::string(tmp && *tmp ? tmp : "/tmp") + "/tokenizer.XXXXXX";
                int fd = mkstemp(&fileName[0]);
                ASSERT_GE(fd, 0);
                ::close(fd);
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
    long offset() {
        return onFile() ? static_cast<long>(::lseek(file.handle, 0, SEEK_CUR)) : memory->offset();
    }
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

struct LineCase {
    std::string input;
    std::vector<std::pair<std::string, int>> lines;  // text and result of each call
};

TEST_P(Tokenizer, ReadLineGolden) {
    const std::vector<LineCase> cases = {
        {"abc" + LF, {{"abc", 4}}},
        {"abc" + CR + LF, {{"abc", 5}}},
        {"abc" + CR + "def" + LF, {{"abc" + CR + "def", 8}}},
        {LF, {{"", 1}}},
        {CR + LF, {{"", 2}}},
        {"abc", {{"abc", 3}}},
        {"abc" + CR, {{"abc", 4}}},
        {"", {}},
        {"a" + LF + LF + "b", {{"a", 2}, {"", 1}, {"b", 1}}},
        {"a" + LF + CR + "b" + LF, {{"a", 2}, {CR + "b", 3}}},
        {CR + CR + LF, {{CR, 3}}},
        // Pieces of 255 bytes.
        {run(254) + LF, {{run(254), 255}}},
        {run(255) + LF, {{run(255), 256}}},
        {run(256) + LF, {{run(256), 257}}},
        {run(300) + LF, {{run(300), 301}}},
        {run(300), {{run(300), 300}}},
        {run(1000) + CR + LF + "x", {{run(1000), 1002}, {"x", 1}}},
        // A CR in the last place of a full piece.
        {run(254) + CR + LF, {{run(254), 256}}},
        {run(255) + CR + LF, {{run(255), 257}}},
        {run(254) + CR + "x" + LF, {{run(254) + CR + "x", 257}}},
        {run(254) + CR, {{run(254), 255}}},
        {run(254) + CR + CR + LF, {{run(254) + CR, 257}}},
        {run(254) + CR + LF + "next" + LF, {{run(254), 256}, {"next", 5}}},
        {run(509) + CR + LF, {{run(509), 511}}},
        {run(509) + CR + "y", {{run(509) + CR + "y", 511}}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        load(cases[i].input);
        JString line("old");
        long consumed = 0;
        for (const auto& expected : cases[i].lines) {
            int n = tok.readLine(line);
            consumed += n;
            EXPECT_EQ(n, expected.second) << "case " << i;
            EXPECT_EQ(std::string(line.data), expected.first) << "case " << i;
            EXPECT_EQ(tok.position, consumed) << "case " << i;
            EXPECT_EQ(offset(), consumed) << "case " << i;
        }
        EXPECT_EQ(tok.readLine(line), 0) << "case " << i;
        EXPECT_STREQ(line.data, "") << "case " << i;
        EXPECT_EQ(tok.position, static_cast<long>(cases[i].input.size())) << "case " << i;
    }
}

struct FieldCase {
    std::string input;
    std::vector<std::string> fields;
    std::vector<int> positions;  // after each field
};

TEST_P(Tokenizer, NextFieldGolden) {
    const std::vector<FieldCase> cases = {
        {"a,b" + CR + LF + "c", {"a", "b", "c"}, {2, 5, 6}},  // six bytes in all
        {"a,,b", {"a", "", "b"}, {2, 3, 4}},
        {",,", {"", ""}, {1, 2}},
        {"a," + CR + LF, {"a", ""}, {2, 4}},
        {"a" + LF + LF + "b", {"a", "", "b"}, {2, 3, 4}},
        {"a" + CR + CR + "b", {"a", "", "b"}, {2, 3, 4}},
        {"a" + LF + CR + "b", {"a", "", "b"}, {2, 3, 4}},  // LF CR: two delimiters
        {"a" + CR + LF + LF + "b", {"a", "", "b"}, {3, 4, 5}},
        {"a\tb", {"a", "b"}, {2, 3}},
        {"a" + CR, {"a"}, {2}},
        {"", {}, {}},
        {"paddb,x,x,fch," + CR + LF, {"paddb", "x", "x", "fch", ""}, {6, 8, 10, 14, 16}},
        {run(300) + "," + run(3), {run(300), run(3)}, {301, 304}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        load(cases[i].input);
        JString field;
        for (size_t k = 0; k < cases[i].fields.size(); ++k) {
            EXPECT_EQ(tok.nextField(field), 1) << "case " << i;
            EXPECT_EQ(std::string(field.data), cases[i].fields[k]) << "case " << i;
            EXPECT_EQ(tok.position, cases[i].positions[k]) << "case " << i << " field " << k;
            EXPECT_EQ(offset(), tok.position) << "case " << i;
        }
        JString before(field);
        EXPECT_EQ(tok.nextField(field), 0) << "case " << i;
        EXPECT_EQ(field, before) << "case " << i;  // left as it was
        EXPECT_EQ(tok.nextField(field), 0) << "case " << i;
    }
    load("a" + CR + "b");
    JString field;
    tok.nextField(field);
    EXPECT_EQ(tok.position, 2);
    EXPECT_EQ(nextByte(), "b");  // the byte after a lone CR stays unread
}

// One operation on one input: its result, the position after it and the
// byte that comes next.
struct OpCase {
    const char* name;
    std::string input;
    int (*op)(JStreamTokenizer&);
    int result;
    int position;
    std::string next;
};

int isNumber(JStreamTokenizer& t) { return t.nextIsNumber(); }
int integer(JStreamTokenizer& t) { return t.nextInt(); }
int field(JStreamTokenizer& t) { return t.skipField(); }
int line(JStreamTokenizer& t) { return t.skipLine(); }
int peek(JStreamTokenizer& t) { return t.peekFieldLength(); }
int lineFeed(JStreamTokenizer& t) { return t.skipLineFeed(); }

TEST_P(Tokenizer, OtherOperationsGolden) {
    const OpCase cases[] = {
        {"nextIsNumber", "123,x", isNumber, 1, 0, "1"},
        {"nextIsNumber", "0" + LF, isNumber, 1, 0, "0"},
        {"nextIsNumber", "12a", isNumber, 0, 0, "1"},
        {"nextIsNumber", "-1", isNumber, 0, 0, "-"},
        {"nextIsNumber", ",1", isNumber, 0, 0, ","},
        {"nextIsNumber", "", isNumber, 0, 0, ""},
        {"nextInt", " 42,x", integer, 42, 4, "x"},
        {"nextInt", "-7", integer, -7, 2, ""},
        {"nextInt", "+7" + CR + LF + "y", integer, 7, 4, "y"},
        {"nextInt", "12ab", integer, 12, 4, ""},
        {"nextInt", "x,5", integer, 0, 2, "5"},
        {"nextInt", "\v\f 9", integer, 9, 4, ""},
        {"nextInt", "- 3", integer, 0, 3, ""},
        {"nextInt", "2147483647", integer, 2147483647, 10, ""},
        {"nextInt", "-2147483648", integer, -2147483647 - 1, 11, ""},
        {"nextInt", "", integer, 0, 0, ""},
        {"skipField", "abc,def", field, 1, 4, "d"},
        {"skipField", ",x", field, 1, 1, "x"},
        {"skipField", CR + LF + "x", field, 1, 2, "x"},
        {"skipField", "a" + CR + "b", field, 1, 2, "b"},
        {"skipField", "abc", field, 1, 3, ""},
        {"skipField", "", field, 0, 0, ""},
        {"skipLine", "abc" + CR + LF + "def", line, 1, 5, "d"},
        {"skipLine", "a,b" + CR + "c", line, 1, 5, ""},
        {"skipLine", LF + "x", line, 1, 1, "x"},
        {"skipLine", "", line, 0, 0, ""},
        {"peekFieldLength", "abc,", peek, 3, 0, "a"},
        {"peekFieldLength", "ab", peek, 2, 0, "a"},
        {"peekFieldLength", "\tb", peek, 0, 0, "\t"},
        {"peekFieldLength", "", peek, -1, 0, ""},
        {"skipLineFeed", LF + "x", lineFeed, 1, 1, "x"},
        {"skipLineFeed", "x", lineFeed, 1, 0, "x"},
        {"skipLineFeed", CR, lineFeed, 1, 0, CR},
        {"skipLineFeed", "", lineFeed, 1, 0, ""},
    };
    for (const OpCase& c : cases) {
        load(c.input);
        EXPECT_EQ(c.op(tok), c.result) << c.name << " on \"" << c.input << '"';
        EXPECT_EQ(tok.position, c.position) << c.name << " on \"" << c.input << '"';
        EXPECT_EQ(offset(), tok.position) << c.name << " on \"" << c.input << '"';
        EXPECT_EQ(nextByte(), c.next) << c.name << " on \"" << c.input << '"';
    }
}

TEST_P(Tokenizer, MixedCallsKeepThePosition) {
    load("12,ab\tx" + CR + LF + "line one" + CR + LF + "7," + LF);
    JString s;
    EXPECT_EQ(tok.nextIsNumber(), 1);
    EXPECT_EQ(tok.nextInt(), 12);
    EXPECT_EQ(tok.nextField(s), 1);
    EXPECT_STREQ(s.data, "ab");
    EXPECT_EQ(tok.skipField(), 1);
    EXPECT_EQ(tok.position, 9);
    EXPECT_EQ(offset(), 9);
    EXPECT_EQ(tok.readLine(s), 10);
    EXPECT_STREQ(s.data, "line one");
    EXPECT_EQ(tok.nextInt(), 7);
    EXPECT_EQ(tok.nextField(s), 1);
    EXPECT_STREQ(s.data, "");
    EXPECT_EQ(tok.position, 22);
    EXPECT_EQ(offset(), 22);
    EXPECT_EQ(tok.nextField(s), 0);
    EXPECT_EQ(tok.nextInt(), 0);
    EXPECT_EQ(tok.skipLine(), 0);

    tok.setStream(stream);  // starts again at the beginning
    char buffer[8];
    EXPECT_EQ(tok.readField(buffer), 2);
    EXPECT_STREQ(buffer, "12");
    EXPECT_EQ(offset(), 3);
}

INSTANTIATE_TEST_SUITE_P(Streams, Tokenizer, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("OnFile") : std::string("InMemory");
                         });

}  // namespace
