#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "jbufferedstream.h"
#include "jmemorystream.h"

namespace {

// A memory stream that counts the calls that would be system calls on a
// file, and can be told to accept only so many bytes per write or in all.
class CountingStream : public JMemoryStream {
public:
    using JMemoryStream::JMemoryStream;
    int reads = 0, writes = 0, seeks = 0;
    int perWrite = 1 << 30;
    long acceptTotal = 1L << 40;

    int read(char* buffer, int count) override {
        ++reads;
        return JMemoryStream::read(buffer, count);
    }
    int write(const char* buffer, int count) override {
        ++writes;
        long n = std::min<long>({count, perWrite, acceptTotal});
        acceptTotal -= n;
        return n > 0 ? JMemoryStream::write(buffer, static_cast<int>(n)) : 0;
    }
    int seek(int32_t offset, int origin) override {
        ++seeks;
        return JMemoryStream::seek(offset, origin);
    }
};

const std::string digits = "0123456789abcdefghijklmnopqrstuvwxyz";

}  // namespace

// Small reads and writes, and seeks inside the buffer, make no inner call.
TEST(JBufferedStream, InnerCallsOnlyPerBlock) {
    CountingStream in(digits.data(), static_cast<int>(digits.size()));
    JBufferedStream s(&in, 16);
    std::string got;
    for (int i = 0; i < 20; ++i) got += s.readByte();
    EXPECT_EQ(got, digits.substr(0, 20));
    EXPECT_EQ(in.reads, 2);
    EXPECT_EQ(s.seek(-3, 1), 1);
    EXPECT_EQ(s.readByte(), 'h');
    EXPECT_EQ(s.seek(32, 0), 1);  // the end of the block is inside it too
    EXPECT_EQ(in.seeks, 0);
    EXPECT_EQ(s.seek(2, 0), 1);  // back before the block: one real seek
    EXPECT_EQ(in.seeks, 1);
    EXPECT_EQ(s.readByte(), '2');

    CountingStream out;
    {
        JBufferedStream w(&out, 8);
        EXPECT_EQ(w.write("abc", 3), 3);
        EXPECT_EQ(w.writeByte('d'), 1);
        EXPECT_EQ(out.writes, 0);
        EXPECT_EQ(w.write("efghij", 6), 6);  // overflows the buffer: abcd goes out
        EXPECT_EQ(out.bytes(), "abcd");
        EXPECT_EQ(w.write("0123456789", 10), 10);  // larger than the buffer: straight through
        EXPECT_EQ(out.bytes(), "abcdefghij0123456789");
        EXPECT_EQ(w.write("k", 1), 1);
    }  // destruction writes back
    EXPECT_EQ(out.bytes(), "abcdefghij0123456789k");
}

// 10-byte writes through the buffer into an inner stream that takes bytes
// in short pieces or fails after so many. A failure is reported by flush,
// stays reported (after close too) and refuses later writes until open.
TEST(JBufferedStream, WriteErrorsSurfaceAtFlushAndStay) {
    struct Case {
        const char* what;
        int capacity, perWrite, writes;
        long accept;
        bool closeFirst;
        int firstResult, flushResult;
    } cases[] = {
        {"short inner writes are completed", 64, 3, 10, 1L << 40, false, 10, 1},
        {"fails at the final flush", 32, 1 << 30, 3, 25, false, 10, 0},
        {"fails during a buffered write", 32, 1 << 30, 8, 5, false, 10, 0},
        {"fails on the first byte", 32, 1 << 30, 1, 0, false, 10, 0},
        {"fails at close", 32, 1 << 30, 1, 3, true, 10, 0},
        {"a big write fails", 8, 1 << 30, 1, 4, false, 0, 0},
    };
    for (const Case& c : cases) {
        CountingStream in;
        in.perWrite = c.perWrite;
        in.acceptTotal = c.accept;
        JBufferedStream s(&in, c.capacity);
        EXPECT_EQ(s.write(digits.data(), 10), c.firstResult) << c.what;
        for (int i = 1; i < c.writes; ++i) s.write(digits.data() + i, 10);
        if (c.closeFirst) s.close();
        EXPECT_EQ(s.flush(), c.flushResult) << c.what;
        if (c.flushResult == 1) {
            std::string all;
            for (int i = 0; i < c.writes; ++i) all += digits.substr(static_cast<size_t>(i), 10);
            EXPECT_EQ(in.bytes(), all) << c.what;
            continue;
        }
        EXPECT_LE(in.bytes().size(), static_cast<size_t>(c.accept)) << c.what;
        EXPECT_EQ(s.write("x", 1), 0) << c.what << ": later writes are refused";
        s.close();
        EXPECT_EQ(s.flush(), 0) << c.what << ": still reported after close";
        in.acceptTotal = 100;
        EXPECT_EQ(s.open("any", 2), 1);
        EXPECT_EQ(s.write("xyz", 3), 3);
        EXPECT_EQ(s.flush(), 1) << c.what << ": open clears the error";
        EXPECT_EQ(in.bytes(), "xyz");
    }
}

// Random reads, writes, seeks and byte operations on a buffered stream and on
// the bare stream must give the same results and the same final bytes.
TEST(JBufferedStream, BehavesLikeTheBareStreamUnderMixedOperations) {
    for (int capacity : {1, 3, 8, 64}) {
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            JMemoryStream bare(digits.data(), 20), inner(digits.data(), 20);
            JBufferedStream buffered(&inner, capacity);
            uint32_t x = seed;
            auto next = [&x](uint32_t n) { return ((x = x * 1103515245u + 12345u) >> 16) % n; };
            for (int step = 0; step < 60; ++step) {
                int op = static_cast<int>(next(6)), n = static_cast<int>(next(12));
                SCOPED_TRACE("cap " + std::to_string(capacity) + " seed " + std::to_string(seed) + " step " +
                             std::to_string(step) + " op " + std::to_string(op));
                char a[16] = {}, b[16] = {};
                switch (op) {
                    case 0:
                        ASSERT_EQ(bare.read(a, n), buffered.read(b, n));
                        ASSERT_EQ(std::string(a, 16), std::string(b, 16));
                        break;
                    case 1: ASSERT_EQ(bare.write(digits.data() + n, n), buffered.write(digits.data() + n, n)); break;
                    case 2: {
                        int origin = static_cast<int>(next(3));
                        int32_t offset = static_cast<int32_t>(next(30)) - 10;
                        ASSERT_EQ(bare.seek(offset, origin), buffered.seek(offset, origin));
                        break;
                    }
                    case 3: ASSERT_EQ(bare.readByte(), buffered.readByte()); break;
                    case 4: ASSERT_EQ(bare.writeByte('#'), buffered.writeByte('#')); break;
                    default: ASSERT_EQ(bare.size(), buffered.size()); break;
                }
            }
            ASSERT_EQ(buffered.flush(), 1);
            ASSERT_EQ(inner.bytes(), bare.bytes()) << "cap " << capacity << " seed " << seed;
        }
    }
}
