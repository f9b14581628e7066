// A second opinion from the system assembler: every record of the shipped
// definition file, with every register pair and every addressing form, is
// converted as pakhod converts a source, and the bytes must disassemble to
// the instruction GNU as assembles from the line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver.h"
#include "jmmxset.h"
#include "memory_stream.h"

namespace {

const char* const r32[] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};

// An operand as pakhod reads it and the same for GNU as (decimal numbers).
using Form = std::pair<std::string, std::string>;

// Size keywords by the size they name; the first a record accepts is GNU as's.
const std::pair<uint8_t, std::string> keywords[] = {
    {memory8, "byte"}, {memory16, "word"}, {memory32, "dword"}, {memory64, "qword"}, {memory64, "mmword"}};

// Memory operands as pakhod reads them and as GNU as does, without a size:
// every base with every displacement size, register pair and scale (on
// either side, with and without a base), other number forms and blanks; then
// each size keyword the record accepts (GNU as wants "ptr": it reads
// "qword [esi]" as [esi+8]), each segment override in both spellings (GNU
// as takes only es:[...]) and constant arithmetic.
std::vector<Form> memoryForms(uint8_t sizes) {
    std::vector<Form> forms;
    auto add = [&forms](const std::string& pakhod, const std::string& gnu = "") { forms.push_back({pakhod, gnu}); };
    for (int b = 0; b < 8; ++b) {
        const std::string base = r32[b];
        add("[" + base + "]");
        for (const char* d : {"+1", "+127", "+128", "-128", "-129", "+2147483647", "-2147483648"}) add("[" + base + d + "]");
        for (int i = 0; i < 8; ++i)  // every pair but two esp; beside ebp with displacements too
            if (b != 4 || i != 4) {
                add("[" + base + "+" + r32[i] + "]");
                if (b == 5 || i == 5) add("[" + base + "+" + r32[i] + "+8]"), add("[" + base + "+" + r32[i] + "-1000]");
            }
        for (const std::string s : {"2", "4", "8"}) {
            const std::string index = r32[(b + s[0] - '0' + 1) % 8 == 4 ? 5 : (b + s[0] - '0' + 1) % 8];
            for (const std::string& f : {base + "+" + index + "*" + s, index + "*" + s + "+" + base + "+8",
                                         s + "*" + index + "+" + base + "-129", base + "+ebp*" + s + "-128"})
                add("[" + f + "]");
            if (b != 4) add("[" + base + "*" + s + "]"), add("[" + s + "*" + base + "-129]");  // no base
        }
    }
    const std::string addresses[] = {"[edi]", "[esi+ecx*8+8]", "[ebp]", "[esp+4]", "[eax*2+1000]"};
    for (const std::string& a : addresses) {
        for (const auto& [size, word] : keywords)
            if (sizes & size) add(word + " ptr " + a, a), add(word + a, a);
        for (const std::string seg : {"es", "cs", "ss", "ds", "fs", "gs"})
            add(seg + ":" + a), add("[" + seg + ": " + a.substr(1), seg + ":" + a);
    }
    forms.insert(forms.end(), {{"[eax+10h]", "[eax+16]"}, {"[ebp+0ffh]", "[ebp+255]"}, {"[esp-80h]", "[esp-128]"},
                               {"[ebx+ecx*4+0x7f]", "[ebx+ecx*4+127]"}, {"[edi+ebp+4-6]", "[edi+ebp-2]"},
                               {"[ eax + ebx * 4 + 8 ]", "[eax+ebx*4+8]"}, {"[esp+eax*1]", "[esp+eax]"},
                               {"[eax+4294967295]", "[eax-1]"}, {"[ebp+eax+0]", "[ebp+eax]"}, {"[esp+0]", "[esp]"},
                               {"[eax+edx*2+8*16]", "[eax+edx*2+128]"}, {"[esi+288*2+75036*4]", "[esi+300720]"},
                               {"[ebx+(8*2)]", "[ebx+16]"}, {"[ecx+2*(3+4)-0x10]", "[ecx-2]"}, {"[ebp-4*2]", "[ebp-8]"},
                               {"[esp+ 8 * 2 ]", "[esp+16]"}, {"[edi+ecx*4-(10h*8)]", "[edi+ecx*4-128]"},
                               {"[eax - -8]", "[eax+8]"}, {"[ebx+65536*32768]", "[ebx-2147483648]"}});
    return forms;
}

// Operands of one kind: every register, every memory form, a spread of
// immediates, or none.
std::vector<Form> operandsOf(int32_t kind, const JMMXSet* def) {
    std::vector<Form> forms;
    if (kind == kindMmxRegister || kind == kindGeneralRegister)
        for (int n = 0; n < 8; ++n) forms.push_back({kind == kindMmxRegister ? "mm" + std::to_string(n) : r32[n], ""});
    if (kind == kindNone) forms.push_back({"", ""});
    std::string size;  // GNU as: 32 bits for punpckl*
    for (const auto& [bit, word] : keywords)
        if (size.empty() && (def->memorySizes & bit)) size = word + " ptr ";
    if (kind == kindMemory)
        for (const Form& f : memoryForms(def->memorySizes)) forms.push_back({f.first, size + (f.second.empty() ? f.first : f.second)});
    if (kind == kindImmediate) {
        for (const char* v : {"0", "1", "7", "8", "15", "16", "31", "32", "63", "64", "127", "128", "255", "-1", "-128"})
            forms.push_back({v, ""});
        forms.insert(forms.end(), {{"10h", "16"}, {"0ffh", "255"}, {"0x1f", "31"}, {"+5", "5"}, {"16-5", "11"},
                                   {"32 + 8", "40"}, {"(4*2)", "8"}, {"-(2)", "-2"}, {"2*-3", "-6"}, {"10h+1", "17"}});
    }
    for (Form& f : forms)
        if (f.second.empty()) f.second = f.first;
    return forms;
}

