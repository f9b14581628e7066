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
// meets the limit is short (the bytes that fit, as a file system does) or
// refused whole.
class FailingStream : public JMemoryStream {
public:
    enum Cut { shortWrite, refuseWrite };

    FailingStream(const std::string& bytes, bool failWrites, long budget, Cut cut)
        : JMemoryStream(bytes.data(), static_cast<int>(bytes.size())),
          failWrites(failWrites), budget(budget), cut(cut) {}

    int read(char* buffer, int count) override {
        if (failWrites) return JMemoryStream::read(buffer, count);
        int allowed = count < budget ? count : static_cast<int>(budget);
        int n = allowed > 0 ? JMemoryStream::read(buffer, allowed) : 0;
        budget -= n;
        return n;
    }

    int write(const char* buffer, int count) override {
        if (!failWrites) return JMemoryStream::write(buffer, count);
        if (count > budget && (cut == refuseWrite || budget == 0)) return 0;
        int allowed = count < budget ? count : static_cast<int>(budget);
        int n = JMemoryStream::write(buffer, allowed);
        budget -= n;
        return n;
    }

private:
    bool failWrites;
    long budget;
    Cut cut;
};

// Copied and encoded lines, LF and CR LF ends, a last line without LF.
const std::string source =
    "; two rows\r\n"
    "blend:\n"
    "\tpaddb mm0, mm1\r\n"
    "\n"
    "\tpsrlw mm2, 4 ; shift\n"
    "\tmovq mm1, [esi+8]\n"
    "\tmov eax, ebx\n"
    "\temms";

// Made-up opcodes: the loop only needs lines that encode and lines that don't.
const std::string definitions =
    "paddb,x,x,a1h,\n"
    "psrlw,x,i,a2h,d0\n"
    "movq,x,m,a3h,\n"
    "emms,x,x,a4h,\n";

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override {
        JMemoryStream defs(definitions.data(), static_cast<int>(definitions.size()));
        table = loadDefinitions(&defs);
        JMemoryStream src(source.data(), static_cast<int>(source.size()));
        JMemoryStream dst;
        results = runLoop(&src, &dst);
        fullOutput = dst.bytes();
        for (size_t at = fullOutput.find('\n'); at != std::string::npos;
             at = fullOutput.find('\n', at + 1))
            lineEnds.push_back(static_cast<long>(at) + 1);
    }
    void TearDown() override { JList::deleteList(table); }

    // Results of processLine until it returns anything but 1.
    std::vector<int> runLoop(JStream* src, JStream* dst, JStreamTokenizer* tokenizer = nullptr) {
        JStreamTokenizer own;
        if (tokenizer == nullptr) tokenizer = &own;
        tokenizer->setStream(src);
        std::vector<int> seen;
        int r;
        do {
            r = processLine(dst, tokenizer, table);
            seen.push_back(r);
        } while (r == 1 && seen.size() < 100);
        return seen;
    }

    // Lines of the full output that end within the first n bytes.
    int wholeLinesWithin(long n) const {
        int lines = 0;
        for (long end : lineEnds)
            if (end <= n) ++lines;
        return lines;
    }

    JMMXSet* table = nullptr;
    std::vector<int> results;
    std::string fullOutput;
    std::vector<long> lineEnds;
};

TEST_F(FaultInjection, TheSourceHasCopiedAndEncodedLines) {
    ASSERT_EQ(lineEnds.size(), 8u);
    EXPECT_EQ(results, std::vector<int>({1, 1, 1, 1, 1, 1, 1, 1, 0}));
    int encoded = 0;
    for (size_t at = 0; (at = fullOutput.find("\tdb\t", at)) != std::string::npos; ++at) ++encoded;
    EXPECT_EQ(encoded, 4);
    EXPECT_EQ(fullOutput.back(), '\n');
}

