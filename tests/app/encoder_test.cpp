#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "encoding_harness.h"

namespace {

struct Row {
    const char* line;
    const char* bytes;  // hex bytes, as GNU as assembles the line
};

// The db line for the given bytes: "\tdb\t\t00fh,06fh,...\t\t;line\r\n".
std::string dbLine(const std::string& bytes, const std::string& line) {
    std::istringstream in(bytes);
    std::string text = "\tdb\t\t", byte;
    for (bool first = true; in >> byte; first = false) text += (first ? "0" : ",0") + byte + "h";
    return text + "\t\t;" + line + "\r\n";
}

void expectRows(const std::vector<Row>& rows) {
    Table table = loadShippedTable();
    for (const Row& row : rows) {
        Encoded e = encodeLine(table.get(), row.line);
        EXPECT_EQ(e.result, 1) << row.line;
        EXPECT_EQ(e.text, dbLine(row.bytes, row.line)) << row.line;
    }
}

void expectNotEncoded(const std::vector<const char*>& lines) {
    Table table = loadShippedTable();
    for (const char* line : lines) {
        Encoded e = encodeLine(table.get(), line);
        EXPECT_EQ(e.result, 0) << line;
        EXPECT_EQ(e.text, "") << line;
    }
}

}  // namespace

TEST(Encoder, WorkedExamplesExactText) {
    Table table = loadShippedTable();
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"paddb mm0, mm1", "\tdb\t\t00fh,0fch,0c1h\t\t;paddb mm0, mm1\r\n"},
        {"psrlw mm2, 4", "\tdb\t\t00fh,071h,0d2h,004h\t\t;psrlw mm2, 4\r\n"},
        {"movq mm1, [esi+8]", "\tdb\t\t00fh,06fh,04eh,008h\t\t;movq mm1, [esi+8]\r\n"},
        {"movq [edi-4], mm3", "\tdb\t\t00fh,07fh,05fh,0fch\t\t;movq [edi-4], mm3\r\n"},
        {"movq mm0, [eax+1000]", "\tdb\t\t00fh,06fh,080h,0e8h,003h,000h,000h\t\t;movq mm0, [eax+1000]\r\n"},
        {"movq mm0, [eax+ebx]", "\tdb\t\t00fh,06fh,004h,003h\t\t;movq mm0, [eax+ebx]\r\n"},
        {"movd eax, mm2", "\tdb\t\t00fh,07eh,0d0h\t\t;movd eax, mm2\r\n"},
        {"EMMS", "\tdb\t\t00fh,077h\t\t;EMMS\r\n"},
        {"  PADDB  MM0 , MM1 ; add", "\tdb\t\t00fh,0fch,0c1h\t\t;  PADDB  MM0 , MM1 ; add\r\n"},
    };
    for (const auto& row : rows) {
        Encoded e = encodeLine(table.get(), row.first);
        EXPECT_EQ(e.result, 1) << row.first;
        EXPECT_EQ(e.text, row.second) << row.first;
    }
}

