// Second opinion from the system assembler: for every record of the shipped
// definition file and every addressing form, the bytes pakhod writes must
// disassemble to the same instruction as GNU as assembles from the line.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "encoding_harness.h"

namespace {

const char* const generalRegisters[] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};

struct Form {
    std::string pakhod;  // operand as pakhod reads it
    std::string gnu;     // the same operand for GNU as (decimal numbers)
};

std::string signedTerm(long v) { return v < 0 ? std::to_string(v) : "+" + std::to_string(v); }

std::vector<Form> memoryForms() {
    std::vector<Form> forms;
    auto both = [&](const std::string& text) { forms.push_back({text, text}); };
    const long displacements[] = {1, 127, 128, -128, -129, -4, 1000, 2147483647, -2147483647 - 1};
    for (int b = 0; b < 8; ++b) {
        std::string base = generalRegisters[b];
        // [base], [base + disp]
        both("[" + base + "]");
        for (long d : displacements) both("[" + base + signedTerm(d) + "]");
        // [base + index]: every pair but two esp
        for (int i = 0; i < 8; ++i)
            if (b != 4 || i != 4) both("[" + base + "+" + generalRegisters[i] + "]");
        // [base + index*scale + disp], the scale written on either side
        for (int s : {2, 4, 8}) {
            int i = (b + s + 1) % 8 == 4 ? 5 : (b + s + 1) % 8;
            std::string index = generalRegisters[i], scale = std::to_string(s);
            both("[" + base + "+" + index + "*" + scale + "]");
            both("[" + index + "*" + scale + "+" + base + "+8]");
            both("[" + scale + "*" + index + "+" + base + "-129]");
            both("[" + base + "+" + scale + "*" + index + "+128]");
            both("[" + base + "+" + generalRegisters[5] + "*" + scale + "-128]");
        }
    }
    // [index*scale + disp32]
    for (int i = 0; i < 8; ++i) {
        if (i == 4) continue;
        for (int s : {2, 4, 8}) {
            std::string index = generalRegisters[i], scale = std::to_string(s);
            both("[" + index + "*" + scale + "]");
            both("[" + index + "*" + scale + "+8]");
            both("[" + scale + "*" + index + "-129]");
        }
    }
    // several numbers, other notations, blanks
    forms.push_back({"[eax+10h]", "[eax+16]"});
    forms.push_back({"[ebp+0ffh]", "[ebp+255]"});
    forms.push_back({"[esp-80h]", "[esp-128]"});
    forms.push_back({"[ebx+ecx*4+0x7f]", "[ebx+ecx*4+127]"});
    forms.push_back({"[eax+8+8]", "[eax+16]"});
    forms.push_back({"[edi+ebp+4-6]", "[edi+ebp-2]"});
    forms.push_back({"[ eax + ebx * 4 + 8 ]", "[eax+ebx*4+8]"});
    forms.push_back({"[eax*1]", "[eax]"});
    forms.push_back({"[esp+eax*1]", "[esp+eax]"});
    forms.push_back({"[eax+4294967295]", "[eax-1]"});
    forms.push_back({"[ebp+eax+0]", "[ebp+eax]"});
    forms.push_back({"[eax+-8]", "[eax-8]"});
    forms.push_back({"[esp+0]", "[esp]"});
    return forms;
}

std::vector<Form> immediateForms() {
    std::vector<Form> forms;
    for (long v : {0L, 1L, 7L, 8L, 15L, 16L, 31L, 32L, 63L, 64L, 127L, 128L, 255L, -1L, -128L})
        forms.push_back({std::to_string(v), std::to_string(v)});
    forms.push_back({"10h", "16"});
    forms.push_back({"0ffh", "255"});
    forms.push_back({"0x1f", "31"});
    forms.push_back({"+5", "5"});
    return forms;
}

std::string mmx(int n) { return "mm" + std::to_string(n % 8); }

// movd and punpckl* read 32 bits of memory; the rest 64.
std::string pointerSize(const std::string& mnemonic) {
    return mnemonic == "movd" || mnemonic.rfind("punpckl", 0) == 0 ? "dword ptr " : "qword ptr ";
}

struct Case {
    const JMMXSet* def;
    std::string line;     // pakhod's source line
    std::string gnuLine;  // the same instruction for GNU as
};

