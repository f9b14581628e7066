// Second opinion from the system assembler: for every record of the shipped
// definition file and every addressing form, the bytes pakhod writes must
// disassemble to the same instruction as GNU as assembles from the line.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "encoding_harness.h"

namespace {

const char* const r32[] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};

struct Form {
    std::string pakhod;  // operand as pakhod reads it
    std::string gnu;     // the same operand for GNU as (decimal numbers)
};

std::vector<Form> memoryForms() {
    std::vector<std::string> texts;
    for (int b = 0; b < 8; ++b) {
        const std::string base = r32[b];
        texts.push_back("[" + base + "]");
        for (const char* d : {"+1", "+127", "+128", "-128", "-129", "-4", "+1000", "+2147483647", "-2147483648"})
            texts.push_back("[" + base + d + "]");
        for (int i = 0; i < 8; ++i)  // every pair but two esp
            if (b != 4 || i != 4) texts.push_back("[" + base + "+" + r32[i] + "]");
        for (const std::string s : {"2", "4", "8"}) {  // scaled index, the scale on either side
            const std::string index = r32[(b + std::stoi(s) + 1) % 8 == 4 ? 5 : (b + std::stoi(s) + 1) % 8];
            texts.insert(texts.end(), {"[" + base + "+" + index + "*" + s + "]", "[" + index + "*" + s + "+" + base + "+8]",
                                       "[" + s + "*" + index + "+" + base + "-129]",
                                       "[" + base + "+" + s + "*" + index + "+128]", "[" + base + "+ebp*" + s + "-128]"});
            if (b != 4)  // index without a base
                texts.insert(texts.end(), {"[" + base + "*" + s + "]", "[" + base + "*" + s + "+8]",
                                           "[" + s + "*" + base + "-129]"});
        }
    }
    std::vector<Form> forms;
    for (const std::string& t : texts) forms.push_back({t, t});
    // several numbers, other notations, blanks
    forms.insert(forms.end(), {{"[eax+10h]", "[eax+16]"}, {"[ebp+0ffh]", "[ebp+255]"}, {"[esp-80h]", "[esp-128]"},
                               {"[ebx+ecx*4+0x7f]", "[ebx+ecx*4+127]"}, {"[eax+8+8]", "[eax+16]"},
                               {"[edi+ebp+4-6]", "[edi+ebp-2]"}, {"[ eax + ebx * 4 + 8 ]", "[eax+ebx*4+8]"},
                               {"[eax*1]", "[eax]"}, {"[esp+eax*1]", "[esp+eax]"}, {"[eax+4294967295]", "[eax-1]"},
                               {"[ebp+eax+0]", "[ebp+eax]"}, {"[eax+-8]", "[eax-8]"}, {"[esp+0]", "[esp]"}});
    return forms;
}

// Operand texts of one kind: every register, every memory form, a spread of immediates.
std::vector<Form> operandsOf(int32_t kind, const std::string& mnemonic) {
    std::vector<Form> forms;
    if (kind == kindMmxRegister || kind == kindGeneralRegister)
        for (int n = 0; n < 8; ++n)
            forms.push_back({kind == kindMmxRegister ? "mm" + std::to_string(n) : r32[n], ""});
    if (kind == kindMemory) {  // movd and punpckl* read 32 bits of memory; the rest 64
        const bool dword = mnemonic == "movd" || mnemonic.rfind("punpckl", 0) == 0;
        for (Form f : memoryForms()) forms.push_back({f.pakhod, (dword ? "dword ptr " : "qword ptr ") + f.gnu});
    }
    if (kind == kindImmediate) {
        for (const char* v : {"0", "1", "7", "8", "15", "16", "31", "32", "63", "64", "127", "128", "255", "-1", "-128"})
            forms.push_back({v, ""});
        forms.insert(forms.end(), {{"10h", "16"}, {"0ffh", "255"}, {"0x1f", "31"}, {"+5", "5"}});
    }
    for (Form& f : forms)
        if (f.gnu.empty()) f.gnu = f.pakhod;
    return forms;
}

struct Case {
    const JMMXSet* def;
    std::string line, gnuLine;
};

// All register pairs; beside each memory form or immediate, one register.
std::vector<Case> casesFor(const JMMXSet* def) {
    const std::string m = def->mnemonic.data;
    if (m == "emms") return {{def, "emms", "emms"}, {def, "EMMS", "emms"}};
    const std::vector<Form> a = operandsOf(def->firstKind, m), b = operandsOf(def->secondKind, m);
    std::vector<Case> cases;
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < b.size(); ++j)
            if ((a.size() <= 8 || j == i % b.size()) && (b.size() <= 8 || i == j % a.size()))
                cases.push_back({def, m + " " + a[i].pakhod + ", " + b[j].pakhod, m + " " + a[i].gnu + ", " + b[j].gnu});
    return cases;
}

// ".byte 0x0f,0x6f,..." from "\tdb\t\t00fh,06fh,...\t\t;line\r\n"; empty when malformed.
std::string byteDirective(const std::string& db) {
    static const std::regex form("\tdb\t\t(0[0-9a-f]{2}h(,0[0-9a-f]{2}h)*)\t\t;[^\r\n]*\r\n");
    std::smatch m;
    if (!std::regex_match(db, m, form)) return "";
    static const std::regex hexByte("0(..)h");
    return ".byte " + std::regex_replace(m[1].str(), hexByte, "0x$1");
}