TEST(Encoder, AddressingGrid) {
    // Every base x {no disp, disp8, disp32} x {no index, *1, *2, *4, *8}.
    // A plain second register (*1) is the SIB base, the first the index.
    expectRows({
        {"movq mm4, [eax]", "0f 6f 20"},
        {"movq [eax+ebx*1], mm5", "0f 7f 2c 03"},
        {"movq mm6, [eax+ebx*2]", "0f 6f 34 58"},
        {"movq [eax+ebx*4], mm0", "0f 7f 04 98"},
        {"movq mm4, [eax+ebx*8]", "0f 6f 24 d8"},
        {"movq [eax+100], mm2", "0f 7f 50 64"},
        {"movq mm3, [eax+ebx*1+100]", "0f 6f 5c 03 64"},
        {"movq [eax+ebx*2+100], mm4", "0f 7f 64 58 64"},
        {"movq mm6, [eax+ebx*4+100]", "0f 6f 74 98 64"},
        {"movq [eax+ebx*8+100], mm2", "0f 7f 54 d8 64"},
        {"movq mm3, [eax+100000]", "0f 6f 98 a0 86 01 00"},
        {"movq [eax+ebx*1+100000], mm4", "0f 7f a4 03 a0 86 01 00"},
        {"movq mm5, [eax+ebx*2+100000]", "0f 6f ac 58 a0 86 01 00"},
        {"movq [eax+ebx*4+100000], mm7", "0f 7f bc 98 a0 86 01 00"},
        {"movq mm3, [eax+ebx*8+100000]", "0f 6f 9c d8 a0 86 01 00"},
        {"movq [ecx], mm7", "0f 7f 39"},
        {"movq mm0, [ecx+edi*1]", "0f 6f 04 0f"},
        {"movq [ecx+edi*2], mm1", "0f 7f 0c 79"},
        {"movq mm3, [ecx+edi*4]", "0f 6f 1c b9"},
        {"movq [ecx+edi*8], mm7", "0f 7f 3c f9"},
        {"movq mm5, [ecx-100]", "0f 6f 69 9c"},
        {"movq [ecx+edi*1-100], mm6", "0f 7f 74 0f 9c"},
        {"movq mm7, [ecx+edi*2-100]", "0f 6f 7c 79 9c"},
        {"movq [ecx+edi*4-100], mm1", "0f 7f 4c b9 9c"},
        {"movq mm5, [ecx+edi*8-100]", "0f 6f 6c f9 9c"},
        {"movq [ecx-70000], mm6", "0f 7f b1 90 ee fe ff"},
        {"movq mm7, [ecx+edi*1-70000]", "0f 6f bc 0f 90 ee fe ff"},
        {"movq [ecx+edi*2-70000], mm0", "0f 7f 84 79 90 ee fe ff"},
        {"movq mm2, [ecx+edi*4-70000]", "0f 6f 94 b9 90 ee fe ff"},
        {"movq [ecx+edi*8-70000], mm6", "0f 7f b4 f9 90 ee fe ff"},
        {"movq mm2, [edx]", "0f 6f 12"},
        {"movq [edx+ebp*1], mm3", "0f 7f 5c 15 00"},
        {"movq mm4, [edx+ebp*2]", "0f 6f 24 6a"},
        {"movq [edx+ebp*4], mm6", "0f 7f 34 aa"},
        {"movq mm2, [edx+ebp*8]", "0f 6f 14 ea"},
        {"movq [edx+100], mm0", "0f 7f 42 64"},
        {"movq mm1, [edx+ebp*1+100]", "0f 6f 4c 15 64"},
        {"movq [edx+ebp*2+100], mm2", "0f 7f 54 6a 64"},
        {"movq mm4, [edx+ebp*4+100]", "0f 6f 64 aa 64"},
        {"movq [edx+ebp*8+100], mm0", "0f 7f 44 ea 64"},
        {"movq mm1, [edx+100000]", "0f 6f 8a a0 86 01 00"},
        {"movq [edx+ebp*1+100000], mm2", "0f 7f 94 15 a0 86 01 00"},
        {"movq mm3, [edx+ebp*2+100000]", "0f 6f 9c 6a a0 86 01 00"},
        {"movq [edx+ebp*4+100000], mm5", "0f 7f ac aa a0 86 01 00"},
        {"movq mm1, [edx+ebp*8+100000]", "0f 6f 8c ea a0 86 01 00"},
        {"movq [ebx], mm5", "0f 7f 2b"},
        {"movq mm6, [ebx+esi*1]", "0f 6f 34 1e"},
        {"movq [ebx+esi*2], mm7", "0f 7f 3c 73"},
        {"movq mm1, [ebx+esi*4]", "0f 6f 0c b3"},
        {"movq [ebx+esi*8], mm5", "0f 7f 2c f3"},
        {"movq mm3, [ebx-100]", "0f 6f 5b 9c"},
        {"movq [ebx+esi*1-100], mm4", "0f 7f 64 1e 9c"},
        {"movq mm5, [ebx+esi*2-100]", "0f 6f 6c 73 9c"},
        {"movq [ebx+esi*4-100], mm7", "0f 7f 7c b3 9c"},
        {"movq mm3, [ebx+esi*8-100]", "0f 6f 5c f3 9c"},
        {"movq [ebx-70000], mm4", "0f 7f a3 90 ee fe ff"},
        {"movq mm5, [ebx+esi*1-70000]", "0f 6f ac 1e 90 ee fe ff"},
        {"movq [ebx+esi*2-70000], mm6", "0f 7f b4 73 90 ee fe ff"},
        {"movq mm0, [ebx+esi*4-70000]", "0f 6f 84 b3 90 ee fe ff"},
        {"movq [ebx+esi*8-70000], mm4", "0f 7f a4 f3 90 ee fe ff"},
        {"movq mm0, [esp]", "0f 6f 04 24"},
        {"movq [esp+edi*1], mm1", "0f 7f 0c 3c"},
        {"movq mm2, [esp+edi*2]", "0f 6f 14 7c"},
        {"movq [esp+edi*4], mm4", "0f 7f 24 bc"},
        {"movq mm0, [esp+edi*8]", "0f 6f 04 fc"},
        {"movq [esp+100], mm6", "0f 7f 74 24 64"},
        {"movq mm7, [esp+edi*1+100]", "0f 6f 7c 3c 64"},
        {"movq [esp+edi*2+100], mm0", "0f 7f 44 7c 64"},
        {"movq mm2, [esp+edi*4+100]", "0f 6f 54 bc 64"},
        {"movq [esp+edi*8+100], mm6", "0f 7f 74 fc 64"},
        {"movq mm7, [esp+100000]", "0f 6f bc 24 a0 86 01 00"},
        {"movq [esp+edi*1+100000], mm0", "0f 7f 84 3c a0 86 01 00"},
        {"movq mm1, [esp+edi*2+100000]", "0f 6f 8c 7c a0 86 01 00"},
        {"movq [esp+edi*4+100000], mm3", "0f 7f 9c bc a0 86 01 00"},
        {"movq mm7, [esp+edi*8+100000]", "0f 6f bc fc a0 86 01 00"},
        {"movq [ebp], mm3", "0f 7f 5d 00"},
        {"movq mm4, [ebp+eax*1]", "0f 6f 24 28"},
        {"movq [ebp+eax*2], mm5", "0f 7f 6c 45 00"},
        {"movq mm7, [ebp+eax*4]", "0f 6f 7c 85 00"},
        {"movq [ebp+eax*8], mm3", "0f 7f 5c c5 00"},
        {"movq mm1, [ebp-100]", "0f 6f 4d 9c"},
        {"movq [ebp+eax*1-100], mm2", "0f 7f 54 28 9c"},
        {"movq mm3, [ebp+eax*2-100]", "0f 6f 5c 45 9c"},
        {"movq [ebp+eax*4-100], mm5", "0f 7f 6c 85 9c"},
        {"movq mm1, [ebp+eax*8-100]", "0f 6f 4c c5 9c"},
        {"movq [ebp-70000], mm2", "0f 7f 95 90 ee fe ff"},
        {"movq mm3, [ebp+eax*1-70000]", "0f 6f 9c 28 90 ee fe ff"},
        {"movq [ebp+eax*2-70000], mm4", "0f 7f a4 45 90 ee fe ff"},
        {"movq mm6, [ebp+eax*4-70000]", "0f 6f b4 85 90 ee fe ff"},
        {"movq [ebp+eax*8-70000], mm2", "0f 7f 94 c5 90 ee fe ff"},
        {"movq mm6, [esi]", "0f 6f 36"},
        {"movq [esi+ecx*1], mm7", "0f 7f 3c 31"},
        {"movq mm0, [esi+ecx*2]", "0f 6f 04 4e"},
        {"movq [esi+ecx*4], mm2", "0f 7f 14 8e"},
        {"movq mm6, [esi+ecx*8]", "0f 6f 34 ce"},
        {"movq [esi+100], mm4", "0f 7f 66 64"},
        {"movq mm5, [esi+ecx*1+100]", "0f 6f 6c 31 64"},
        {"movq [esi+ecx*2+100], mm6", "0f 7f 74 4e 64"},
        {"movq mm0, [esi+ecx*4+100]", "0f 6f 44 8e 64"},
        {"movq [esi+ecx*8+100], mm4", "0f 7f 64 ce 64"},
        {"movq mm5, [esi+100000]", "0f 6f ae a0 86 01 00"},
        {"movq [esi+ecx*1+100000], mm6", "0f 7f b4 31 a0 86 01 00"},
        {"movq mm7, [esi+ecx*2+100000]", "0f 6f bc 4e a0 86 01 00"},
        {"movq [esi+ecx*4+100000], mm1", "0f 7f 8c 8e a0 86 01 00"},
        {"movq mm5, [esi+ecx*8+100000]", "0f 6f ac ce a0 86 01 00"},
        {"movq [edi], mm1", "0f 7f 0f"},
        {"movq mm2, [edi+edx*1]", "0f 6f 14 3a"},
        {"movq [edi+edx*2], mm3", "0f 7f 1c 57"},
        {"movq mm5, [edi+edx*4]", "0f 6f 2c 97"},
        {"movq [edi+edx*8], mm1", "0f 7f 0c d7"},
        {"movq mm7, [edi-100]", "0f 6f 7f 9c"},
        {"movq [edi+edx*1-100], mm0", "0f 7f 44 3a 9c"},
        {"movq mm1, [edi+edx*2-100]", "0f 6f 4c 57 9c"},
        {"movq [edi+edx*4-100], mm3", "0f 7f 5c 97 9c"},
        {"movq mm7, [edi+edx*8-100]", "0f 6f 7c d7 9c"},
        {"movq [edi-70000], mm0", "0f 7f 87 90 ee fe ff"},
        {"movq mm1, [edi+edx*1-70000]", "0f 6f 8c 3a 90 ee fe ff"},
        {"movq [edi+edx*2-70000], mm2", "0f 7f 94 57 90 ee fe ff"},
        {"movq mm4, [edi+edx*4-70000]", "0f 6f a4 97 90 ee fe ff"},
        {"movq [edi+edx*8-70000], mm0", "0f 7f 84 d7 90 ee fe ff"},
    });
}

