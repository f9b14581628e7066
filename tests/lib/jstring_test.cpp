#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "jstring.h"

// Every array allocation of this test program goes through here, so the
// tests can see the exact size of the buffers a JString takes. Tools that
// put their own allocator in its place (valgrind) bypass it; the size checks
// are then left to the tool's own bounds checking.
namespace {
size_t lastArrayBytes = 0;
}
// Never inlined, so that a tool replacing them replaces every use.
[[gnu::noinline]] void* operator new[](std::size_t n) {
    lastArrayBytes = n;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Whether the replacement above is the one in use, found out once at start.
bool detectAllocations() {
    lastArrayBytes = 0;
    char* volatile probe = new char[7];  // volatile: the pair must not be elided
    delete[] probe;
    return lastArrayBytes == 7;
}
const bool allocationsSeen = detectAllocations();

// The most recent array allocation was n bytes (when that can be seen).
#define EXPECT_LAST_BUFFER(n) \
    if (!allocationsSeen) {                                   \
    } else                                                     \
        EXPECT_EQ(lastArrayBytes, static_cast<size_t>(n))

// What printf makes of v: an independent opinion on the decimal text.
std::string printed(long v) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld", v);
    return text;
}

// Every integer form for v must give printf's text, in exactly sized buffers.
void expectAllIntegerForms(int v) {
    const std::string want = printed(v);
    JString s;
    s.assign(v);
    EXPECT_LAST_BUFFER(want.size() + 1) << v;
    EXPECT_EQ(s.data, want);
    s.assign(static_cast<long>(v));
    EXPECT_LAST_BUFFER(want.size() + 1) << v;
    EXPECT_EQ(s.data, want);
    EXPECT_EQ(JString("<").append(v).data, "<" + want);
    EXPECT_EQ(JString("<").append(static_cast<long>(v)).data, "<" + want);
    JString tail(">");
    EXPECT_EQ((tail + v).data, ">" + want);
    EXPECT_EQ((tail + static_cast<long>(v)).data, ">" + want);
    EXPECT_EQ((v + tail).data, want + ">");
    EXPECT_EQ((static_cast<long>(v) + tail).data, want + ">");
}

}  // namespace

TEST(JString, IntegerFormsAgreeOverTheWholeRange) {
    // The limits, every power of ten and its neighbours, then a
    // pseudo-random walk over all bit patterns.
    for (int v : {0, -45, INT_MAX, INT_MIN, INT_MIN + 1}) expectAllIntegerForms(v);
    for (long p = 1; p <= INT_MAX; p *= 10)
        for (long d : {-1L, 0L, 1L})
            for (long sign : {1L, -1L}) expectAllIntegerForms(static_cast<int>(sign * (p + d)));
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1664525u + 1013904223u;
        expectAllIntegerForms(static_cast<int>(x));
    }
    // The long forms are exact beyond 32 bits too.
    EXPECT_EQ(JString().assign(LONG_MIN).data, printed(LONG_MIN));
    EXPECT_EQ(JString().assign(LONG_MAX).data, printed(LONG_MAX));
}

TEST(JString, ConstructorsAndExactSizes) {
    JString empty;
    EXPECT_LAST_BUFFER(1);
    EXPECT_STREQ(empty.data, "");
    EXPECT_EQ(empty, JString());
    JString sized(0);
    EXPECT_LAST_BUFFER(1);
    EXPECT_STREQ(sized.data, "");
    JString room(40);
    EXPECT_LAST_BUFFER(40);
    EXPECT_STREQ(room.data, "");
    JString c('q');
    EXPECT_LAST_BUFFER(2);
    EXPECT_STREQ(c.data, "q");
    EXPECT_STREQ(JString('\0').data, "");
    JString text("hello");
    EXPECT_LAST_BUFFER(6);
    JString copy(text);
    EXPECT_LAST_BUFFER(6);
    EXPECT_NE(copy.data, text.data);  // copies never share a buffer
    copy.data[0] = 'j';
    EXPECT_STREQ(text.data, "hello");
    copy.append(" world");
    EXPECT_LAST_BUFFER(12);
    copy.grow(30);
    EXPECT_LAST_BUFFER(30);
    EXPECT_STREQ(copy.data, "jello world");
    copy.release();
    EXPECT_EQ(copy.data, nullptr);
    copy.assign(-12);  // a released string takes a new text (and dies cleanly)
    EXPECT_STREQ(copy.data, "-12");
    copy.release();
    copy.allocate(3);
    EXPECT_LAST_BUFFER(3);
}

