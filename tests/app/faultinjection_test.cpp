// Fault injection through the line loop: streams that fail after N bytes
// written or read, for every N over a small source with copied and encoded
// lines. A failed write must always come back as -1, and a line reported as
// written must be in the destination whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"
#include "jmemorystream.h"
#include "jmmxset.h"
#include "jstreamtokenizer.h"
#include "lineprocessor.h"

namespace {

// A stream over memory that takes only `budget` bytes in total, read or
// written (according to `failWrites`); after that it fails. A write that
// meets the limit is short (the bytes that fit, as a file system does) or,
// with `refuse`, refused whole.
class FailingStream : public JMemoryStream {
public:
    FailingStream(const std::string& bytes, bool failWrites, long budget, bool refuse = false)
        : JMemoryStream(bytes.data(), static_cast<int>(bytes.size())),
          failWrites(failWrites), refuse(refuse), budget(budget) {}
    int read(char* buffer, int count) override {
        if (failWrites) return JMemoryStream::read(buffer, count);
        int n = JMemoryStream::read(buffer, count < budget ? count : static_cast<int>(budget));
        budget -= n;
        return n;
    }
    int write(const char* buffer, int count) override {
        if (!failWrites) return JMemoryStream::write(buffer, count);
        if (count > budget && (refuse || budget == 0)) return 0;
        int n = JMemoryStream::write(buffer, count < budget ? count : static_cast<int>(budget));
        budget -= n;
        return n;
    }

private:
    bool failWrites, refuse;
    long budget;
};

// Copied and encoded lines, LF and CR LF ends, a last line without LF.
const std::string source =
    "; two rows\r\nblend:\n\tpaddb mm0, mm1\r\n\n\tpsrlw mm2, 4 ; shift\n\tmovq mm1, [esi+8]\n"
    "\tmov eax, ebx\n\temms";

// Made-up opcodes: the loop only needs lines that encode and lines that don't.
const std::string definitions = "paddb,x,x,a1h,\npsrlw,x,i,a2h,d0\nmovq,x,m,a3h,\nemms,x,x,a4h,\n";

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override {
        JMemoryStream defs(definitions.data(), static_cast<int>(definitions.size()));
        table = loadDefinitions(&defs);
        JMemoryStream src(source.data(), static_cast<int>(source.size())), dst;
        ASSERT_EQ(runLoop(&src, &dst), std::vector<int>({1, 1, 1, 1, 1, 1, 1, 1, 0}));
        fullOutput = dst.bytes();
        for (size_t at = 0; (at = fullOutput.find('\n', at) + 1) != 0;) lineEnds.push_back(static_cast<long>(at));
        ASSERT_EQ(lineEnds.size(), 8u);
        ASSERT_EQ(lineEnds.back(), static_cast<long>(fullOutput.size()));
        int encoded = 0;
        for (size_t at = 0; (at = fullOutput.find("\tdb\t", at) + 1) != 0;) ++encoded;
        ASSERT_EQ(encoded, 4);
    }
    void TearDown() override { JList::deleteList(table); }

    // Results of processLine until it returns anything but 1.
    std::vector<int> runLoop(JStream* src, JStream* dst, JStreamTokenizer* tokenizer = nullptr) {
        JStreamTokenizer own;
        if (tokenizer == nullptr) tokenizer = &own;
        tokenizer->setStream(src);
        std::vector<int> seen;
        do seen.push_back(processLine(dst, tokenizer, table));
        while (seen.back() == 1 && seen.size() < 100);
        return seen;
    }

    JMMXSet* table = nullptr;
    std::string fullOutput;
    std::vector<long> lineEnds;
};

// For every N: the lines that fit whole are reported 1, the next call
// reports -1, and the destination holds no more than the first N bytes.
// The driver's loop reports the failure too, so that it never keeps (or, in
// place, installs) a cut result.
TEST_F(FaultInjection, EveryWriteFailureIsReportedAndNoCutLineCountsAsWritten) {
    long size = static_cast<long>(fullOutput.size());
    for (bool refuse : {false, true})
        for (long n = 0; n <= size; ++n) {
            SCOPED_TRACE("refuse " + std::to_string(refuse) + ", budget " + std::to_string(n));
            JMemoryStream src(source.data(), static_cast<int>(source.size()));
            FailingStream dst("", true, n, refuse);
            std::vector<int> seen = runLoop(&src, &dst);
            const std::string& got = dst.bytes();
            EXPECT_EQ(got, fullOutput.substr(0, got.size()));
            if (n == size) {
                EXPECT_EQ(seen.back(), 0);
                EXPECT_EQ(got, fullOutput);
            } else {
                size_t whole = 0;
                while (lineEnds[whole] <= n) ++whole;
                ASSERT_EQ(seen.size(), whole + 1);
                EXPECT_EQ(seen.back(), -1);
                ASSERT_LE(got.size(), static_cast<size_t>(n));
                EXPECT_GE(got.size(), static_cast<size_t>(whole > 0 ? lineEnds[whole - 1] : 0));
            }
            JMemoryStream src2(source.data(), static_cast<int>(source.size()));
            FailingStream dst2("", true, n, refuse);
            EXPECT_EQ(convertStream(&dst2, &src2, table), n == size ? convertCompleted : convertWriteFailed);
        }
}

// A failed read looks like the end of the source to the loop: the output is
// exactly that of the bytes read so far, every line still whole, and the
// tokenizer's position tells how far the source was read. The driver's loop
// sees that the source ended early.
TEST_F(FaultInjection, AReadFailureEndsTheSourceThereAndIsReported) {
    for (long n = 0; n <= static_cast<long>(source.size()); ++n) {
        SCOPED_TRACE("read budget " + std::to_string(n));
        std::string prefix = source.substr(0, static_cast<size_t>(n));
        JMemoryStream prefixSrc(prefix.data(), static_cast<int>(prefix.size())), expected;
        std::vector<int> expectedResults = runLoop(&prefixSrc, &expected);

        FailingStream src(source, false, n);
        JMemoryStream dst;
        JStreamTokenizer tokenizer;
        EXPECT_EQ(runLoop(&src, &dst, &tokenizer), expectedResults);
        EXPECT_EQ(dst.bytes(), expected.bytes());
        EXPECT_EQ(tokenizer.position, n);
        EXPECT_TRUE(dst.bytes().empty() || dst.bytes().substr(dst.bytes().size() - 2) == "\r\n");

        FailingStream src2(source, false, n);
        JMemoryStream dst2;
        bool complete = n == static_cast<long>(source.size());
        EXPECT_EQ(convertStream(&dst2, &src2, table), complete ? convertCompleted : convertReadFailed);
        EXPECT_TRUE(!complete || dst2.bytes() == fullOutput);
    }
}

}  // namespace