TEST(Encoder, HardwareRulesForEspAndEbp) {
    expectRows({
        {"movq mm0, [esp]", "0f 6f 04 24"},
        {"movq mm0, [esp+8]", "0f 6f 44 24 08"},
        {"movq mm0, [esp+1000]", "0f 6f 84 24 e8 03 00 00"},
        {"movq mm0, [ebp]", "0f 6f 45 00"},
        {"movq mm0, [ebp+0]", "0f 6f 45 00"},
        {"movq mm0, [esp+eax]", "0f 6f 04 04"},   // esp first: swapped into the base
        {"movq mm0, [eax+esp]", "0f 6f 04 04"},
        {"movq mm0, [eax+ebp]", "0f 6f 44 05 00"}, // SIB base ebp needs a zero byte
        {"movq mm0, [ebp+eax]", "0f 6f 04 28"},
        {"movq mm0, [esp+ebp]", "0f 6f 04 2c"},     // ebp the index: no zero byte
        {"movq mm0, [ebp+eax*4]", "0f 6f 44 85 00"},
        {"movq mm0, [ebp*4]", "0f 6f 04 ad 00 00 00 00"},
        {"movq mm0, [ebx*4+8]", "0f 6f 04 9d 08 00 00 00"},
        {"movq mm0, [4*ebx+eax]", "0f 6f 04 98"},
        {"movq mm0, [eax*1]", "0f 6f 00"},
    });
}