TEST(JString, BytesAfterAnEarlyZeroTakeNoPart) {
    JString s;
    s.allocate(6);
    std::memcpy(s.data, "ab\0cd", 6);
    EXPECT_EQ(s, JString("ab"));
    JString copy(s);
    EXPECT_LAST_BUFFER(3);
    EXPECT_EQ(JString("x").append(s), JString("xab"));
    EXPECT_EQ(s.append("!"), JString("ab!"));
}

TEST(JString, SelfAssignAndSelfAppend) {
    JString s("abcd");
    s.append(s);
    EXPECT_STREQ(s.data, "abcdabcd");
    s.assign("abcd");
    s.append(s.data);
    EXPECT_STREQ(s.data, "abcdabcd");
    s.append(s.data + 6);  // a pointer into its own buffer
    EXPECT_STREQ(s.data, "abcdabcdcd");
    s.append(s.data[1]);
    EXPECT_STREQ(s.data, "abcdabcdcdb");
    s.assign(s);
    EXPECT_STREQ(s.data, "abcdabcdcdb");
    s.assign(s.data);
    EXPECT_STREQ(s.data, "abcdabcdcdb");
    s.assign(s.data + 8);
    EXPECT_STREQ(s.data, "cdb");
    JString& same = s;
    s = same;
    EXPECT_STREQ(s.data, "cdb");
    s = s + s;
    EXPECT_STREQ(s.data, "cdbcdb");
}

TEST(JString, ConcatFormsLeaveTheirOperandsAlone) {
    const JString left("ab"), right("cd");
    const char* plain = "xy";
    EXPECT_STREQ((left + right).data, "abcd");
    EXPECT_STREQ((left + plain).data, "abxy");
    EXPECT_STREQ((plain + right).data, "xycd");
    EXPECT_STREQ((left + 'z').data, "abz");
    EXPECT_STREQ(('z' + right).data, "zcd");
    EXPECT_STREQ((left + '\0').data, "ab");
    EXPECT_STREQ(('\0' + right).data, "cd");
    EXPECT_STREQ((left + -7).data, "ab-7");
    EXPECT_STREQ((-7 + right).data, "-7cd");
    EXPECT_STREQ(left.data, "ab");
    EXPECT_STREQ(right.data, "cd");
    EXPECT_STREQ(plain, "xy");

    JString s("ab");
    s.append('\0');
    EXPECT_STREQ(s.data, "ab");
}

TEST(JString, EqualityIsExact) {
    struct Row {
        const char* a;
        const char* b;
        int equal;
    } rows[] = {
        {"", "", 1},       {"abc", "abc", 1}, {"abc", "abd", 0},   {"abc", "ab", 0},
        {"ab", "abc", 0},  {"abc", "ABC", 0}, {"", "a", 0},        {"\xe9", "\xc9", 0},
        {"a b", "a b", 1}, {"zab", "aab", 0},
    };
    for (const Row& row : rows) {
        JString a(row.a), b(row.b);
        EXPECT_EQ(a == b, row.equal) << row.a << " / " << row.b;
        EXPECT_EQ(a != b, 1 - row.equal) << row.a << " / " << row.b;
    }
    JString a("MixED 9"), b("mixed 9");
    a.toLower();
    b.toLower();
    EXPECT_EQ(a == b, 1);
}

TEST(JString, CaseMappingTouchesAsciiLettersOnly) {
    // Every byte value but zero; the C library in the "C" locale judges.
    char all[256];
    for (int i = 1; i < 256; ++i) all[i - 1] = static_cast<char>(i);
    all[255] = '\0';
    JString lower(all), upper(all);
    lower.toLower();
    upper.toUpper();
    ASSERT_EQ(lower.length(), 255);
    ASSERT_EQ(upper.length(), 255);
    for (int i = 1; i < 256; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(lower.data[i - 1]), std::tolower(i)) << i;
        EXPECT_EQ(static_cast<unsigned char>(upper.data[i - 1]), std::toupper(i)) << i;
    }
}
