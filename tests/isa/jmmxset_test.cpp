#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "jmemorystream.h"
#include "jmmxset.h"

namespace {

struct Record {
    std::string mnemonic;
    int32_t firstKind;
    int32_t secondKind;
    std::string opcode;
    int modrmBase;
    bool operator==(const Record& o) const {
        return mnemonic == o.mnemonic && firstKind == o.firstKind && secondKind == o.secondKind &&
               opcode == o.opcode && modrmBase == o.modrmBase;
    }
};

std::ostream& operator<<(std::ostream& out, const Record& r) {
    return out << "{" << r.mnemonic << "," << r.firstKind << "," << r.secondKind << "," << r.opcode << ","
               << r.modrmBase << "}";
}

std::vector<Record> recordsOf(JMMXSet* head) {
    std::vector<Record> records;
    for (JMMXSet* r = head->nextRecord(); r != head; r = r->nextRecord())
        records.push_back({r->mnemonic.data, r->firstKind, r->secondKind, r->opcode.data, r->modrmBase});
    return records;
}

std::vector<Record> load(const std::string& text) {
    JMemoryStream stream(text.data(), static_cast<int>(text.size()));
    JMMXSet* head = loadDefinitions(&stream);
    std::vector<Record> records = recordsOf(head);
    JList::deleteList(head);
    return records;
}

int modrmBaseOfText(const char* text) { return modrmBaseOf(JString(text)); }

}  // namespace

TEST(LoadDefinitions, RecordsInFileOrderAfterTheHead) {
    std::string text = "paddb,x,x,fch,\nmovd,r,x,7eh,\r\npsrlw,x,i,71h,d0\nmovq,m,x,7fh,\n";
    JMemoryStream stream(text.data(), static_cast<int>(text.size()));
    JMMXSet* head = loadDefinitions(&stream);
    EXPECT_EQ(head->mnemonic.length(), 0);
    EXPECT_EQ(head->firstKind, kindMmxRegister);
    EXPECT_EQ(head->modrmBase, 0);
    EXPECT_EQ(recordsOf(head), (std::vector<Record>{{"paddb", 3, 3, "fch", 0},
                                                    {"movd", 1, 3, "7eh", 0},
                                                    {"psrlw", 3, 0, "71h", 0xd0},
                                                    {"movq", 2, 3, "7fh", 0}}));
    JList::deleteList(head);
}

TEST(LoadDefinitions, EndOfTheStream) {
    // a partial last record is dropped
    EXPECT_EQ(load("a,x,x,11h,\nb,x,m"), (std::vector<Record>{{"a", 3, 3, "11h", 0}}));
    // no line end after a last non-empty field: the record stays
    EXPECT_EQ(load("a,x,x,11h,\nb,x,i,71h,f0"),
              (std::vector<Record>{{"a", 3, 3, "11h", 0}, {"b", 3, 0, "71h", 0xf0}}));
    // an empty last field closed by its comma, then no line end: the record stays
    EXPECT_EQ(load("a,x,x,11h,\nb,x,m,6fh,"),
              (std::vector<Record>{{"a", 3, 3, "11h", 0}, {"b", 3, 2, "6fh", 0}}));
    EXPECT_EQ(load("a,x,x,11h\t"), (std::vector<Record>{{"a", 3, 3, "11h", 0}}));
    // four fields and a line end are still a partial record
    EXPECT_EQ(load("a,x,x,11h,\nb,x,m,6fh\n"), (std::vector<Record>{{"a", 3, 3, "11h", 0}}));
    EXPECT_TRUE(load("").empty());
    JMMXSet* head = loadDefinitions(nullptr);
    EXPECT_EQ(head->next, head);
    JList::deleteList(head);
}

TEST(LoadDefinitions, KindLetters) {
    EXPECT_EQ(load("a,x,x,1,\nb,r,r,1,\nc,m,m,1,\nd,i,i,1,\ne,z,q,1,\nf,,,1,\ng, x, r,1,\nh,X,I,1,\n"),
              (std::vector<Record>{{"a", 3, 3, "1", 0},
                                   {"b", 1, 1, "1", 0},
                                   {"c", 2, 2, "1", 0},
                                   {"d", 3, 0, "1", 0},  // i names no first operand
                                   {"e", 3, 3, "1", 0},
                                   {"f", 3, 3, "1", 0},
                                   {"g", 3, 3, "1", 0},  // a leading blank is the first character
                                   {"h", 3, 3, "1", 0}}));
}

TEST(LoadDefinitions, ModrmBaseConversion) {
    const std::vector<std::pair<const char*, int>> rows = {
        {"d0", 0xd0}, {"f0", 0xf0}, {"e0", 0xe0}, {"ff", 0xff}, {"0a", 0x0a}, {"00", 0x00},
        {"D0", 0x40},  // 'D' counts from '0': 20 * 16, modulo 256
        {"d", 0xa0},   // the terminator is the second digit: 13 * 16 - 48
        {"0", 0xd0},   // 0 * 16 - 48, modulo 256
        {"g0", 0x70},  // 55 * 16, modulo 256
        {"d0x", 0xd0}, // only two characters count
    };
    for (const auto& row : rows) EXPECT_EQ(modrmBaseOfText(row.first), row.second) << row.first;
    EXPECT_EQ(load("a,x,i,71h,\n")[0].modrmBase, 0);  // empty field: stays 0
}

TEST(LoadDefinitions, BlankLineShiftsEveryLaterField) {
    EXPECT_EQ(load("a,x,x,11h,\n\nb,x,m,6fh,\nc,x,i,71h,d0\n"),
              (std::vector<Record>{{"a", 3, 3, "11h", 0},
                                   {"", 3, 3, "m", 0x6f},
                                   {"", 3, 3, "i", 0x71}}));  // d0 is left over
}

TEST(ShippedDefinitions, EveryRecordIsWellFormed) {
    std::ifstream in(PAKHOD_SHIPPED_DEFINITIONS, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    std::vector<Record> records = load(all.str());
    ASSERT_GE(records.size(), 104u);
    for (const Record& r : records) {
        EXPECT_FALSE(r.mnemonic.empty());
        for (char c : r.mnemonic) EXPECT_TRUE(c >= 'a' && c <= 'z') << r;  // upper case never matches
        ASSERT_EQ(r.opcode.size(), 3u) << r;
        EXPECT_EQ(r.opcode[2], 'h') << r;
        // only the shift-by-immediate forms carry a ModR/M base: mod 11 and a reg field
        EXPECT_EQ(r.secondKind == kindImmediate, r.modrmBase != 0) << r;
        if (r.modrmBase != 0) {
            EXPECT_EQ(r.modrmBase & 0xc7, 0xc0) << r;
        }
    }
}
