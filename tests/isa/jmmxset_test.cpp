#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "jmemorystream.h"
#include "jmmxset.h"

namespace {

// One record as "mnemonic first second opcode modrmBase(hex)".
std::string textOf(const JMMXSet* r) {
    std::ostringstream out;
    out << r->mnemonic.data << ' ' << r->firstKind << ' ' << r->secondKind << ' ' << r->opcode.data << ' ' << std::hex
        << static_cast<int>(r->modrmBase);
    return out.str();
}

// Every record after the head, each followed by "; ".
std::string load(const std::string& text) {
    JMemoryStream stream(text.data(), static_cast<int>(text.size()));
    JMMXSet* head = loadDefinitions(&stream);
    std::string records;
    for (JMMXSet* r = head->nextRecord(); r != head; r = r->nextRecord()) records += textOf(r) + "; ";
    JList::deleteList(head);
    return records;
}

}  // namespace

TEST(LoadDefinitions, RecordsGolden) {
    const std::pair<std::string, const char*> rows[] = {
        {"paddb,x,x,fch,\nmovd,r,x,7eh,\r\npsrlw,x,i,71h,d0\nmovq,m,x,7fh,\n",
         "paddb 3 3 fch 0; movd 1 3 7eh 0; psrlw 3 0 71h d0; movq 2 3 7fh 0; "},
        {"a,x,x,11h,\nb,x,m", "a 3 3 11h 0; "},                               // a partial last record is dropped
        {"a,x,x,11h,\nb,x,i,71h,f0", "a 3 3 11h 0; b 3 0 71h f0; "},          // no line end after the last field
        {"a,x,x,11h,\nb,x,m,6fh,", "a 3 3 11h 0; b 3 2 6fh 0; "},            // an empty last field closed by its comma
        {"a,x,x,11h\t", "a 3 3 11h 0; "},
        {"a,x,x,11h,\nb,x,m,6fh\n", "a 3 3 11h 0; "},                         // four fields and a line end: partial
        {"", ""},
        // kind letters: i names no first operand; a leading blank is the first character
        {"a,x,x,1,\nb,r,r,1,\nc,m,m,1,\nd,i,i,1,\ne,z,q,1,\nf,,,1,\ng, x, r,1,\nh,X,I,1,\n",
         "a 3 3 1 0; b 1 1 1 0; c 2 2 1 0; d 3 0 1 0; e 3 3 1 0; f 3 3 1 0; g 3 3 1 0; h 3 3 1 0; "},
        {"a,x,i,71h,\n", "a 3 0 71h 0; "},                                   // an empty ModR/M field stays 0
        // a blank line shifts every later field
        {"a,x,x,11h,\n\nb,x,m,6fh,\nc,x,i,71h,d0\n", "a 3 3 11h 0;  3 3 m 6f;  3 3 i 71; "},
    };
    for (const auto& row : rows) EXPECT_EQ(load(row.first), row.second) << row.first;
    JMMXSet* head = loadDefinitions(nullptr);
    EXPECT_EQ(textOf(head) + (head->next == head ? " empty" : ""), " 3 3  0 empty");  // the head is the sentinel
    JList::deleteList(head);
}

TEST(LoadDefinitions, ModrmBaseConversion) {
    // Two lower-case hex digits; anything else counts from '0', modulo 256: "D0" is 20 * 16, in "d" the
    // terminator is the second digit (13 * 16 - 48), and a third character takes no part.
    const std::pair<const char*, int> rows[] = {{"d0", 0xd0}, {"f0", 0xf0}, {"ff", 0xff}, {"0a", 0x0a}, {"00", 0x00},
                                                {"D0", 0x40}, {"d", 0xa0},   {"0", 0xd0},  {"d0x", 0xd0}};
    for (const auto& row : rows) EXPECT_EQ(modrmBaseOf(JString(row.first)), row.second) << row.first;
}

TEST(ShippedDefinitions, EveryRecordIsWellFormed) {
    std::ostringstream all;
    all << std::ifstream(PAKHOD_SHIPPED_DEFINITIONS, std::ios::binary).rdbuf();
    const std::string text = all.str();
    JMemoryStream stream(text.data(), static_cast<int>(text.size()));
    JMMXSet* head = loadDefinitions(&stream);
    int records = 0;
    for (JMMXSet* r = head->nextRecord(); r != head; r = r->nextRecord(), ++records) {
        const std::string m = r->mnemonic.data, op = r->opcode.data;
        EXPECT_TRUE(!m.empty() && m.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos)
            << textOf(r);  // upper case never matches
        EXPECT_TRUE(op.size() == 3 && op[2] == 'h') << textOf(r);
        // only the shift-by-immediate forms carry a ModR/M base: mod 11 and a reg field
        EXPECT_EQ(r->secondKind == kindImmediate, r->modrmBase != 0) << textOf(r);
        EXPECT_TRUE(r->modrmBase == 0 || (r->modrmBase & 0xc7) == 0xc0) << textOf(r);
    }
    EXPECT_GE(records, 104);
    JList::deleteList(head);
}