TEST(Encoder, DisplacementSizeAtItsBoundaries) {
    expectRows({
        {"movq mm0, [eax+127]", "0f 6f 40 7f"},
        {"movq mm0, [eax+128]", "0f 6f 80 80 00 00 00"},
        {"movq mm0, [eax-128]", "0f 6f 40 80"},
        {"movq mm0, [eax-129]", "0f 6f 80 7f ff ff ff"},
        {"movq mm0, [eax+ebx+127]", "0f 6f 44 03 7f"},
        {"movq mm0, [eax+ebx-129]", "0f 6f 84 03 7f ff ff ff"},
        {"movq mm0, [eax+0]", "0f 6f 00"},
        {"movq mm0, [eax+2147483647]", "0f 6f 80 ff ff ff 7f"},
        {"movq mm0, [eax-2147483648]", "0f 6f 80 00 00 00 80"},
        {"movq mm0, [eax+4294967295]", "0f 6f 40 ff"},  // modulo 2^32: -1
        {"movq mm0, [eax+8+8]", "0f 6f 40 10"},
        {"movq mm0, [eax+ebx+8]", "0f 6f 44 03 08"},
        {"movq mm0, [eax+200-100]", "0f 6f 40 64"},
        {"movq mm0, [eax+-8]", "0f 6f 40 f8"},
        {"movq mm0, [ eax + ebx * 4 + 8 ]", "0f 6f 44 98 08"},
        {"movq mm0, [\teax\t+\t8\t]", "0f 6f 40 08"},
    });
}

