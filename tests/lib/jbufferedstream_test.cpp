#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "jbufferedstream.h"
#include "jmemorystream.h"

namespace {

// A memory stream that counts the calls that would be system calls on a
// file, and can be told to accept only so many bytes per write or in all.
class CountingStream : public JMemoryStream {
public:
    CountingStream() = default;
    CountingStream(const char* bytes, int count) : JMemoryStream(bytes, count) {}

    int reads = 0;
    int writes = 0;
    int seeks = 0;
    int perWrite = 1 << 30;    // bytes taken by one write at most
    long acceptTotal = 1L << 40;  // bytes taken in all before writes fail

    int read(char* buffer, int count) override {
        ++reads;
        return JMemoryStream::read(buffer, count);
    }
    int write(const char* buffer, int count) override {
        ++writes;
        if (acceptTotal <= 0) return 0;
        int n = count < perWrite ? count : perWrite;
        if (n > acceptTotal) n = static_cast<int>(acceptTotal);
        acceptTotal -= n;
        return JMemoryStream::write(buffer, n);
    }
    int seek(int32_t offset, int origin) override {
        ++seeks;
        return JMemoryStream::seek(offset, origin);
    }
};

std::string readAll(JStream& s, int chunk) {
    std::string out;
    char buf[64];
    int n;
    while ((n = s.read(buf, chunk)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

const std::string digits = "0123456789abcdefghijklmnopqrstuvwxyz";

}  // namespace

TEST(JBufferedStream, ReadsEverythingWhateverTheChunkAndCapacity) {
    for (int capacity : {1, 2, 5, 36, 37, 4096})
        for (int chunk : {1, 3, 7, 36, 64}) {
            JMemoryStream inner(digits.data(), static_cast<int>(digits.size()));
            JBufferedStream s(&inner, capacity);
            EXPECT_EQ(readAll(s, chunk), digits) << "capacity " << capacity << " chunk " << chunk;
            EXPECT_EQ(s.read(nullptr, 1), 0);
        }
}

TEST(JBufferedStream, SmallReadsCostOneInnerReadPerBlock) {
    CountingStream inner(digits.data(), static_cast<int>(digits.size()));
    JBufferedStream s(&inner, 16);
    std::string got;
    for (int i = 0; i < 36; ++i) got += s.readByte();
    EXPECT_EQ(got, digits);
    EXPECT_EQ(inner.reads, 3);  // 16 + 16 + 4 bytes
    EXPECT_EQ(s.readByte(), '\0');  // end of input
}

TEST(JBufferedStream, SeekInsideTheReadBufferMakesNoInnerCall) {
    CountingStream inner(digits.data(), static_cast<int>(digits.size()));
    JBufferedStream s(&inner, 16);
    char b[4] = {};
    ASSERT_EQ(s.read(b, 4), 4);
    int seeks = inner.seeks, reads = inner.reads;
    EXPECT_EQ(s.seek(-3, 1), 1);
    EXPECT_EQ(s.readByte(), '1');
    EXPECT_EQ(s.seek(10, 0), 1);
    EXPECT_EQ(s.readByte(), 'a');
    EXPECT_EQ(s.seek(16, 0), 1);  // the end of the block is inside it too
    EXPECT_EQ(inner.seeks, seeks);
    EXPECT_EQ(inner.reads, reads);
    EXPECT_EQ(s.readByte(), 'g');  // next block
    EXPECT_EQ(s.seek(2, 0), 1);    // back before the block: one real seek
    EXPECT_EQ(inner.seeks, seeks + 1);
    EXPECT_EQ(s.readByte(), '2');
}

TEST(JBufferedStream, SeekFromTheEndAndRefusedSeeks) {
    JMemoryStream inner(digits.data(), static_cast<int>(digits.size()));
    JBufferedStream s(&inner, 8);
    EXPECT_EQ(s.seek(-2, 2), 1);
    EXPECT_EQ(s.readByte(), 'y');
    EXPECT_EQ(s.seek(-1, 0), 0);  // before the start: refused, position kept
    EXPECT_EQ(s.readByte(), 'z');
    EXPECT_EQ(s.seek(0, 2), 1);
    char b;
    EXPECT_EQ(s.read(&b, 1), 0);
}

TEST(JBufferedStream, WritesArriveOnlyAtFlushAndInOrder) {
    CountingStream inner;
    {
        JBufferedStream s(&inner, 8);
        EXPECT_EQ(s.write("abc", 3), 3);
        EXPECT_EQ(s.writeByte('d'), 1);
        EXPECT_EQ(inner.writes, 0);
        EXPECT_EQ(s.write("efghij", 6), 6);  // overflows the buffer: abcd goes out
        EXPECT_EQ(inner.bytes(), "abcd");
        EXPECT_EQ(s.write("0123456789", 10), 10);  // larger than the buffer: straight through
        EXPECT_EQ(inner.bytes(), "abcdefghij0123456789");
        EXPECT_EQ(s.write("k", 1), 1);
        EXPECT_EQ(s.size(), 21u);  // size counts pending bytes
        EXPECT_EQ(s.write("l", 1), 1);
    }  // destruction writes back
    EXPECT_EQ(inner.bytes(), "abcdefghij0123456789kl");
}

TEST(JBufferedStream, ShortInnerWritesAreCompleted) {
    CountingStream inner;
    inner.perWrite = 3;
    JBufferedStream s(&inner, 64);
    std::string text(100, 'x');
    for (size_t i = 0; i < text.size(); ++i) text[i] = digits[i % digits.size()];
    for (size_t i = 0; i < text.size(); i += 10) EXPECT_EQ(s.write(text.data() + i, 10), 10);
    EXPECT_EQ(s.flush(), 1);
    EXPECT_EQ(inner.bytes(), text);
}

TEST(JBufferedStream, AWriteErrorSurfacesAtFlushAndStays) {
    struct Case {
        const char* what;
        long accept;
        int writes;  // 10-byte writes through a 32-byte buffer
    } cases[] = {
        {"fails at the final flush", 25, 3},
        {"fails during a buffered write", 5, 8},
        {"fails on the first byte", 0, 1},
    };
    for (const Case& c : cases) {
        CountingStream inner;
        inner.acceptTotal = c.accept;
        JBufferedStream s(&inner, 32);
        for (int i = 0; i < c.writes; ++i) s.write("0123456789", 10);
        EXPECT_EQ(s.flush(), 0) << c.what;
        EXPECT_EQ(s.flush(), 0) << c.what << ": the error is not forgotten";
        EXPECT_EQ(s.write("x", 1), 0) << c.what << ": later writes are refused";
        s.close();
        EXPECT_EQ(s.flush(), 0) << c.what << ": still reported after close";
    }
}

TEST(JBufferedStream, AWriteErrorAtCloseIsReportedByFlush) {
    CountingStream inner;
    inner.acceptTotal = 3;
    JBufferedStream s(&inner, 32);
    EXPECT_EQ(s.write("abcdef", 6), 6);  // only buffered so far
    s.close();
    EXPECT_EQ(s.flush(), 0);
    EXPECT_EQ(inner.bytes(), "abc");
}

TEST(JBufferedStream, ABigWriteThatFailsIsRefused) {
    CountingStream inner;
    inner.acceptTotal = 4;
    JBufferedStream s(&inner, 8);
    EXPECT_EQ(s.write("0123456789", 10), 0);
    EXPECT_EQ(s.flush(), 0);
}

TEST(JBufferedStream, OpenStartsAfreshAndClearsAnOldError) {
    CountingStream inner;
    inner.acceptTotal = 0;
    JBufferedStream s(&inner, 8);
    s.write("abc", 3);
    EXPECT_EQ(s.flush(), 0);
    inner.acceptTotal = 100;
    EXPECT_EQ(s.open("any", 2), 1);
    EXPECT_EQ(s.write("xyz", 3), 3);
    EXPECT_EQ(s.flush(), 1);
    EXPECT_EQ(inner.bytes(), "xyz");
}

// Random reads, writes, seeks and byte operations on a buffered stream and on
// the bare stream must give the same results and the same final bytes.
TEST(JBufferedStream, BehavesLikeTheBareStreamUnderMixedOperations) {
    for (int capacity : {1, 3, 8, 64}) {
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            JMemoryStream bare(digits.data(), 20);
            JMemoryStream inner(digits.data(), 20);
            JBufferedStream buffered(&inner, capacity);
            uint32_t x = seed;
            auto next = [&x](uint32_t n) {
                x = x * 1103515245u + 12345u;
                return (x >> 16) % n;
            };
            for (int step = 0; step < 60; ++step) {
                int op = static_cast<int>(next(6));
                int n = static_cast<int>(next(12));
                std::string trace = "cap " + std::to_string(capacity) + " seed " + std::to_string(seed) +
                                    " step " + std::to_string(step) + " op " + std::to_string(op);
                char a[16] = {}, b[16] = {};
                switch (op) {
                    case 0:
                        ASSERT_EQ(bare.read(a, n), buffered.read(b, n)) << trace;
                        ASSERT_EQ(std::string(a, 16), std::string(b, 16)) << trace;
                        break;
                    case 1:
                        ASSERT_EQ(bare.write(digits.data() + n, n), buffered.write(digits.data() + n, n)) << trace;
                        break;
                    case 2: {
                        int origin = static_cast<int>(next(3));
                        int32_t offset = static_cast<int32_t>(next(30)) - 10;
                        ASSERT_EQ(bare.seek(offset, origin), buffered.seek(offset, origin)) << trace;
                        break;
                    }
                    case 3: ASSERT_EQ(bare.readByte(), buffered.readByte()) << trace; break;
                    case 4: ASSERT_EQ(bare.writeByte('#'), buffered.writeByte('#')) << trace; break;
                    default: ASSERT_EQ(bare.size(), buffered.size()) << trace; break;
                }
            }
            ASSERT_EQ(buffered.flush(), 1);
            ASSERT_EQ(inner.bytes(), bare.bytes()) << "cap " << capacity << " seed " << seed;
        }
    }
}
