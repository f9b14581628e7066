#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#include "jstring.h"

namespace {

// Reads and rewrites the last of the n bytes the string claims to hold;
// under the sanitizers and valgrind a smaller buffer is an error.
void expectBuffer(JString& s, int n) {
    volatile char last = s.data[n - 1];
    s.data[n - 1] = last;
}

// Every integer form for v must give printf's text (as std::to_string), in buffers of the exact size.
void expectAllIntegerForms(int v) {
    const std::string want = std::to_string(v);
    JString s, t;
    EXPECT_EQ(s.assign(v).data, want);
    expectBuffer(s, static_cast<int>(want.size()) + 1);
    EXPECT_EQ(t.assign(static_cast<long>(v)).data, want);
    const JString tail(">");
    EXPECT_EQ(JString("<").append(v).data, "<" + want);
    EXPECT_EQ(JString("<").append(static_cast<long>(v)).data, "<" + want);
    EXPECT_EQ(std::string((tail + v).data) + (static_cast<long>(v) + tail).data, ">" + want + want + ">");
    EXPECT_EQ(std::string((v + tail).data) + (tail + static_cast<long>(v)).data, want + ">>" + want);
}

}  // namespace

TEST(JString, IntegerFormsAgreeOverTheWholeRange) {
    // The limits, every power of ten and its neighbours, then a pseudo-random walk over all bit patterns.
    for (int v : {0, -45, INT_MAX, INT_MIN, INT_MIN + 1}) expectAllIntegerForms(v);
    for (long p = 1; p <= INT_MAX; p *= 10)
        for (long d : {-p - 1, -p, -p + 1, p - 1, p, p + 1}) expectAllIntegerForms(static_cast<int>(d));
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) expectAllIntegerForms(static_cast<int>(x = x * 1664525u + 1013904223u));
    EXPECT_STREQ(JString().assign(LONG_MIN).data, "-9223372036854775808");  // exact beyond 32 bits too
    EXPECT_STREQ(JString().assign(LONG_MAX).data, "9223372036854775807");
}

TEST(JString, ConstructorsAndSizes) {
    JString empty, sized(0), room(40), c('q'), nul('\0'), text("hello"), copy(text);
    const std::pair<JString*, int> buffers[] = {{&empty, 1}, {&sized, 1}, {&room, 40}, {&c, 2}, {&text, 6}, {&copy, 6}};
    for (const auto& b : buffers) expectBuffer(*b.first, b.second);
    EXPECT_EQ(std::string(empty.data) + sized.data + room.data + c.data + nul.data, "q");
    EXPECT_NE(copy.data, text.data);  // copies never share a buffer
    copy.data[0] = 'j';
    EXPECT_STREQ(text.data, "hello");
    expectBuffer(copy.append(" world"), 12);
    copy.grow(30);
    expectBuffer(copy, 30);
    EXPECT_STREQ(copy.data, "jello world");
    copy.release();
    EXPECT_EQ(copy.data, nullptr);
    EXPECT_STREQ(copy.assign(-12).data, "-12");  // a released string takes a new text (and dies cleanly)
    copy.allocate(3);
    expectBuffer(copy, 3);
    // Bytes after an early zero take no part.
    copy.allocate(6);
    std::memcpy(copy.data, "ab\0cd", 6);
    EXPECT_EQ(copy, JString("ab"));
    JString again(copy);
    expectBuffer(again, 3);
    EXPECT_EQ(JString("x").append(copy), JString("xab"));
    EXPECT_EQ(copy.append("!"), JString("ab!"));
}

TEST(JString, SelfAssignAndSelfAppend) {
    JString s("abcd");
    EXPECT_STREQ(s.append(s).data, "abcdabcd");
    EXPECT_STREQ(s.assign("abcd").append(s.data).data, "abcdabcd");
    EXPECT_STREQ(s.append(s.data + 6).data, "abcdabcdcd");  // a pointer into its own buffer
    EXPECT_STREQ(s.append(s.data[1]).data, "abcdabcdcdb");
    EXPECT_STREQ(s.assign(s).data, "abcdabcdcdb");
    EXPECT_STREQ(s.assign(s.data).data, "abcdabcdcdb");
    EXPECT_STREQ(s.assign(s.data + 8).data, "cdb");
    JString& same = s;
    s = same;
    EXPECT_STREQ(s.data, "cdb");
    s = s + s;
    EXPECT_STREQ(s.data, "cdbcdb");
}

TEST(JString, ConcatFormsLeaveTheirOperandsAlone) {
    const JString l("ab"), r("cd");
    const std::pair<JString, const char*> rows[] = {
        {l + r, "abcd"}, {l + "xy", "abxy"}, {"xy" + r, "xycd"},   {l + 'z', "abz"},       {'z' + r, "zcd"},
        {l + '\0', "ab"}, {'\0' + r, "cd"},  {l + -7, "ab-7"},     {-7 + r, "-7cd"},       {l + 9L, "ab9"},
        {JString(l).append('\0'), "ab"},
    };
    for (const auto& row : rows) EXPECT_STREQ(row.first.data, row.second);
    EXPECT_EQ(std::string(l.data) + r.data, "abcd");
}

TEST(JString, EqualityIsExact) {
    const std::tuple<const char*, const char*, int> rows[] = {
        {"", "", 1},    {"abc", "abc", 1}, {"abc", "abd", 0},       {"abc", "ab", 0},   {"ab", "abc", 0},
        {"abc", "ABC", 0}, {"", "a", 0},   {"\xe9", "\xc9", 0},     {"a b", "a b", 1},  {"zab", "aab", 0},
    };
    for (const auto& [a, b, equal] : rows) {
        EXPECT_EQ(JString(a) == JString(b), equal) << a << " / " << b;
        EXPECT_EQ(JString(a) != JString(b), 1 - equal) << a << " / " << b;
    }
}

TEST(JString, CaseMappingTouchesAsciiLettersOnly) {
    // Every byte value but zero; the C library in the "C" locale judges.
    char all[256];
    for (int i = 1; i < 256; ++i) all[i - 1] = static_cast<char>(i);
    all[255] = '\0';
    JString lower(all), upper(all);
    lower.toLower();
    upper.toUpper();
    ASSERT_EQ(lower.length() + upper.length(), 510);
    for (int i = 1; i < 256; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(lower.data[i - 1]), std::tolower(i)) << i;
        EXPECT_EQ(static_cast<unsigned char>(upper.data[i - 1]), std::toupper(i)) << i;
    }
}
