#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "encoding_harness.h"

namespace {

// The db line for the given hex bytes: "\tdb\t\t00fh,06fh,...\t\t;line\r\n".
std::string dbLine(const std::string& bytes, const std::string& line) {
    std::istringstream in(bytes);
    std::string text = "\tdb\t\t", byte;
    for (bool first = true; in >> byte; first = false) text += (first ? "0" : ",0") + byte + "h";
    return text + "\t\t;" + line + "\r\n";
}

// Each line with the bytes GNU as assembles from it; "" marks a line that must not be encoded.
void expectRows(const Table& table, const std::vector<std::pair<std::string, std::string>>& rows) {
    for (const auto& row : rows) {
        Encoded e = encodeLine(table.get(), row.first);
        EXPECT_EQ(e.result, row.second.empty() ? 0 : 1) << row.first;
        EXPECT_EQ(e.text, row.second.empty() ? "" : dbLine(row.second, row.first)) << row.first;
    }
}

void expectNotEncoded(const Table& table, const std::vector<std::string>& lines) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const std::string& line : lines) rows.push_back({line, ""});
    expectRows(table, rows);
}

}  // namespace

TEST(Encoder, WorkedExamplesExactText) {
    EXPECT_EQ(encodeLine(loadShippedTable().get(), "movq mm1, [esi+8]").text,
              "\tdb\t\t00fh,06fh,04eh,008h\t\t;movq mm1, [esi+8]\r\n");
    expectRows(loadShippedTable(), {
        {"paddb mm0, mm1", "0f fc c1"}, {"psrlw mm2, 4", "0f 71 d2 04"},
        {"movq [edi-4], mm3", "0f 7f 5f fc"}, {"movq mm0, [eax+1000]", "0f 6f 80 e8 03 00 00"},
        {"movq mm0, [eax+ebx]", "0f 6f 04 03"}, {"movd eax, mm2", "0f 7e d0"},
        {"EMMS", "0f 77"}, {"  PADDB  MM0 , MM1 ; add", "0f fc c1"}, {"emms mm0, [garbage", "0f 77"},
    });
}

TEST(Encoder, AddressingForms) {
    // A representative grid: every base, scale and displacement size (the
    // differential test against GNU as covers every combination by meaning).
    // A plain second register is the SIB base, the first the index.
    expectRows(loadShippedTable(), {
        {"movq mm4, [eax]", "0f 6f 20"}, {"movq [eax+ebx*1], mm5", "0f 7f 2c 03"},
        {"movq mm6, [eax+ebx*2]", "0f 6f 34 58"}, {"movq [eax+ebx*2+100], mm4", "0f 7f 64 58 64"},
        {"movq mm3, [eax+ebx*8+100000]", "0f 6f 9c d8 a0 86 01 00"}, {"movq mm5, [ecx-100]", "0f 6f 69 9c"},
        {"movq [ecx-70000], mm6", "0f 7f b1 90 ee fe ff"}, {"movq [ecx+edi*4-100], mm1", "0f 7f 4c b9 9c"},
        {"movq mm1, [edx+100000]", "0f 6f 8a a0 86 01 00"}, {"movq mm6, [ebx+esi*1]", "0f 6f 34 1e"},
        {"movq [ebx-70000], mm4", "0f 7f a3 90 ee fe ff"}, {"movq mm6, [esi]", "0f 6f 36"},
        {"movq [esi+ecx*8+100], mm4", "0f 7f 64 ce 64"}, {"movq [edi], mm1", "0f 7f 0f"},
        {"movq [edi+edx*8-70000], mm0", "0f 7f 84 d7 90 ee fe ff"},
        // esp can only be a base; ebp as a base always needs a displacement
        {"movq mm0, [esp]", "0f 6f 04 24"}, {"movq mm0, [esp+8]", "0f 6f 44 24 08"},
        {"movq mm7, [esp+100000]", "0f 6f bc 24 a0 86 01 00"}, {"movq [esp+edi*4], mm4", "0f 7f 24 bc"},
        {"movq mm0, [esp+eax]", "0f 6f 04 04"}, {"movq mm0, [eax+esp]", "0f 6f 04 04"},
        {"movq mm0, [esp+ebp]", "0f 6f 04 2c"}, {"movq [ebp], mm3", "0f 7f 5d 00"},
        {"movq mm0, [ebp+0]", "0f 6f 45 00"}, {"movq mm1, [ebp-100]", "0f 6f 4d 9c"},
        {"movq [ebp-70000], mm2", "0f 7f 95 90 ee fe ff"}, {"movq mm0, [eax+ebp]", "0f 6f 44 05 00"},
        {"movq [edx+ebp*1], mm3", "0f 7f 5c 15 00"}, {"movq mm4, [edx+ebp*2]", "0f 6f 24 6a"},
        {"movq mm0, [ebp+eax]", "0f 6f 04 28"}, {"movq [ebp+eax*2], mm5", "0f 7f 6c 45 00"},
        // a scaled index without a base takes a four-byte displacement
        {"movq mm0, [ebp*4]", "0f 6f 04 ad 00 00 00 00"}, {"movq mm0, [ebx*4+8]", "0f 6f 04 9d 08 00 00 00"},
        {"movq mm0, [4*ebx+eax]", "0f 6f 04 98"}, {"movq mm0, [eax*1]", "0f 6f 00"},
    });
}

