// gensource: writes a deterministic, realistic 32-bit assembly source of a
// given size for benchmarking pakhod, and its GNU-as twin holding the same
// instructions (.intel_syntax noprefix, '#' comments, size keywords on memory
// operands, GNU directives), so that `as --32` can be timed on the same work.
//
//   gensource MIB SOURCE TWIN [SEED]
//
// Line mix: about 45% MMX instructions of every operand form, 25% ordinary
// instructions, 10% comments, 10% labels, 5% blank lines, 5% directives.
// The source has LF line ends; TABs and trailing comments appear throughout.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// splitmix64: small, fast and the same on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    bool percent(int p) { return below(100) < p; }
    template <typename T, int N>
    const T& pick(const T (&items)[N]) { return items[below(N)]; }

private:
    uint64_t state;
};

const char* const generalRegisters[] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
const char* const indexRegisters[] = {"eax", "ecx", "edx", "ebx", "ebp", "esi", "edi"};
const char* const mmxRegisters[] = {"mm0", "mm1", "mm2", "mm3", "mm4", "mm5", "mm6", "mm7"};
const int scales[] = {1, 2, 4, 8};

// Two-operand MMX instructions taking mm, mm/m64.
const char* const arithmetic[] = {
    "paddb",    "paddw",    "paddd",    "paddsb",   "paddsw",   "paddusb",   "paddusw",
    "psubb",    "psubw",    "psubd",    "psubsb",   "psubsw",   "psubusb",   "psubusw",
    "pmullw",   "pmulhw",   "pmaddwd",  "pand",     "pandn",    "por",       "pxor",
    "pcmpeqb",  "pcmpeqw",  "pcmpeqd",  "pcmpgtb",  "pcmpgtw",  "pcmpgtd",   "packsswb",
    "packssdw", "packuswb", "punpckhbw", "punpckhwd", "punpckhdq", "movq"};
// Unpacks of the low halves read only 32 bits of memory.
const char* const lowUnpacks[] = {"punpcklbw", "punpcklwd", "punpckldq"};
const char* const shifts[] = {"psllw", "pslld", "psllq", "psrlw", "psrld", "psrlq", "psraw", "psrad"};

const char* const words[] = {"load",   "the",  "next", "row",   "of",   "pixels", "blend",
                             "alpha",  "mask", "keep", "carry", "loop", "until",  "done",
                             "saturate", "pack", "store", "result", "edge", "case"};

struct Line {
    std::string source;  // pakhod's input syntax
    std::string twin;    // the same statement for GNU as
};

class Generator {
public:
    explicit Generator(uint64_t seed) : rng(seed), labels(0) {}

    Line next() {
        int roll = rng.below(100);
        if (roll < 45) return withTrailer(mmxInstruction());
        if (roll < 70) return withTrailer(ordinaryInstruction());
        if (roll < 80) return comment();
        if (roll < 90) return label();
        if (roll < 95) return blank();
        return directive();
    }

private:
    Random rng;
    int labels;

    std::string number(long v) { return std::to_string(v); }

    // Indentation and the blank between mnemonic and operands vary as in
    // hand-written sources.
    std::string indent() {
        int r = rng.below(10);
        return r < 7 ? "\t" : r < 9 ? "    " : "";
    }
    std::string gap() { return rng.percent(70) ? "\t" : " "; }

    std::string phrase() {
        std::string text;
        int n = 2 + rng.below(5);
        for (int i = 0; i < n; ++i) {
            if (i > 0) text += ' ';
            text += rng.pick(words);
        }
        return text;
    }

    Line withTrailer(Line line) {
        if (rng.percent(15)) {
            std::string text = phrase();
            line.source += (rng.percent(50) ? "\t; " : " ; ") + text;
            line.twin += " # " + text;
        }
        return line;
    }

    // One memory operand in the bracket syntax both assemblers share.
    std::string address() {
        std::string base = rng.pick(generalRegisters);
        int form = rng.below(8);
        long disp8 = rng.below(255) - 127;
        long disp32 = 1000 + rng.below(2000000);
        switch (form) {
            case 0: return "[" + base + "]";
            case 1:
            case 2: return "[" + base + (disp8 < 0 ? "-" : "+") + number(std::labs(disp8)) + "]";
            case 3: return "[" + base + (rng.percent(80) ? "+" : "-") + number(disp32) + "]";
            case 4: return "[" + base + "+" + rng.pick(indexRegisters) + "]";
            case 5: return "[" + base + " + " + number(std::labs(disp8) + 1) + "]";
            case 6:
                return "[" + base + "+" + rng.pick(indexRegisters) + "*" + number(rng.pick(scales)) + "]";
            default:
                return "[" + base + "+" + rng.pick(indexRegisters) + "*" + number(rng.pick(scales)) + "+" +
                       number(std::labs(disp8) + 1) + "]";
        }
    }

    Line instruction(const std::string& mnemonic, const std::string& op1, const std::string& op2,
                     const std::string& twinOp1, const std::string& twinOp2) {
        std::string lead = indent();
        std::string shown = rng.percent(5) ? upper(mnemonic) : mnemonic;
        std::string sep = op1.empty() ? "" : gap();
        Line line;
        line.source = lead + shown + sep + op1;
        line.twin = lead + mnemonic + sep + twinOp1;
        if (!op2.empty()) {
            line.source += ", " + op2;
            line.twin += ", " + twinOp2;
        }
        return line;
    }
    Line instruction(const std::string& mnemonic, const std::string& op1, const std::string& op2) {
        return instruction(mnemonic, op1, op2, op1, op2);
    }

