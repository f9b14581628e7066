#include <gtest/gtest.h>

#include <string>

#include "jmemorystream.h"
#include "jmmxset.h"
#include "lineprocessor.h"

namespace {

// A small table in file order; movq's register form comes before its memory
// forms so that first-fit order is visible.
const char definitions[] =
    "paddb,x,x,fch,\r\n"
    "pxor,x,x,efh,\r\n"
    "psrlw,x,x,d1h,\r\n"
    "psrlw,x,i,71h,d0\r\n"
    "movq,x,x,6fh,\r\n"
    "movq,x,m,6fh,\r\n"
    "movq,m,x,7fh,\r\n"
    "movd,r,x,7eh,\r\n"
    "emms,x,x,77h,\r\n";

class LineLoop : public ::testing::Test {
protected:
    void SetUp() override {
        JMemoryStream defs(definitions, sizeof definitions - 1);
        table = loadDefinitions(&defs);
    }
    void TearDown() override { JList::deleteList(table); }

    // Runs the whole loop over `source`; returns the output bytes.
    std::string rewrite(const std::string& source, int* lines = nullptr) {
        JMemoryStream src(source.data(), static_cast<int>(source.size()));
        JMemoryStream dst;
        JStreamTokenizer tokenizer;
        tokenizer.setStream(&src);
        int n = 0;
        int result;
        while ((result = processLine(&dst, &tokenizer, table)) == 1) ++n;
        EXPECT_EQ(result, 0);
        if (lines) *lines = n;
        return dst.bytes();
    }

    JMMXSet* table = nullptr;
};

struct Case {
    const char* line;
    const char* output;  // nullptr: copied unchanged
};

const Case lineCases[] = {
    {"", nullptr},
    {"; comment", nullptr},
    {"   \t ", nullptr},
    {"label: paddb mm0, mm1", nullptr},
    {"paddb mm0, mm1", "\tdb\t\t00fh,0fch,0c1h\t\t;paddb mm0, mm1"},
    {"paddb mm0, mm1 ; add", "\tdb\t\t00fh,0fch,0c1h\t\t;paddb mm0, mm1 ; add"},
    {"paddb mm0, mm1;add", "\tdb\t\t00fh,0fch,0c1h\t\t;paddb mm0, mm1;add"},
    {"\tPADDB  MM0 , MM1", "\tdb\t\t00fh,0fch,0c1h\t\t;\tPADDB  MM0 , MM1"},
    {"paddb mm0, mm1  \t", "\tdb\t\t00fh,0fch,0c1h\t\t;paddb mm0, mm1  \t"},
    {"paddb mm0 mm1", "\tdb\t\t00fh,0fch,0c1h\t\t;paddb mm0 mm1"},
    {"movq mm0, [eax + 8]", "\tdb\t\t00fh,06fh,040h,008h\t\t;movq mm0, [eax + 8]"},
    {"movq mm0, [eax ; 8]", nullptr},
    {"movq mm1, mm2", "\tdb\t\t00fh,06fh,0cah\t\t;movq mm1, mm2"},
    {"movq [edi-4], mm3", "\tdb\t\t00fh,07fh,05fh,0fch\t\t;movq [edi-4], mm3"},
    {"psrlw mm2, 4", "\tdb\t\t00fh,071h,0d2h,004h\t\t;psrlw mm2, 4"},
    {"psrlw mm2, mm3", "\tdb\t\t00fh,0d1h,0d3h\t\t;psrlw mm2, mm3"},
    {"movd eax, mm2", "\tdb\t\t00fh,07eh,0d0h\t\t;movd eax, mm2"},
    {"EMMS", "\tdb\t\t00fh,077h\t\t;EMMS"},
    {"emms ; leave MMX state", "\tdb\t\t00fh,077h\t\t;emms ; leave MMX state"},
    {"mov eax, ebx", nullptr},
    {"paddb;x", nullptr},
    {"movq mm0;x", nullptr},
    {"paddb mm0, xmm1", nullptr},
    // A ';' outside brackets ends the operands: the commented-out second
    // operand is not taken.
    {"pxor mm0 ; mm1 is zero", nullptr},
    {"pxor mm0, ; mm1", nullptr},
    // More than two operands: not what any definition means.
    {"paddb mm0, mm1, mm2", nullptr},
    {"psrlw mm2, 4 8", nullptr},
    {"movq mm0, [eax] + 8", nullptr},
};

TEST_F(LineLoop, EncodesOrCopiesEachLine) {
    for (const Case& c : lineCases) {
        std::string expected = std::string(c.output ? c.output : c.line) + "\r\n";
        EXPECT_EQ(rewrite(std::string(c.line) + "\n"), expected) << "line: " << c.line;
    }
}

TEST_F(LineLoop, EveryLineEndsInCrLfWhateverTheSourceUsed) {
    int lines = 0;
    std::string out = rewrite("a\nb\r\nemms\n\nc", &lines);
    EXPECT_EQ(out, "a\r\nb\r\n\tdb\t\t00fh,077h\t\t;emms\r\n\r\nc\r\n");
    EXPECT_EQ(lines, 5);
    EXPECT_EQ(rewrite(""), "");
    EXPECT_EQ(rewrite("x\r"), "x\r\n");
}

TEST_F(LineLoop, LongLinesAndInnerCarriageReturnsSurvive) {
    std::string long300(300, 'q');
    std::string long255 = "; " + std::string(253, 'c');
    std::string inner = "mov eax, 1\rmov ebx, 2";
    std::string source = long300 + "\n" + long255 + "\r\n" + inner + "\n";
    EXPECT_EQ(rewrite(source), long300 + "\r\n" + long255 + "\r\n" + inner + "\r\n");
    std::string padded = "paddb mm0, mm1 ;" + std::string(290, 'z');
    EXPECT_EQ(rewrite(padded + "\n"), "\tdb\t\t00fh,0fch,0c1h\t\t;" + padded + "\r\n");
}

// A destination that accepts a fixed number of bytes, then nothing.
class FullStream : public JMemoryStream {
public:
    explicit FullStream(int room) : room(room) {}
    int write(const char* buffer, int count) override {
        int n = count < room ? count : room;
        room -= n;
        return n > 0 ? JMemoryStream::write(buffer, n) : 0;
    }
    int room;
};

TEST_F(LineLoop, ShortWritesAreReportedForCopiedAndEncodedLines) {
    const char* sources[] = {"mov eax, ebx\n", "paddb mm0, mm1\n", "\n"};
    for (const char* source : sources) {
        std::string text(source);
        int whole = static_cast<int>(rewrite(text).size());
        for (int room = 0; room < whole; ++room) {
            JMemoryStream src(text.data(), static_cast<int>(text.size()));
            FullStream dst(room);
            JStreamTokenizer tokenizer;
            tokenizer.setStream(&src);
            EXPECT_EQ(processLine(&dst, &tokenizer, table), -1) << source << " room " << room;
        }
    }
}

}  // namespace