TEST(Encoder, DisplacementsAndNumbers) {
    expectRows(loadShippedTable(), {
        {"movq mm0, [eax+127]", "0f 6f 40 7f"}, {"movq mm0, [eax+128]", "0f 6f 80 80 00 00 00"},
        {"movq mm0, [eax-128]", "0f 6f 40 80"}, {"movq mm0, [eax-129]", "0f 6f 80 7f ff ff ff"},
        {"movq mm0, [eax+ebx+127]", "0f 6f 44 03 7f"}, {"movq mm0, [eax+ebx-129]", "0f 6f 84 03 7f ff ff ff"},
        {"movq mm0, [eax+0]", "0f 6f 00"}, {"movq mm0, [eax+2147483647]", "0f 6f 80 ff ff ff 7f"},
        {"movq mm0, [eax-2147483648]", "0f 6f 80 00 00 00 80"}, {"movq mm0, [eax+4294967295]", "0f 6f 40 ff"},
        {"movq mm0, [eax+8+8]", "0f 6f 40 10"}, {"movq mm0, [eax+ebx+8]", "0f 6f 44 03 08"},
        {"movq mm0, [eax+200-100]", "0f 6f 40 64"}, {"movq mm0, [eax+-8]", "0f 6f 40 f8"},
        {"movq mm0, [ eax + ebx * 4 + 8 ]", "0f 6f 44 98 08"}, {"movq mm0, [\teax\t+\t8\t]", "0f 6f 40 08"},
        {"psrlw mm0, 10h", "0f 71 d0 10"}, {"psrlw mm0, 0ffh", "0f 71 d0 ff"},
        {"psrlw mm0, 0x1F", "0f 71 d0 1f"}, {"psrlw mm0, +5", "0f 71 d0 05"},
        {"psrlw mm0, -1", "0f 71 d0 ff"}, {"psrlw mm0, -128", "0f 71 d0 80"},
        {"psllq mm7, 63", "0f 73 f7 3f"}, {"psrad mm3, 0", "0f 72 e3 00"},
        {"movq mm0, [eax-80h]", "0f 6f 40 80"}, {"movq mm0, [eax+0x100]", "0f 6f 80 00 01 00 00"},
        {"movq mm0, [eax+0ffffffffh]", "0f 6f 40 ff"}, {"movq mm0, [eax-0x10]", "0f 6f 40 f0"},
    });
}

TEST(Encoder, LinesThatMustNotBeEncoded) {
    expectNotEncoded(loadShippedTable(), {
        // numbers that are not whole numbers or out of range
        "psrlw mm0, SHIFT", "psrlw mm0", "psrlw mm0, 12ab", "psrlw mm0, 260", "psrlw mm0, -129",
        "psrlw mm0, ffh", "psrlw mm0, 0x", "psrlw mm0, 1 0", "psrlw mm0, --1", "psrlw mm0, 99999999999999999999",
        "psrlw mm0, 0x1g", "psrlw mm0, 10hh", "psrlw mm0, 1.5", "psrlw mm0, h", "psrlw mm0, -",
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

TEST(Encoder, LaterIntegerInstructionsOnMmxRegisters) {
    Table table = loadShippedTable();
    expectRows(table, {{"pavgb mm1, mm2", "0f e0 ca"}, {"psadbw mm0, [esp+8]", "0f f6 44 24 08"},
                       {"paddq mm3, [eax+ebx*8]", "0f d4 1c d8"}, {"movntq [edi], mm5", "0f e7 2f"},
                       {"maskmovq mm1, mm2", "0f f7 ca"}});
    // Three operands, or a general register in the reg field: copied.
    expectNotEncoded(table, {"pshufw mm0, mm1, 0x1b", "pmovmskb eax, mm1", "pextrw eax, mm1, 2",
                             "pinsrw mm0, eax, 1", "movntq mm0, [eax]", "maskmovq [eax], mm1"});
}

TEST(Encoder, OtherDefinitionKinds) {
    // r,m  m,m  m,i  r,i would lose an operand in the bytes, so they never fit.
    Table table = loadTableFromText("t,r,m,11h,\nt,m,m,22h,\nt,m,i,33h,f0\nt,r,i,44h,d0\nu,r,r,11h,\nv,m,r,22h,\n");
    expectNotEncoded(table, {"t eax, [ebx]", "t [eax], [ebx]", "t [eax], 4", "t eax, 4"});
    expectRows(table, {{"u eax, ebx", "0f 11 d8"}, {"v [esp+4], ecx", "0f 22 4c 24 04"}});
    // An opcode text of any length is written whole.
    const std::string opcode(400, 'a'), line = "w mm1, mm2 ;" + std::string(600, 'c');
    EXPECT_EQ(encodeLine(loadTableFromText("w,x,x," + opcode + ",\n").get(), line).text,
              "\tdb\t\t00fh,0" + opcode + ",0cah\t\t;" + line + "\r\n");
}

TEST(Encoder, ShortWriteIsReported) {
    Table table = loadTableFromText("paddb,x,x,fch,\n");
    JMemoryStream closed;
    closed.close();  // takes nothing
    EXPECT_EQ(encodeInstruction(&closed, JString("paddb mm0, mm1"), table->nextRecord(), JString("mm0"),
                                JString("mm1")), -1);
}