    static std::string upper(std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        return s;
    }

    Line mmxInstruction() {
        std::string mm = rng.pick(mmxRegisters);
        std::string mm2 = rng.pick(mmxRegisters);
        int form = rng.below(20);
        if (form < 6) return instruction(rng.pick(arithmetic), mm, mm2);
        if (form < 11) {
            std::string mem = address();
            return instruction(rng.pick(arithmetic), mm, mem, mm, "qword ptr " + mem);
        }
        if (form < 12) {
            std::string mem = address();
            return instruction(rng.pick(lowUnpacks), mm, mem, mm, "dword ptr " + mem);
        }
        if (form < 13) return instruction(rng.pick(lowUnpacks), mm, mm2);
        if (form < 14) {
            std::string mem = address();
            return instruction("movq", mem, mm, "qword ptr " + mem, mm);
        }
        if (form < 16) return instruction(rng.pick(shifts), mm, number(rng.below(64)));
        if (form < 17) return instruction(rng.pick(shifts), mm, mm2);
        if (form < 18) {
            std::string reg = rng.pick(generalRegisters);
            return rng.percent(50) ? instruction("movd", mm, reg) : instruction("movd", reg, mm);
        }
        if (form < 19) {
            std::string mem = address();
            return rng.percent(50) ? instruction("movd", mm, mem, mm, "dword ptr " + mem)
                                   : instruction("movd", mem, mm, "dword ptr " + mem, mm);
        }
        return instruction("emms", "", "");
    }

    std::string lastLabel() { return "row_" + number(labels - 1 - rng.below(labels < 4 ? labels : 4)); }

    Line ordinaryInstruction() {
        std::string r1 = rng.pick(generalRegisters);
        std::string r2 = rng.pick(generalRegisters);
        switch (rng.below(12)) {
            case 0: return instruction("mov", r1, r2);
            case 1: return instruction("mov", r1, address());
            case 2: return instruction("mov", address(), r1);
            case 3: return instruction("add", r1, number(rng.below(4096)));
            case 4: return instruction("lea", r1, address());
            case 5: return instruction("xor", r1, r2);
            case 6: return instruction(rng.percent(50) ? "push" : "pop", r1, "");
            case 7: return instruction("cmp", r1, number(rng.below(256)));
            case 8: return instruction(rng.percent(50) ? "dec" : "inc", r1, "");
            case 9: return instruction("shl", r1, number(1 + rng.below(31)));
            case 10: return labels > 0 ? instruction(rng.percent(50) ? "jnz" : "jmp", lastLabel(), "")
                                       : instruction("test", r1, r2);
            default: return instruction(rng.percent(50) ? "ret" : "nop", "", "");
        }
    }

    Line comment() {
        std::string text = phrase();
        std::string lead = rng.percent(70) ? "" : indent();
        return {lead + "; " + text, lead + "# " + text};
    }

    Line label() {
        std::string name = "row_" + number(labels++) + ":";
        return {name, name};
    }

    Line blank() {
        static const char* const blanks[] = {"", "", "", "\t", "  "};
        std::string text = rng.pick(blanks);
        return {text, text};
    }

    Line directive() {
        std::string lead = indent();
        switch (rng.below(4)) {
            case 0: {
                std::string n = number(1 << (2 + rng.below(3)));
                return {lead + "align" + gap() + n, lead + ".balign " + n};
            }
            case 1: {
                std::string list = number(rng.below(256));
                for (int i = 1 + rng.below(7); i > 0; --i) list += ", " + number(rng.below(256));
                return {lead + "db" + gap() + list, lead + ".byte " + list};
            }
            case 2: {
                std::string v = number(rng.below(65536));
                return {lead + "dw" + gap() + v, lead + ".word " + v};
            }
            default: {
                std::string v = number(rng.below(2000000000));
                return {lead + "dd" + gap() + v, lead + ".long " + v};
            }
        }
    }
};

// Output through one large stdio buffer; 1 on success.
class Output {
public:
    explicit Output(const char* name) : file(std::fopen(name, "wb")), buffer(1 << 20, '\0') {
        if (file != nullptr) std::setvbuf(file, &buffer[0], _IOFBF, buffer.size());
    }
    ~Output() {
        if (file != nullptr) std::fclose(file);
    }
    bool ok() const { return file != nullptr; }
    void line(const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fputc('\n', file);
    }
    bool finish() {
        bool good = std::fflush(file) == 0 && !std::ferror(file);
        good = std::fclose(file) == 0 && good;
        file = nullptr;
        return good;
    }

private:
    std::FILE* file;
    std::string buffer;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: gensource MIB SOURCE TWIN [SEED]\n");
        return 2;
    }
    double mib = std::atof(argv[1]);
    uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
    Output source(argv[2]);
    Output twin(argv[3]);
    if (!source.ok() || !twin.ok()) {
        std::fprintf(stderr, "gensource: cannot create the output files\n");
        return 1;
    }
    twin.line(".intel_syntax noprefix");
    twin.line(".text");
    Generator generator(seed);
    const double target = mib * 1024.0 * 1024.0;
    double written = 0;
    while (written < target) {
        Line line = generator.next();
        if (written + static_cast<double>(line.source.size()) + 1 > target && written > 0) break;
        source.line(line.source);
        twin.line(line.twin);
        written += static_cast<double>(line.source.size()) + 1;
    }
    if (!source.finish() || !twin.finish()) {
        std::fprintf(stderr, "gensource: write failed\n");
        return 1;
    }
    return 0;
}