// "[base|index*scale|disp]": a scale-1 index without a base is the base, base
// and scale-1 index in name order, disp as int32.
std::string canonicalAddress(const std::string& inner) {
    std::string base, index, scale = "1";
    int64_t disp = 0;
    for (size_t at = 0, next; at < inner.size(); at = next) {
        const int sign = inner[at] == '-' ? -1 : 1;
        at += inner[at] == '+' || inner[at] == '-';
        next = std::min(inner.find_first_of("+-", at), inner.size());
        const std::string term = inner.substr(at, next - at);
        const size_t star = term.find('*');
        if (star != std::string::npos) {
            index = term.substr(0, star);
            scale = term.substr(star + 1);
        } else if (std::isalpha(static_cast<unsigned char>(term[0]))) {
            (base.empty() ? base : index) = term;
        } else {
            disp += sign * static_cast<int64_t>(static_cast<int32_t>(std::stoll(term, nullptr, 0)));
        }
    }
    if (base.empty() && scale == "1") std::swap(base, index);
    if (scale == "1" && !index.empty() && index < base) std::swap(base, index);
    return "[" + base + "|" + index + "*" + scale + "|" + std::to_string(static_cast<int32_t>(disp)) + "]";
}

std::string canonicalInstruction(const std::string& text) {
    static const std::regex blanks("[ \t]+");
    std::string s = std::regex_replace(lowerCase(text), blanks, " ");
    const size_t open = s.find('['), close = s.find(']');
    if (open != std::string::npos && close != std::string::npos)
        s = s.substr(0, open) + canonicalAddress(s.substr(open + 1, close - open - 1)) + s.substr(close + 1);
    return trimmed(s);
}

// Assembles the source and returns the disassembled instruction texts.
std::vector<std::string> assembleAndDisassemble(const std::string& dir, const std::string& name,
                                                const std::string& source) {
    const std::string p = dir + "/" + name;
    std::ofstream(p + ".s") << source;
    const std::string command = "as --32 -o '" + p + ".o' '" + p + ".s' 2>'" + p + ".err' && objdump -d -M intel " +
                                "--no-show-raw-insn '" + p + ".o' >'" + p + ".txt' 2>>'" + p + ".err'";
    std::vector<std::string> texts;
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << name << ": as/objdump failed:\n" << readFile(p + ".err").substr(0, 4000);
        return texts;
    }
    std::istringstream lines(readFile(p + ".txt"));
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(":\t");
        if (colon != std::string::npos && line.find_first_not_of(" 0123456789abcdef") == colon)
            texts.push_back(line.substr(colon + 2));
    }
    return texts;
}

// Encodes every case, runs both sides through as/objdump and compares them in order.
void compareWithGnuAs(const std::vector<Case>& cases) {
    std::string pattern = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/pakhod-as-XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    std::string ours, gnu = ".intel_syntax noprefix\n";
    int bad = 0;
    for (const Case& c : cases) {
        const Encoded e = encodeWith(c.def, c.line);
        const std::string directive = byteDirective(e.text);
        if ((e.result != 1 || directive.empty()) && ++bad <= 20)
            ADD_FAILURE() << "not encoded: " << c.line << " -> " << e.text;
        ours += directive + "\n";
        gnu += c.gnuLine + "\n";
    }
    const std::vector<std::string> mine = assembleAndDisassemble(pattern, "pakhod", ours),
                                   theirs = assembleAndDisassemble(pattern, "gnu", gnu);
    std::system(("rm -rf '" + pattern + "'").c_str());
    ASSERT_EQ(bad, 0);
    ASSERT_EQ(theirs.size(), cases.size()) << "GNU as did not assemble one instruction per line";
    EXPECT_EQ(mine.size(), cases.size()) << "pakhod's bytes do not disassemble to one instruction per line";
    int mismatches = 0;  // in order: the first mismatch names the line even when the rest is out of step
    for (size_t k = 0; k < cases.size() && k < mine.size() && mismatches < 20; ++k)
        if (canonicalInstruction(mine[k]) != canonicalInstruction(theirs[k]) && ++mismatches)
            ADD_FAILURE() << cases[k].line << "\n  pakhod: " << mine[k] << "\n  GNU as: " << theirs[k];
    EXPECT_EQ(mismatches, 0);
}

}  // namespace

TEST(GnuAsDifferential, EveryShippedRecordInEveryForm) {
    Table table = loadShippedTable();
    std::vector<Case> cases;
    int records = 0;
    for (const JMMXSet* def = table->nextRecord(); def != table.get(); def = def->nextRecord(), ++records) {
        std::vector<Case> more = casesFor(def);
        cases.insert(cases.end(), more.begin(), more.end());
    }
    ASSERT_GT(records, 100);
    std::printf("%d records, %zu lines compared\n", records, cases.size());
    compareWithGnuAs(cases);
}

TEST(GnuAsDifferential, CanonicalFormTreatsOnlyScaleOneOrderAsEqual) {
    auto same = [](const char* a, const char* b) { return canonicalInstruction(a) == canonicalInstruction(b); };
    EXPECT_TRUE(same("movq   mm0,QWORD PTR [ebx+eax*1]", "movq mm0,QWORD PTR [eax+ebx*1]"));
    EXPECT_TRUE(same("movq mm0,QWORD PTR [eax*1+0x0]", "movq mm0,QWORD PTR [eax]"));
    EXPECT_TRUE(same("movq mm0,QWORD PTR [eax-0x1]", "movq mm0,QWORD PTR [eax+0xffffffff]"));
    EXPECT_FALSE(same("movq mm0,QWORD PTR [ebx+eax*2]", "movq mm0,QWORD PTR [eax+ebx*2]"));
    EXPECT_FALSE(same("movq mm0,QWORD PTR [eax+0x8]", "movq mm0,QWORD PTR [eax]"));
}
