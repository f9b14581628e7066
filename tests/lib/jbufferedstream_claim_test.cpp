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
    explicit LimitedStream(long room = 1L << 40) : room(room) {}
    long room;
    int write(const char* buffer, int count) override {
        int n = count < room ? count : static_cast<int>(room);
        room -= n;
        return n > 0 ? JMemoryStream::write(buffer, n) : 0;
    }
};

// Puts text into the stream through JWriteSpace (claim, or write when the
// stream offers no room); 1 when it was taken.
int putThroughSpace(JStream& stream, const std::string& text) {
    JWriteSpace space(&stream, static_cast<int>(text.size()));
    std::memcpy(space.bytes, text.data(), text.size());
    return space.finish();
}

}  // namespace

TEST(JBufferedStreamClaim, ClaimAfterReadingWritesAtTheLogicalPosition) {
    std::string text = "abcdefgh";
    JMemoryStream inner(text.data(), static_cast<int>(text.size()));
    JBufferedStream s(&inner, 4);
    char two[2];
    ASSERT_EQ(s.read(two, 2), 2);
    char* room = s.claim(3);
    ASSERT_NE(room, nullptr);
    std::memcpy(room, "XYZ", 3);
    EXPECT_EQ(s.readByte(), 'f');  // the position moved past the claimed bytes
    EXPECT_EQ(s.flush(), 1);
    EXPECT_EQ(inner.bytes(), "abXYZfgh");
}

// Without room (too big, a plain stream, a failed write) the bytes go by
// write(), and a refusal is reported.
TEST(JBufferedStreamClaim, NoRoomFallsBackToWriteAndRefusalsAreReported) {
    LimitedStream inner;
    JBufferedStream small(&inner, 4);
    EXPECT_EQ(small.claim(5), nullptr);
    EXPECT_EQ(putThroughSpace(small, "longer than four"), 1);
    EXPECT_EQ(small.flush(), 1);
    EXPECT_EQ(inner.bytes(), "longer than four");

    LimitedStream plain;
    EXPECT_EQ(plain.claim(4), nullptr);
    std::string longText(JWriteSpace::localSize + 10, 'q');
    EXPECT_EQ(putThroughSpace(plain, "text") + putThroughSpace(plain, longText), 2);
    EXPECT_EQ(plain.bytes(), "text" + longText);
    plain.room = 2;
    EXPECT_EQ(putThroughSpace(plain, "abc"), 0);

    LimitedStream refusing(3);
    JBufferedStream s(&refusing, 4);
    EXPECT_EQ(putThroughSpace(s, "abcd"), 1);  // buffered, not yet written
    EXPECT_EQ(putThroughSpace(s, "ef"), 0);  // making room writes "abcd" back, which fails
    EXPECT_EQ(s.claim(1), nullptr);
    EXPECT_EQ(s.flush(), 0);
}
