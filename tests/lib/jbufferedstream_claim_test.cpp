// claim(): room in the buffered stream's own buffer, filled in place. The
// bytes, the logical position and the failure reporting must be those of
// the same bytes handed to write().
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "jbufferedstream.h"
#include "jmemorystream.h"

namespace {

// A memory stream that takes only so many bytes in all, then refuses.
class LimitedStream : public JMemoryStream {
public:
    LimitedStream() = default;
    explicit LimitedStream(long room) : room(room) {}
    long room = 1L << 40;
    int write(const char* buffer, int count) override {
        if (room <= 0) return 0;
        int n = count < room ? count : static_cast<int>(room);
        room -= n;
        return JMemoryStream::write(buffer, n);
    }
};

// Puts text into the stream through JWriteSpace (claim, or write when the
// stream offers no room); 1 when it was taken.
int putThroughSpace(JStream& stream, const std::string& text) {
    JWriteSpace space(&stream, static_cast<int>(text.size()));
    std::memcpy(space.bytes, text.data(), text.size());
    return space.finish();
}

const char* const pieces[] = {"a", "bc", "", "defgh", "ijklmnopqrstuvwxyz", "0123456789", "!"};

}  // namespace

TEST(JBufferedStreamClaim, InPlaceAndWrittenPiecesGiveTheSameBytes) {
    std::string expected;
    for (const char* p : pieces) expected += p;
    for (int capacity : {1, 2, 3, 7, 18, 19, 64, 4096})
        for (int split = 0; split < 2; ++split) {
            JMemoryStream inner;
            JBufferedStream s(&inner, capacity);
            int i = 0;
            for (const char* p : pieces) {
                std::string text(p);
                if ((i++ + split) % 2 == 0)
                    EXPECT_EQ(putThroughSpace(s, text), 1);
                else
                    EXPECT_EQ(s.write(text.data(), static_cast<int>(text.size())), static_cast<int>(text.size()));
            }
            EXPECT_EQ(s.seek(0, 1), 1);
            EXPECT_EQ(s.flush(), 1);
            EXPECT_EQ(inner.bytes(), expected) << "capacity " << capacity << " split " << split;
        }
}

TEST(JBufferedStreamClaim, ClaimAfterReadingWritesAtTheLogicalPosition) {
    std::string text = "abcdefgh";
    JMemoryStream inner(text.data(), static_cast<int>(text.size()));
    JBufferedStream s(&inner, 4);
    char two[2];
    ASSERT_EQ(s.read(two, 2), 2);
    char* room = s.claim(3);
    ASSERT_NE(room, nullptr);
    std::memcpy(room, "XYZ", 3);
    ASSERT_EQ(s.seek(0, 1), 1);  // the position moves past the claimed bytes
    char next = s.readByte();
    EXPECT_EQ(next, 'f');
    EXPECT_EQ(s.flush(), 1);
    EXPECT_EQ(inner.bytes(), "abXYZfgh");
}

TEST(JBufferedStreamClaim, NoRoomBeyondTheCapacityOrAfterAFailedWrite) {
    JMemoryStream inner;
    JBufferedStream small(&inner, 4);
    EXPECT_EQ(small.claim(5), nullptr);
    EXPECT_EQ(putThroughSpace(small, "longer than four"), 1);  // written straight through
    EXPECT_EQ(small.flush(), 1);
    EXPECT_EQ(inner.bytes(), "longer than four");

    LimitedStream refusing(3);
    JBufferedStream s(&refusing, 4);
    EXPECT_EQ(putThroughSpace(s, "abcd"), 1);  // buffered, not yet written
    EXPECT_EQ(putThroughSpace(s, "ef"), 0);  // making room writes "abcd" back, which fails
    EXPECT_EQ(s.claim(1), nullptr);
    EXPECT_EQ(s.flush(), 0);
}

TEST(JBufferedStreamClaim, AStreamWithoutBufferTakesTheBytesByWrite) {
    JMemoryStream plain;
    EXPECT_EQ(plain.claim(4), nullptr);
    EXPECT_EQ(putThroughSpace(plain, "text"), 1);
    std::string longText(JWriteSpace::localSize + 10, 'q');
    EXPECT_EQ(putThroughSpace(plain, longText), 1);
    EXPECT_EQ(plain.bytes(), "text" + longText);

    LimitedStream refusing(2);
    EXPECT_EQ(putThroughSpace(refusing, "abc"), 0);
}