TEST(Encoder, NumbersInEveryNotation) {
    expectRows({
        {"psrlw mm0, 10h", "0f 71 d0 10"},
        {"psrlw mm0, 0ffh", "0f 71 d0 ff"},
        {"psrlw mm0, 0x1F", "0f 71 d0 1f"},
        {"psrlw mm0, +5", "0f 71 d0 05"},
        {"psrlw mm0, -1", "0f 71 d0 ff"},
        {"psrlw mm0, -128", "0f 71 d0 80"},
        {"psrlw mm0, 255", "0f 71 d0 ff"},
        {"psllq mm7, 63", "0f 73 f7 3f"},
        {"psrad mm3, 0", "0f 72 e3 00"},
        {"movq mm0, [eax+10h]", "0f 6f 40 10"},
        {"movq mm0, [eax-80h]", "0f 6f 40 80"},
        {"movq mm0, [eax+0x100]", "0f 6f 80 00 01 00 00"},
        {"movq mm0, [eax+0ffffffffh]", "0f 6f 40 ff"},
    });
}

TEST(Encoder, LinesThatMustNotBeEncoded) {
    expectNotEncoded({
        // numbers that are not whole numbers or out of range
        "psrlw mm0, SHIFT", "psrlw mm0", "psrlw mm0, 12ab", "psrlw mm0, 260", "psrlw mm0, -129",
        "psrlw mm0, ffh", "psrlw mm0, 0x", "psrlw mm0, 1 0", "psrlw mm0, --1", "psrlw mm0, 99999999999999999999",
        // memory operands it cannot read exactly
        "movq mm0, [1234]", "movq mm0, [label]", "movq mm0, [eax-ebx]", "movq mm0, [eax+ebx+ecx]",
        "movq mm0, [esp+esp]", "movq mm0, [esp*2]", "movq mm0, [eax+esp*4]", "movq mm0, [eax*3]",
        "movq mm0, [eax*2+ebx*2]", "movq mm0, [eax+label]", "movq mm0, [eax+4294967296]",
        "movq mm0, [eax-2147483649]", "movq mm0, [eax", "movq mm0, [eax]+8", "movq mm0, [eax][ebx]",
        "movq mm0, []", "movq mm0, [eax+]", "movq mm0, [+eax]", "movq mm0, [-eax]", "movq mm0, [eax 8]",
        "movq mm0, [eax+-ebx]", "movq mm0, [eax+ebx*-4]", "movq mm0, [2*4]", "movq mm0, [eax*ebx]",
        "movq mm0, [ax]", "movq mm0, [eax+(8)]", "movq mm0, [eax-ebx*2]", "movq mm0, qword ptr [eax]",
        // registers that are not operands of these forms
        "paddb mm0, mm8", "paddb mm0, xmm1", "paddb ax, mm1", "movd mm0, al", "paddb mm0, eax",
        "paddb [eax], mm1", "psrlw [eax], 4", "movq mm0, 5", "movd mm0, mm1",
    });
}

