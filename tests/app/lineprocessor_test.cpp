#include <gtest/gtest.h>

#include <string>

#include "app/limited_stream.h"
#include "jmemorystream.h"
#include "driver.h"
#include "jmmxset.h"
#include "lineprocessor.h"

namespace {

// A small table in file order; movq's register form comes before its memory
// forms so that first-fit order is visible.
const std::string definitions =
    "paddb,x,x,fch,\r\npxor,x,x,efh,\r\npsrlw,x,x,d1h,\r\npsrlw,x,i,71h,d0\r\nmovq,x,x,6fh,\r\n"
    "movq,x,m,6fh,\r\nmovq,m,x,7fh,\r\nmovd,r,x,7eh,\r\nemms,x,x,77h,\r\n";

class LineLoop : public ::testing::Test {
protected:
    void SetUp() override {
        JMemoryStream defs(definitions.data(), static_cast<int>(definitions.size()));
        table = loadDefinitions(&defs);
    }
    void TearDown() override { JList::deleteList(table); }

    // Runs the whole loop over `source` into dst; returns the number of lines and checks the final result.
    int rewriteInto(JMemoryStream* dst, const std::string& source, int finalResult = 0) {
        JMemoryStream src(source.data(), static_cast<int>(source.size()));
        JStreamTokenizer tokenizer;
        tokenizer.setStream(&src);
        int n = 0, result;
        while ((result = processLine(dst, &tokenizer, table)) == 1) ++n;
        EXPECT_EQ(result, finalResult) << source;
        return n;
    }
    std::string rewrite(const std::string& source) {
        JMemoryStream dst;
        rewriteInto(&dst, source);
        return dst.bytes();
    }

    JMMXSet* table = nullptr;
};

const std::string db = "\tdb\t\t00fh,0fch,0c1h\t\t;", longLine(300, 'q'), long255 = "; " + std::string(253, 'c');

// Each line and what is written for it; "" when it is copied unchanged.
const std::pair<std::string, std::string> lineCases[] = {
    {"", ""}, {"; comment", ""}, {"   \t ", ""}, {"label: paddb mm0, mm1", ""}, {"paddb mm0, mm1", db},
    {"paddb mm0, mm1 ; add", db}, {"paddb mm0, mm1;add", db}, {"\tPADDB  MM0 , MM1", db}, {"paddb mm0, mm1  \t", db},
    {"paddb mm0 mm1", db}, {"paddb mm0, mm1 ;" + std::string(290, 'z'), db}, {"movq mm0, [eax ; 8]", ""},
    {"movq mm0, [eax + 8]", "\tdb\t\t00fh,06fh,040h,008h\t\t;"}, {"movq mm1, mm2", "\tdb\t\t00fh,06fh,0cah\t\t;"},
    {"movq [edi-4], mm3", "\tdb\t\t00fh,07fh,05fh,0fch\t\t;"}, {"psrlw mm2, 4", "\tdb\t\t00fh,071h,0d2h,004h\t\t;"},
    {"psrlw mm2, mm3", "\tdb\t\t00fh,0d1h,0d3h\t\t;"}, {"movd eax, mm2", "\tdb\t\t00fh,07eh,0d0h\t\t;"},
    {"EMMS", "\tdb\t\t00fh,077h\t\t;"}, {"emms ; leave MMX state", "\tdb\t\t00fh,077h\t\t;"},
    {"mov eax, ebx", ""}, {"paddb;x", ""}, {"movq mm0;x", ""}, {"paddb mm0, xmm1", ""},
    // a ';' outside brackets ends the operands, even before the second; more than two operands mean nothing
    {"pxor mm0 ; mm1 is zero", ""}, {"pxor mm0, ; mm1", ""}, {"paddb mm0, mm1, mm2", ""}, {"psrlw mm2, 4 8", ""},
    {"movq mm0, [eax] + 8", ""},
    // long lines and a CR inside a line survive
    {longLine, ""}, {long255, ""}, {"mov eax, 1\rmov ebx, 2", ""},
};

TEST_F(LineLoop, EncodesOrCopiesEachLine) {
    for (const auto& c : lineCases) EXPECT_EQ(rewrite(c.first + "\n"), c.second + c.first + "\r\n") << c.first;
}

TEST_F(LineLoop, EveryLineEndsInCrLfWhateverTheSourceUsed) {
    JMemoryStream dst;
    EXPECT_EQ(rewriteInto(&dst, "a\nb\r\nemms\n\nc"), 5);
    EXPECT_EQ(dst.bytes(), "a\r\nb\r\n\tdb\t\t00fh,077h\t\t;emms\r\n\r\nc\r\n");
    EXPECT_EQ(rewrite(""), "");
    EXPECT_EQ(rewrite("x\r"), "x\r\n");
    EXPECT_EQ(rewrite(longLine + "\n" + long255 + "\r\n"), longLine + "\r\n" + long255 + "\r\n");
}

TEST_F(LineLoop, ShortWritesAreReportedForCopiedAndEncodedLines) {
    for (const std::string source : {"mov eax, ebx\n", "paddb mm0, mm1\n", "\n"})
        for (int room = 0; room < static_cast<int>(rewrite(source).size()); ++room) {
            LimitedStream dst(room);
            EXPECT_EQ(rewriteInto(&dst, source, -1), 0) << source << " room " << room;
        }
}

// The driver's loop finds mnemonics through the index, whose keys change
// form at 16 bytes: names on either side of that length, a longer word that
// shares a name's first bytes, and a CR inside the word.
TEST(IndexedLineLoop, MnemonicsOfEveryLengthMatchExactly) {
    const std::string names[] = {"abcdefghijklmno", "abcdefghijklmnop", "abcdefghijklmnopq", std::string(40, 'w')};
    std::string defs, source, expected;
    for (int i = 0; i < 4; ++i) {
        defs += names[i] + ",x,x,e" + std::to_string(i) + "h,\n";
        std::string upper = names[i];
        for (char& c : upper) c = static_cast<char>(c - 32);
        for (const std::string& line : {upper + " mm0, mm1", names[i] + "z mm0, mm1", names[i].substr(1) + " mm0, mm1"}) {
            source += line + "\n";
            expected += (line == upper + " mm0, mm1" ? "\tdb\t\t00fh,0e" + std::to_string(i) + "h,0c1h\t\t;" : "") + line + "\r\n";
        }
    }
    defs += "paddb,x,x,fch,\n";
    source += "pad\rdb mm0, mm1\npaddb\r mm0, mm1\n";
    expected += "pad\rdb mm0, mm1\r\npaddb\r mm0, mm1\r\n";
    JMemoryStream defStream(defs.data(), static_cast<int>(defs.size()));
    JMMXSet* table = loadDefinitions(&defStream);
    JMemoryStream src(source.data(), static_cast<int>(source.size()));
    JMemoryStream dst;
    EXPECT_EQ(convertStream(&dst, &src, table), convertCompleted);
    EXPECT_EQ(dst.bytes(), expected);
    JList::deleteList(table);
}

}  // namespace