// Every register pair; beside each memory form or immediate, one register;
// a third operand, where the record takes one, from the spread in turn.
void addCases(const JMMXSet* def, std::string& source, std::string& gnu) {
    const std::string m = def->mnemonic.data;
    if (m == "emms") {  // no operands
        source += "EMMS\n";
        gnu += "emms\n";
        return;
    }
    const std::vector<Form> a = operandsOf(def->firstKind, def), b = operandsOf(def->secondKind, def),
                            c = operandsOf(def->tail.immediateByte ? kindImmediate : kindNone, def);
    auto line = [&m](const std::string& x, const std::string& y, const std::string& z) {
        return m + (x.empty() ? "" : " " + x) + (y.empty() ? "" : ", " + y) + (z.empty() ? "" : ", " + z) + "\n";
    };
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < b.size(); ++j)
            if ((a.size() <= 8 || j == i % b.size()) && (b.size() <= 8 || i == j % a.size())) {
                const Form& k = c[n++ % c.size()];
                source += line(a[i].first, b[j].first, k.first);
                gnu += line(a[i].second, b[j].second, k.second);
            }
}

// Blanks folded and a segment override dropped; two registers without a
// scale in name order (pakhod puts the first in the SIB index, GNU as the
// second: the same address), but for ebp beside another, where both make
// the first the base (the segment depends on it); a zero displacement left
// out.
std::string canonical(std::string s) {
    static const std::regex blanks("[ \t]+"), segment("[c-gs]s:\\["), zero("\\+0x0\\]"), pair("\\[(e..)\\+(e..)\\*1");
    s = std::regex_replace(std::regex_replace(std::regex_replace(s, blanks, " "), segment, "["), zero, "]");
    std::smatch m;
    if (std::regex_search(s, m, pair) && m[1] != "ebp" && m[2] != "ebp" && m[2].str() < m[1].str()) s = m.prefix().str() + "[" + m[2].str() + "+" + m[1].str() + "*1" + m.suffix().str();
    return s;
}

// The instruction texts objdump reads from what GNU as makes of the source.
std::vector<std::string> disassembled(const std::string& dir, const std::string& name, const std::string& source) {
    const std::string p = dir + "/" + name;
    std::ofstream(p + ".s") << ".intel_syntax noprefix\n" << source;
    if (std::system(("as --32 -o " + p + ".o " + p + ".s && objdump -d -M intel --no-show-raw-insn " + p + ".o >" + p + ".txt").c_str()))
        ADD_FAILURE() << name << ": as or objdump failed";
    std::vector<std::string> texts;
    std::ifstream in(p + ".txt");
    static const std::regex instruction("^ *[0-9a-f]+:\t(.*)$");
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_match(line, m, instruction)) texts.push_back(m[1]);
    return texts;
}

}  // namespace

TEST(GnuAsDifferential, EveryShippedRecordInEveryForm) {
    std::ifstream file(PAKHOD_SHIPPED_DEFINITIONS, std::ios::binary);
    MemoryStream defs{std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>())};
    JMMXSet* table = loadDefinitions(&defs);
    std::string source, gnu;
    for (const JMMXSet* def = table->nextRecord(); def != table; def = def->nextRecord()) addCases(def, source, gnu);
    MemoryStream in(source), out;
    ASSERT_EQ(convertStream(&out, &in, table), convertCompleted);
    JList::deleteList(table);
    // Each db line as a .byte directive; anything else was not encoded.
    std::istringstream lines(out.content), sources(source);
    std::string ours, line, original;
    static const std::regex db("\tdb\t\t(0[0-9a-f]{2}h(,0[0-9a-f]{2}h)*)\t\t;[^\r]*\r");
    std::smatch m;
    for (int bad = 0; std::getline(lines, line) && std::getline(sources, original);) {
        if (std::regex_match(line, m, db)) ours += ".byte " + std::regex_replace(m[1].str(), std::regex("0(..)h"), "0x$1") + "\n";
        else if (++bad <= 20) ADD_FAILURE() << "not encoded: " << original;
    }
    std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/pakhod-as-XXXXXX";
    ASSERT_NE(mkdtemp(&dir[0]), nullptr);
    const std::vector<std::string> mine = disassembled(dir, "pakhod", ours), theirs = disassembled(dir, "gnu", gnu);
    std::system(("rm -rf '" + dir + "'").c_str());
    ASSERT_GT(theirs.size(), 20000u) << "lines compared";
    ASSERT_EQ(mine.size(), theirs.size()) << "pakhod's bytes do not disassemble to one instruction per line";
    std::istringstream originals(source);
    // In order, so the first mismatch names its line. GNU as leaves out an
    // override that names the default segment, pakhod keeps what the line says.
    int mismatches = 0;
    auto segmentOf = [](const std::string& s) {
        static const std::regex segment("[c-gs]s:");
        std::smatch m;
        return std::regex_search(s, m, segment) ? m.str() : "";
    };
    for (size_t k = 0; k < theirs.size() && std::getline(originals, original) && mismatches < 20; ++k)
        if ((canonical(mine[k]) != canonical(theirs[k]) || segmentOf(original) != segmentOf(mine[k])) && ++mismatches)
            ADD_FAILURE() << original << "\n  pakhod: " << mine[k] << "\n  GNU as: " << theirs[k];
    EXPECT_EQ(mismatches, 0);
}