// Operand texts (pakhod, GNU) of one kind, a spread of registers or forms.
std::vector<Form> operandsOf(int32_t kind, const std::string& mnemonic) {
    std::vector<Form> forms;
    switch (kind) {
        case kindMmxRegister:
            for (int n = 0; n < 8; ++n) forms.push_back({mmx(n), mmx(n)});
            break;
        case kindGeneralRegister:
            for (const char* r : generalRegisters) forms.push_back({r, r});
            break;
        case kindMemory:
            for (Form f : memoryForms()) forms.push_back({f.pakhod, pointerSize(mnemonic) + f.gnu});
            break;
        default:
            forms = immediateForms();
    }
    return forms;
}

std::vector<Case> casesFor(const JMMXSet* def) {
    std::string m = def->mnemonic.data;
    if (m == "emms") return {{def, "emms", "emms"}, {def, "EMMS", "emms"}};
    std::vector<Form> firsts = operandsOf(def->firstKind, m), seconds = operandsOf(def->secondKind, m);
    std::vector<Case> cases;
    bool bothRegisters = firsts.size() == 8 && seconds.size() == 8;
    for (size_t i = 0; i < firsts.size(); ++i)
        for (size_t j = 0; j < seconds.size(); ++j) {
            // all register pairs; a register beside each memory form or immediate
            if (!bothRegisters && firsts.size() > 8 && j != i % seconds.size()) continue;
            if (!bothRegisters && seconds.size() > 8 && i != j % firsts.size()) continue;
            cases.push_back({def, m + " " + firsts[i].pakhod + ", " + seconds[j].pakhod,
                             m + " " + firsts[i].gnu + ", " + seconds[j].gnu});
        }
    return cases;
}

// ".byte 0x0f,0x6f,..." from "\tdb\t\t00fh,06fh,...\t\t;line\r\n"; empty when malformed.
std::string byteDirective(const std::string& db) {
    const std::string prefix = "\tdb\t\t";
    size_t end = db.find("\t\t;");
    if (db.compare(0, prefix.size(), prefix) != 0 || end == std::string::npos) return "";
    std::istringstream in(db.substr(prefix.size(), end - prefix.size()));
    std::string item, out = ".byte ";
    while (std::getline(in, item, ',')) {
        if (item.size() != 4 || item[0] != '0' || item[3] != 'h') return "";
        out += (out.size() > 6 ? ",0x" : "0x") + item.substr(1, 2);
    }
    return out;
}

int32_t numberOf(const std::string& text) {
    return static_cast<int32_t>(static_cast<uint32_t>(std::stoll(text, nullptr, 0)));
}

// "[base+index*scale+disp]" in one canonical form: a scale-1 index without a
// base is the base, base and scale-1 index in name order, disp as int32.
std::string canonicalAddress(const std::string& inner) {
    std::string base, index, scale = "1";
    int64_t disp = 0;
    size_t at = 0;
    while (at < inner.size()) {
        int sign = 1;
        if (inner[at] == '+' || inner[at] == '-') sign = inner[at++] == '-' ? -1 : 1;
        size_t next = inner.find_first_of("+-", at);
        std::string term = inner.substr(at, next == std::string::npos ? std::string::npos : next - at);
        at = next == std::string::npos ? inner.size() : next;
        size_t star = term.find('*');
        if (star != std::string::npos) {
            index = term.substr(0, star);
            scale = term.substr(star + 1);
        } else if (!term.empty() && std::isalpha(static_cast<unsigned char>(term[0]))) {
            (base.empty() ? base : index) = term;
        } else {
            disp += sign * static_cast<int64_t>(numberOf(term));
        }
    }
    if (base.empty() && scale == "1") std::swap(base, index);
    if (scale == "1" && !index.empty() && index < base) std::swap(base, index);
    return "[" + base + "|" + index + "*" + scale + "|" + std::to_string(static_cast<int32_t>(disp)) + "]";
}

std::string canonicalInstruction(std::string text) {
    text = lowerCase(text);
    std::string squeezed;
    for (char c : text) {
        if (c == '\t') c = ' ';
        if (c == ' ' && (squeezed.empty() || squeezed.back() == ' ')) continue;
        squeezed += c;
    }
    size_t open = squeezed.find('['), close = squeezed.find(']');
    if (open != std::string::npos && close != std::string::npos)
        squeezed = squeezed.substr(0, open) + canonicalAddress(squeezed.substr(open + 1, close - open - 1)) +
                   squeezed.substr(close + 1);
    return trimmed(squeezed);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

class ScratchDirectory {
public:
    ScratchDirectory() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pakhod-as-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) != nullptr) path = name.data();
    }
    ~ScratchDirectory() {
        if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
    }
    std::string path;
};

