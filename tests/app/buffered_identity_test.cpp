// The fast line loop (buffered streams, lines read in blocks, the mnemonic
// index, reused strings) must write exactly the bytes the plain loop writes
// (unbuffered streams, byte-at-a-time reading, a walk of the table).
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "jbufferedstream.h"
#include "jmemorystream.h"
#include "jmmxset.h"
#include "lineprocessor.h"

namespace {

class BufferedIdentity : public ::testing::Test {
protected:
    void SetUp() override {
        std::string defs = fileText(PAKHOD_SHIPPED_DEFINITIONS);
        ASSERT_FALSE(defs.empty());
        JMemoryStream stream(defs.data(), static_cast<int>(defs.size()));
        table = loadDefinitions(&stream);
    }
    void TearDown() override { JList::deleteList(table); }

    static std::string fileText(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The plain loop: bare memory streams, no context.
    std::string plain(const std::string& source) {
        JMemoryStream src(source.data(), static_cast<int>(source.size()));
        JMemoryStream dst;
        JStreamTokenizer tokenizer;
        tokenizer.setStream(&src);
        while (processLine(&dst, &tokenizer, table) == 1) {}
        return dst.bytes();
    }

    // The fast loop: both streams buffered, a context for the whole run.
    std::string fast(const std::string& source, int capacity) {
        JMemoryStream srcInner(source.data(), static_cast<int>(source.size()));
        JMemoryStream dstInner;
        JBufferedStream src(&srcInner, capacity);
        JBufferedStream dst(&dstInner, capacity);
        JLineContext context(table);
        JStreamTokenizer tokenizer;
        tokenizer.setStream(&src);
        while (processLine(&dst, &tokenizer, table, &context) == 1) {}
        EXPECT_EQ(dst.flush(), 1);
        return dstInner.bytes();
    }

    void expectIdentical(const std::string& source, const std::string& label) {
        std::string expected = plain(source);
        EXPECT_NE(expected.find("\tdb\t\t00fh,"), std::string::npos) << label << ": nothing was encoded";
        for (int capacity : {1, 7, 64, 255, 256, 4096, JBufferedStream::defaultCapacity})
            EXPECT_TRUE(fast(source, capacity) == expected) << label << ", capacity " << capacity;
    }

    JMMXSet* table = nullptr;
};

// A deterministic mix of every kind of line, with the awkward cases: CR LF
// and lone CRs, upper case, blanks inside brackets, bad operands, NUL bytes,
// long lines and a last line without LF.
std::string mixedSource() {
    const char* const lines[] = {
        "paddb mm0, mm1",
        "\tPADDW\tMM2 , MM3\t; add words",
        "movq mm1, [esi+8]",
        "movq [edi-4], mm3",
        "movq mm0, [eax + 1000]",
        "movq mm0, [eax+ebx*4+12]",
        "movq mm7, [esp]",
        "movq mm6, [ebp]",
        "movd eax, mm2",
        "movd mm5, [ecx+edx]",
        "psrlw mm2, 4",
        "psraw mm1, 260",
        "punpcklbw mm0, [ebx-128]",
        "emms",
        "EMMS ; done",
        "label: paddb mm0, mm1",
        "paddb;x",
        "movq mm0;x",
        "paddb mm8, mm0",
        "movq mm0, [1234]",
        "mov eax, ebx",
        "; a comment",
        "",
        "   \t ",
        "row_7:",
        "\tdb\t1, 2, 3",
        "pxor mm0, mm0\r",
        "pand mm1,\rmm2",
        "paddd mm0, mm1, mm2",
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

TEST_F(BufferedIdentity, MixedSource) { expectIdentical(mixedSource(), "mixed source"); }

TEST_F(BufferedIdentity, EveryExample) {
    std::string dir = std::string(PAKHOD_SOURCE_DIR) + "/examples";
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) GTEST_SKIP() << "no examples directory";
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".asm") == 0) names.push_back(name);
    }
    closedir(d);
    for (const std::string& name : names) expectIdentical(fileText(dir + "/" + name), name);
}

// Letters in operands count in either case: registers, hex suffixes and
// prefixes, inside and outside brackets. Each row's variants must give the
// db bytes of its lower-case form (the comment keeps each line as written).
TEST_F(BufferedIdentity, OperandsReadInAnyCase) {
    const char* const rows[][3] = {
        {"paddb mm0, mm1", "PADDB MM0, MM1", "paddb Mm0, mM1"},
        {"movd eax, mm2", "MOVD EAX, MM2", "movd eAx, Mm2"},
        {"movq mm1, [esi+0ah]", "MOVQ MM1, [ESI+0AH]", "movq mm1, [Esi+0aH]"},
        {"movq mm1, [ebx+edx*4+0x7f]", "MOVQ MM1, [EBX+EDX*4+0X7F]", "movq mm1, [ebx+EDX*4+0x7F]"},
        {"movq [esp+eax*2+1000h], mm3", "MOVQ [ESP+EAX*2+1000H], MM3", "movq [esP+eaX*2+1000H], mm3"},
        {"psrlw mm2, 0fh", "PSRLW MM2, 0FH", "psrlw mm2, 0Fh"},
        {"psllq mm7, 0x3f", "PSLLQ MM7, 0X3F", "psllq mm7, 0x3F"},
        {"movd mm5, [ecx+edx]", "MOVD MM5, [ECX+EDX]", "movd mm5, [ecX+Edx]"},
    };
    auto bytesOf = [](const std::string& out) { return out.substr(0, out.find("\t\t;")); };
    for (const auto& row : rows) {
        std::string lower = fast(std::string(row[0]) + "\n", JBufferedStream::defaultCapacity);
        ASSERT_EQ(lower.compare(0, 10, "\tdb\t\t00fh,"), 0) << row[0] << " was not encoded";
        for (int k = 1; k < 3; ++k) {
            std::string variant = std::string(row[k]) + "\n";
            EXPECT_EQ(bytesOf(fast(variant, JBufferedStream::defaultCapacity)), bytesOf(lower)) << row[k];
            EXPECT_EQ(bytesOf(plain(variant)), bytesOf(lower)) << row[k];
        }
    }
}

// A destination that takes so many bytes in all, then refuses.
class RefusingStream : public JMemoryStream {
public:
    explicit RefusingStream(long room) : room(room) {}
    int write(const char* buffer, int count) override {
        int n = count < room ? count : static_cast<int>(room);
        room -= n;
        return n > 0 ? JMemoryStream::write(buffer, n) : 0;
    }
    long room;
};

// Lines are built in the buffer in place; a destination that refuses
// bytes must still fail the run, at the line or at the final flush.
TEST_F(BufferedIdentity, ARefusedWriteFailsTheRun) {
    std::string source = mixedSource();
    int whole = static_cast<int>(plain(source).size());
    for (int capacity : {7, 64, 4096})
        for (int room : {0, 1, 100, whole / 2, whole - 1}) {
            JMemoryStream srcInner(source.data(), static_cast<int>(source.size()));
            RefusingStream dstInner(room);
            JBufferedStream src(&srcInner, capacity);
            JBufferedStream dst(&dstInner, capacity);
            JLineContext context(table);
            JStreamTokenizer tokenizer;
            tokenizer.setStream(&src);
            int result;
            while ((result = processLine(&dst, &tokenizer, table, &context)) == 1) {}
            bool failed = result < 0 || dst.flush() == 0;
            EXPECT_TRUE(failed) << "capacity " << capacity << " room " << room;
        }
}