// For every N: the lines that fit whole are reported 1, the next call
// reports -1, and the destination holds no more than the first N bytes.
TEST_F(FaultInjection, EveryWriteFailureIsReportedAndNoCutLineCountsAsWritten) {
    for (FailingStream::Cut cut : {FailingStream::shortWrite, FailingStream::refuseWrite}) {
        for (long n = 0; n < static_cast<long>(fullOutput.size()); ++n) {
            SCOPED_TRACE("cut " + std::to_string(cut) + ", budget " + std::to_string(n));
            JMemoryStream src(source.data(), static_cast<int>(source.size()));
            FailingStream dst("", true, n, cut);
            std::vector<int> seen = runLoop(&src, &dst);
            int whole = wholeLinesWithin(n);
            ASSERT_EQ(seen.size(), static_cast<size_t>(whole) + 1);
            EXPECT_EQ(seen.back(), -1);
            const std::string& got = dst.bytes();
            ASSERT_LE(got.size(), static_cast<size_t>(n));
            EXPECT_EQ(got, fullOutput.substr(0, got.size()));
            EXPECT_GE(got.size(), static_cast<size_t>(whole > 0 ? lineEnds[whole - 1] : 0));
        }
    }
}

TEST_F(FaultInjection, ABudgetOfTheWholeOutputIsNoFailure) {
    JMemoryStream src(source.data(), static_cast<int>(source.size()));
    FailingStream dst("", true, static_cast<long>(fullOutput.size()), FailingStream::refuseWrite);
    EXPECT_EQ(runLoop(&src, &dst), results);
    EXPECT_EQ(dst.bytes(), fullOutput);
}

// A failed read looks like the end of the source to the loop: the output is
// exactly that of the bytes read so far, every line still whole, and the
// tokenizer's position tells the caller how far the source was read.
TEST_F(FaultInjection, AReadFailureEndsTheSourceThereAndPositionShowsWhere) {
    for (long n = 0; n <= static_cast<long>(source.size()); ++n) {
        SCOPED_TRACE("read budget " + std::to_string(n));
        std::string prefix = source.substr(0, static_cast<size_t>(n));
        JMemoryStream prefixSrc(prefix.data(), static_cast<int>(prefix.size()));
        JMemoryStream expected;
        std::vector<int> expectedResults = runLoop(&prefixSrc, &expected);

        FailingStream src(source, false, n, FailingStream::shortWrite);
        JMemoryStream dst;
        JStreamTokenizer tokenizer;
        EXPECT_EQ(runLoop(&src, &dst, &tokenizer), expectedResults);
        EXPECT_EQ(dst.bytes(), expected.bytes());
        EXPECT_EQ(tokenizer.position, n);
        if (!dst.bytes().empty()) {
            EXPECT_EQ(dst.bytes().substr(dst.bytes().size() - 2), "\r\n");
        }
    }
}

// The driver's loop over whole streams reports both kinds of failure, so
// that it never keeps (or, in place, installs) a cut result.
TEST_F(FaultInjection, TheDriverLoopReportsEveryWriteFailure) {
    for (long n = 0; n <= static_cast<long>(fullOutput.size()); ++n) {
        SCOPED_TRACE("write budget " + std::to_string(n));
        JMemoryStream src(source.data(), static_cast<int>(source.size()));
        FailingStream dst("", true, n, FailingStream::shortWrite);
        bool complete = n == static_cast<long>(fullOutput.size());
        EXPECT_EQ(convertStream(&dst, &src, table), complete ? convertCompleted : convertWriteFailed);
    }
}

TEST_F(FaultInjection, TheDriverLoopReportsEveryReadFailure) {
    for (long n = 0; n <= static_cast<long>(source.size()); ++n) {
        SCOPED_TRACE("read budget " + std::to_string(n));
        FailingStream src(source, false, n, FailingStream::shortWrite);
        JMemoryStream dst;
        bool complete = n == static_cast<long>(source.size());
        EXPECT_EQ(convertStream(&dst, &src, table), complete ? convertCompleted : convertReadFailed);
        if (complete) {
            EXPECT_EQ(dst.bytes(), fullOutput);
        }
    }
}

}  // namespace
