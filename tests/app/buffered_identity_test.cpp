// The fast line loop (buffered streams, lines read in blocks, the mnemonic
// index, reused strings) must write exactly the bytes the plain loop writes
// (unbuffered streams, byte-at-a-time reading, a walk of the table).
#include <gtest/gtest.h>

#include <dirent.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

#include "jbufferedstream.h"
#include "app/limited_stream.h"
#include "jmemorystream.h"
#include "jmmxset.h"
#include "lineprocessor.h"

namespace {

std::string fileText(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class BufferedIdentity : public ::testing::Test {
protected:
    void SetUp() override {
        std::string defs = fileText(PAKHOD_SHIPPED_DEFINITIONS);
        ASSERT_FALSE(defs.empty());
        JMemoryStream stream(defs.data(), static_cast<int>(defs.size()));
        table = loadDefinitions(&stream);
    }
    void TearDown() override { JList::deleteList(table); }

    // Runs the loop into out; capacity 0 is the plain loop (bare streams, no
    // context), otherwise both streams are buffered with one context for the
    // run. True when the run, including the final flush, succeeded.
    bool run(const std::string& source, int capacity, JMemoryStream& out) {
        JMemoryStream srcInner(source.data(), static_cast<int>(source.size()));
        JBufferedStream src(&srcInner, capacity + 1), dst(&out, capacity + 1);
        JLineContext context(table);
        JStreamTokenizer tokenizer;
        tokenizer.setStream(capacity ? static_cast<JStream*>(&src) : &srcInner);
        int r;
        while ((r = processLine(capacity ? static_cast<JStream*>(&dst) : &out, &tokenizer, table,
                                capacity ? &context : nullptr)) == 1) {}
        return r == 0 && dst.flush() == 1;
    }
    std::string output(const std::string& source, int capacity) {
        JMemoryStream out;
        EXPECT_TRUE(run(source, capacity, out));
        return out.bytes();
    }

    void expectIdentical(const std::string& source, const std::string& label) {
        std::string expected = output(source, 0);
        EXPECT_NE(expected.find("\tdb\t\t00fh,"), std::string::npos) << label << ": nothing was encoded";
        for (int capacity : {1, 7, 64, 255, 256, 4096, JBufferedStream::defaultCapacity})
            EXPECT_TRUE(output(source, capacity) == expected) << label << ", capacity " << capacity;
    }

    JMMXSet* table = nullptr;
};

// A deterministic mix of every kind of line, with the awkward cases: CR LF
// and lone CRs, upper case, blanks inside brackets, bad operands, NUL bytes,
// long lines and a last line without LF.
std::string mixedSource() {
    const char* const lines[] = {
        "paddb mm0, mm1", "\tPADDW\tMM2 , MM3\t; add words", "movq mm1, [esi+8]", "movq [edi-4], mm3",
        "movq mm0, [eax + 1000]", "movq mm0, [eax+ebx*4+12]", "movq mm7, [esp]", "movq mm6, [ebp]",
        "movd eax, mm2", "movd mm5, [ecx+edx]", "psrlw mm2, 4", "psraw mm1, 260", "punpcklbw mm0, [ebx-128]",
        "emms", "EMMS ; done", "label: paddb mm0, mm1", "paddb;x", "movq mm0;x", "paddb mm8, mm0",
        "movq mm0, [1234]", "mov eax, ebx", "; a comment", "", "   \t ", "row_7:", "\tdb\t1, 2, 3",
        "pxor mm0, mm0\r", "pand mm1,\rmm2", "paddd mm0, mm1, mm2",
    };
    std::string text;
    unsigned x = 12345;
    for (int i = 0; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        text += lines[(x >> 16) % (sizeof lines / sizeof lines[0])];
        text += (x >> 8) % 4 == 0 ? "\r\n" : "\n";
        if (i % 500 == 250) text += "paddb mm0, mm1 ;" + std::string(600, 'c') + "\n";
        if (i % 700 == 350) text += std::string("por mm1, mm2 ; nul") + '\0' + "after\n";
    }
    return text + "psubb mm3, mm4";
}

}  // namespace

TEST_F(BufferedIdentity, MixedSourceAndEveryExample) {
    expectIdentical(mixedSource(), "mixed source");
    std::string dir = std::string(PAKHOD_SOURCE_DIR) + "/examples";
    DIR* d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr) << dir;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".asm") == 0)
            expectIdentical(fileText(dir + "/" + name), name);
    }
    closedir(d);
}

// Letters in operands count in either case: registers, hex suffixes and
// prefixes, inside and outside brackets. Each line must give the db bytes of
// its lower-case form (the comment keeps each line as written).
TEST_F(BufferedIdentity, OperandsReadInAnyCase) {
    for (std::string line :
         {"PADDB MM0, MM1", "paddb Mm0, mM1", "MOVD EAX, MM2", "movd eAx, Mm2", "MOVQ MM1, [ESI+0AH]",
          "movq mm1, [Esi+0aH]", "MOVQ MM1, [EBX+EDX*4+0X7F]", "movq mm1, [ebx+EDX*4+0x7F]",
          "MOVQ [ESP+EAX*2+1000H], MM3", "movq [esP+eaX*2+1000H], mm3", "PSRLW MM2, 0FH", "psrlw mm2, 0Fh",
          "PSLLQ MM7, 0X3F", "psllq mm7, 0x3F", "MOVD MM5, [ECX+EDX]", "movd mm5, [ecX+Edx]"}) {
        std::string lower = line;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string bytes = output(lower + "\n", 0);
        ASSERT_EQ(bytes.compare(0, 10, "\tdb\t\t00fh,"), 0) << lower << " was not encoded";
        bytes = bytes.substr(0, bytes.find("\t\t;"));
        EXPECT_EQ(output(line + "\n", 0).substr(0, bytes.size() + 3), bytes + "\t\t;") << line;
        EXPECT_EQ(output(line + "\n", 4096).substr(0, bytes.size() + 3), bytes + "\t\t;") << line;
    }
}

// Lines are built in the buffer in place; a destination that refuses
// bytes must still fail the run, at the line or at the final flush.
TEST_F(BufferedIdentity, ARefusedWriteFailsTheRun) {
    std::string source = mixedSource();
    long whole = static_cast<long>(output(source, 0).size());
    for (int capacity : {7, 64, 4096})
        for (long room : {0L, 1L, 100L, whole / 2, whole - 1}) {
            LimitedStream out(room);
            EXPECT_FALSE(run(source, capacity, out)) << "capacity " << capacity << " room " << room;
        }
}
