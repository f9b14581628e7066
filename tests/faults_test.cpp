// Streams that fail part-way, after every possible number of bytes: the line
// loop and the driver's conversion must report each failure, never count a
// cut line as written, and never take a short read for the end of the source.
#include <gtest/gtest.h>

#include <string>

#include "driver.h"
#include "encoder.h"
#include "jmmxset.h"
#include "jstreamtokenizer.h"
#include "lineprocessor.h"
#include "memory_stream.h"

namespace {

// Copied and encoded lines, LF and CR LF ends, a last line without LF.
const std::string source =
    "; two rows\r\nblend:\n\tpaddb mm0, mm1\r\n\n\tpsrlw mm2, 4 ; shift\n\tmovq mm1, [esi+8]\n"
    "\tmov eax, ebx\n" + std::string(300, 'x') + "\n\temms";

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        MemoryStream defs("paddb,x,x,a1h,\npsrlw,x,i,a2h,d0\nmovq,x,m,a3h,\nemms,x,x,a4h,\n");
        table = loadDefinitions(&defs);
        MemoryStream src(source), dst;
        ASSERT_EQ(convertStream(&dst, &src, table), convertCompleted);
        whole = dst.content;
    }
    void TearDown() override { JList::deleteList(table); }

    JMMXSet* table = nullptr;
    std::string whole;  // the complete output
};

}  // namespace

// With room for n bytes, processLine reports 1 for each line that went out
// whole and -1 for the first that did not; the driver's conversion fails.
TEST_F(Faults, EveryWriteFailureIsReported) {
    for (long n = 0; n <= static_cast<long>(whole.size()); ++n) {
        SCOPED_TRACE("room for " + std::to_string(n) + " bytes");  // the bytes written whole
        MemoryStream src(source), dst, dst2, src2(source);
        dst.writeBudget = dst2.writeBudget = n;
        JStreamTokenizer tokenizer;
        tokenizer.setStream(&src);
        long completeLines = 0;
        for (size_t at = 0; (at = whole.find('\n', at) + 1) != 0 && static_cast<long>(at) <= n;) ++completeLines;
        int result;
        long lines = 0;
        while ((result = processLine(&dst, &tokenizer, table)) == 1 && lines <= completeLines) ++lines;
        EXPECT_EQ(lines, completeLines);
        EXPECT_EQ(result, n == static_cast<long>(whole.size()) ? 0 : -1);
        EXPECT_EQ(dst.content, whole.substr(0, dst.content.size()));
        EXPECT_EQ(convertStream(&dst2, &src2, table), result == 0 ? convertCompleted : convertWriteFailed);
    }
}

// A read that fails after n bytes looks like the end of the source to the
// line loop: the output is that of the first n bytes, and the driver's
// conversion tells the short read from the end.
TEST_F(Faults, EveryReadFailureIsReported) {
    for (long n = 0; n <= static_cast<long>(source.size()); ++n) {
        SCOPED_TRACE("reads fail after " + std::to_string(n) + " bytes");
        MemoryStream prefix(source.substr(0, static_cast<size_t>(n))), expected, src(source), dst;
        convertStream(&expected, &prefix, table);
        src.readBudget = n;
        EXPECT_EQ(convertStream(&dst, &src, table),
                  n == static_cast<long>(source.size()) ? convertCompleted : convertReadFailed);
        EXPECT_EQ(dst.content, expected.content);
    }
}

// encodeInstruction, which the line loop does not call, on lines held in strings.
TEST_F(Faults, EncodeInstructionReportsAShortWrite) {
    MemoryStream room, none;
    none.writeBudget = 4;
    const JString line("\tpaddb mm0, mm1"), op1("mm0"), op2("mm1");
    EXPECT_EQ(encodeInstruction(&room, line, table->nextRecord(), op1, op2) * 10 +
                  encodeInstruction(&none, line, table->nextRecord(), op1, op2), 9);
    EXPECT_EQ(room.content, "\tdb\t\t00fh,0a1h,0c1h\t\t;\tpaddb mm0, mm1\r\n");
}