// Assembles the source and returns the disassembled instruction texts;
// a failure of as or objdump is a test failure with their messages.
std::vector<std::string> assembleAndDisassemble(const std::string& dir, const std::string& name,
                                                const std::string& source) {
    std::string s = dir + "/" + name + ".s", o = dir + "/" + name + ".o", d = dir + "/" + name + ".txt",
                e = dir + "/" + name + ".err";
    std::ofstream(s) << source;
    std::string command = "as --32 -o '" + o + "' '" + s + "' 2>'" + e + "' && objdump -d -M intel " +
                          "--no-show-raw-insn '" + o + "' >'" + d + "' 2>>'" + e + "'";
    std::vector<std::string> texts;
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << name << ": as/objdump failed:\n" << readFile(e).substr(0, 4000);
        return texts;
    }
    std::istringstream lines(readFile(d));
    std::string line;
    while (std::getline(lines, line)) {
        size_t colon = line.find(":\t");
        if (colon == std::string::npos || line.find_first_not_of(" 0123456789abcdef") != colon) continue;
        texts.push_back(line.substr(colon + 2));
    }
    return texts;
}

// Encodes every case, runs both sides through as/objdump and compares them in order.
void compareWithGnuAs(const std::vector<Case>& cases) {
    ASSERT_FALSE(cases.empty());
    ScratchDirectory dir;
    ASSERT_FALSE(dir.path.empty()) << "no temporary directory";
    std::string ours, gnu = ".intel_syntax noprefix\n";
    int bad = 0;
    for (const Case& c : cases) {
        SplitLine split = splitLine(c.line);
        JString line(c.line.c_str()), op1(split.op1.c_str()), op2(split.op2.c_str());
        JMemoryStream out;
        int result = encodeInstruction(&out, line, c.def, op1, op2);
        std::string directive = byteDirective(out.bytes());
        if ((result != 1 || directive.empty()) && ++bad <= 20)
            ADD_FAILURE() << "not encoded: " << c.line << " -> " << out.bytes();
        ours += directive + "\n";
        gnu += c.gnuLine + "\n";
    }
    ASSERT_EQ(bad, 0);
    std::vector<std::string> mine = assembleAndDisassemble(dir.path, "pakhod", ours);
    std::vector<std::string> theirs = assembleAndDisassemble(dir.path, "gnu", gnu);
    ASSERT_EQ(theirs.size(), cases.size()) << "GNU as did not assemble one instruction per line";
    EXPECT_EQ(mine.size(), cases.size()) << "pakhod's bytes do not disassemble to one instruction per line";
    // In order: the first mismatch names the line even when the rest is out of step.
    int mismatches = 0;
    for (size_t k = 0; k < cases.size() && k < mine.size() && mismatches < 20; ++k) {
        if (canonicalInstruction(mine[k]) == canonicalInstruction(theirs[k])) continue;
        ++mismatches;
        ADD_FAILURE() << cases[k].line << "\n  pakhod: " << mine[k] << "\n  GNU as: " << theirs[k];
    }
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

TEST(GnuAsDifferential, CanonicalFormTreatsScaleOneOrderAsEqual) {
    EXPECT_EQ(canonicalInstruction("movq   mm0,QWORD PTR [ebx+eax*1]"),
              canonicalInstruction("movq mm0,QWORD PTR [eax+ebx*1]"));
    EXPECT_EQ(canonicalInstruction("movq mm0,QWORD PTR [eax*1+0x0]"), canonicalInstruction("movq mm0,QWORD PTR [eax]"));
    EXPECT_NE(canonicalInstruction("movq mm0,QWORD PTR [ebx+eax*2]"),
              canonicalInstruction("movq mm0,QWORD PTR [eax+ebx*2]"));
    EXPECT_NE(canonicalInstruction("movq mm0,QWORD PTR [eax+0x8]"), canonicalInstruction("movq mm0,QWORD PTR [eax]"));
    EXPECT_EQ(canonicalInstruction("movq mm0,QWORD PTR [eax-0x1]"),
              canonicalInstruction("movq mm0,QWORD PTR [eax+0xffffffff]"));
}
