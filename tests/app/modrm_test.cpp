#include <gtest/gtest.h>

#include <string>

#include "modrm.h"
#include "operand.h"

namespace {

// The decision for one memory operand text with reg 1, as "mod rm [scale index base] dispsize".
std::string decision(const char* text) {
    Address address;
    Encoding e;
    if (!readAddress(text, &address)) return "unreadable";
    if (!decideMemoryForm(1, address, &e)) return "no encoding";
    std::string d = std::to_string(e.mod) + " " + std::to_string(e.rm);
    if (e.hasSib)
        d += " [" + std::to_string(e.sibScale) + " " + std::to_string(e.sibIndex) + " " +
             std::to_string(e.sibBase) + "]";
    return d + " " + std::to_string(e.displacementSize);
}

}  // namespace

TEST(ModrmDecision, MemoryFormsAsRecords) {
    const std::pair<const char*, const char*> rows[] = {
        {"[eax]", "0 0 0"},
        {"[esp]", "0 4 [0 4 4] 0"},         // esp base: SIB with no index
        {"[ebp]", "1 5 1"},                 // ebp base: zero disp8
        {"[esi+8]", "1 6 1"},
        {"[esi+128]", "2 6 4"},
        {"[eax+ebx]", "0 4 [0 0 3] 0"},     // first word index, second base
        {"[esp+eax]", "0 4 [0 0 4] 0"},     // esp first: swapped
        {"[eax+ebp]", "1 4 [0 0 5] 1"},     // SIB base ebp: zero disp8
        {"[ebx*4+8]", "0 4 [2 3 5] 4"},     // no base: disp32
        {"[ecx+edx*8-1]", "1 4 [3 2 1] 1"},
        {"[esp*2]", "no encoding"},
        {"[esp+esp]", "no encoding"},
        {"[12]", "unreadable"},
    };
    for (const auto& row : rows) EXPECT_EQ(decision(row.first), row.second) << row.first;
}

TEST(ModrmDecision, BytesInFixedOrder) {
    Address address;
    Encoding e;
    ASSERT_TRUE(readAddress("[esp+eax*2+1000]", &address));
    ASSERT_TRUE(decideMemoryForm(7, address, &e));
    uint8_t bytes[maxEncodingBytes];
    ASSERT_EQ(encodingBytes(e, bytes), 6);
    const uint8_t expected[] = {0xbc, 0x44, 0xe8, 0x03, 0x00, 0x00};  // ModR/M, SIB, disp32
    for (int i = 0; i < 6; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;
    Encoding shift = decideImmediateForm(0xf0, 3, 0x81);
    ASSERT_EQ(encodingBytes(shift, bytes), 2);
    EXPECT_EQ(bytes[0], 0xf3);
    EXPECT_EQ(bytes[1], 0x81);
}

TEST(OperandReader, Numbers) {
    const std::pair<const char*, long> good[] = {{"0", 0},     {"10", 10},   {"10h", 16},  {"0ffh", 255},
                                                 {"0x1f", 31}, {"-0x10", -16}, {"+7", 7},  {"4294967295", 4294967295L}};
    for (const auto& row : good) {
        int64_t v = 0;
        EXPECT_TRUE(readNumber(row.first, &v)) << row.first;
        EXPECT_EQ(v, row.second) << row.first;
    }
    for (const char* bad : {"", "-", "h", "ffh", "0x", "12ab", "1 0", "0x1g", "10hh", "--1", "1.5"}) {
        int64_t v = 0;
        EXPECT_FALSE(readNumber(bad, &v)) << bad;
    }
}