TEST(Encoder, EmmsIgnoresItsOperands) {
    expectRows({{"emms mm0, [garbage", "0f 77"}});
}

TEST(Encoder, PairsWithoutAFaithfulEncodingNeverFit) {
    // r,m  m,m  m,i  r,i: the bytes would lose an operand, so no fit.
    Table table = loadTableFromText("t,r,m,11h,\nt,m,m,22h,\nt,m,i,33h,f0\nt,r,i,44h,d0\n");
    for (const char* line : {"t eax, [ebx]", "t [eax], [ebx]", "t [eax], 4", "t eax, 4"}) {
        Encoded e = encodeLine(table.get(), line);
        EXPECT_EQ(e.result, 0) << line;
        EXPECT_EQ(e.text, "") << line;
    }
}

TEST(Encoder, RegisterPairsOfOtherDefinitionKinds) {
    Table table = loadTableFromText("t,r,r,11h,\nu,m,r,22h,\n");
    EXPECT_EQ(encodeLine(table.get(), "t eax, ebx").text, dbLine("0f 11 d8", "t eax, ebx"));
    EXPECT_EQ(encodeLine(table.get(), "u [esp+4], ecx").text, dbLine("0f 22 4c 24 04", "u [esp+4], ecx"));
}

TEST(Encoder, OpcodeTextOfAnyLengthIsWrittenWhole) {
    std::string opcode(400, 'a');
    Table table = loadTableFromText("t,x,x," + opcode + ",\n");
    std::string line = "t mm1, mm2 ;" + std::string(600, 'c');
    Encoded e = encodeLine(table.get(), line);
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.text, "\tdb\t\t00fh,0" + opcode + ",0cah\t\t;" + line + "\r\n");
}

TEST(Encoder, ShortWriteIsReportedAndNothingWrittenWhenNoFit) {
    Table table = loadShippedTable();
    JMemoryStream closed;
    closed.close();  // takes nothing
    JString line("paddb mm0, mm1"), op1("mm0"), op2("mm1"), op2bad("mm9");
    const JMMXSet* paddb = nullptr;
    for (const JMMXSet* d = table->nextRecord(); d != table.get(); d = d->nextRecord())
        if (std::string(d->mnemonic.data) == "paddb" && paddb == nullptr) paddb = d;
    ASSERT_NE(paddb, nullptr);
    EXPECT_EQ(encodeInstruction(&closed, line, paddb, op1, op2), -1);
    JMemoryStream open;
    EXPECT_EQ(encodeInstruction(&open, line, paddb, op1, op2bad), 0);
    EXPECT_EQ(open.size(), 0u);
}

TEST(Encoder, LaterIntegerInstructionsOnMmxRegisters) {
    expectRows({
        {"pavgb mm1, mm2", "0f e0 ca"},
        {"psadbw mm0, [esp+8]", "0f f6 44 24 08"},
        {"paddq mm3, [eax+ebx*8]", "0f d4 1c d8"},
        {"movntq [edi], mm5", "0f e7 2f"},
        {"maskmovq mm1, mm2", "0f f7 ca"},
    });
    // Forms the record format cannot express are copied: three operands,
    // and a general register in the reg field.
    expectNotEncoded({"pshufw mm0, mm1, 0x1b", "pmovmskb eax, mm1", "pextrw eax, mm1, 2",
                      "pinsrw mm0, eax, 1", "movntq mm0, [eax]", "maskmovq [eax], mm1"});
}
