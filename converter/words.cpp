#include "words.h"

#include "jasciicase.h"

namespace {

bool isLetter(char c) { return asciiLowered(c) >= 'a' && asciiLowered(c) <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Registers with fixed names, lower case.
const char* const fixedRegisters[] = {
    "al",  "cl",  "dl",  "bl",  "ah",  "ch",  "dh",  "bh",  "spl", "bpl", "sil", "dil", "ax",  "cx",
    "dx",  "bx",  "sp",  "bp",  "si",  "di",  "ip",  "eax", "ecx", "edx", "ebx", "esp", "ebp", "esi",
    "edi", "eip", "rax", "rcx", "rdx", "rbx", "rsp", "rbp", "rsi", "rdi", "rip", "es",  "cs",  "ss",
    "ds",  "fs",  "gs",  "st",
};

// Registers named by a prefix and a number (xmm15, cr0, r8d): the prefix,
// and the letters that may follow the number.
struct NumberedRegister {
    const char* prefix;
    const char* suffixes;
};
const NumberedRegister numberedRegisters[] = {
    {"mm", ""}, {"xmm", ""}, {"ymm", ""}, {"zmm", ""}, {"st", ""}, {"cr", ""},
    {"dr", ""}, {"tr", ""},  {"k", ""},   {"bnd", ""}, {"r", "bwdl"},
};

// Words that are never names: size words, pointer and distance words,
// relocation words and the operators written as words. (MASM's unary
// operators such as SIZE need an argument, so a lone one is no operand.)
const char* const keywords[] = {
    "ptr",    "offset", "short",  "near",    "far",     "byte",    "word",    "dword",   "qword",
    "tword",  "tbyte",  "oword",  "xword",   "yword",   "zword",   "mmword",  "xmmword", "ymmword",
    "zmmword", "fword", "real4",  "real8",   "real10",  "sbyte",   "sword",   "sdword",  "sqword",
    "seg",    "wrt",    "rel",    "abs",     "strict",  "nosplit", "flat",    "dup",     "mod",
    "shl",    "shr",    "and",    "or",      "xor",     "not",     "eq",      "ne",      "lt",
    "le",     "gt",     "ge",
};

// A prefix in any case, then at least one digit, then at most one of the suffix letters.
bool isNumbered(const char* text, int n, const NumberedRegister& r) {
    int i = 0;
    for (; r.prefix[i] != '\0'; ++i)
        if (i == n || asciiLowered(text[i]) != r.prefix[i]) return false;
    int digits = i;
    while (i < n && isDigit(text[i])) ++i;
    if (i == digits) return false;
    if (i == n) return true;
    if (i + 1 != n) return false;
    for (const char* s = r.suffixes; *s != '\0'; ++s)
        if (asciiLowered(text[i]) == *s) return true;
    return false;
}

}  // namespace

bool startsName(char c) { return isLetter(c) || c == '_' || c == '.' || c == '?' || c == '@' || c == '$'; }

bool continuesName(char c) { return startsName(c) || isDigit(c) || c == '#' || c == '~'; }

int nameLength(const char* text, int n) {
    if (n <= 0 || !startsName(text[0])) return 0;
    int i = 1;
    while (i < n && continuesName(text[i])) ++i;
    return i;
}

bool sameWordFolded(const char* text, int n, const char* word) {
    int i = 0;
    for (; i < n && word[i] != '\0'; ++i)
        if (asciiLowered(text[i]) != word[i]) return false;
    return i == n && word[i] == '\0';
}

bool isAnyRegister(const char* text, int n) {
    for (const char* r : fixedRegisters)
        if (sameWordFolded(text, n, r)) return true;
    for (const NumberedRegister& r : numberedRegisters)
        if (isNumbered(text, n, r)) return true;
    return false;
}

bool isOperandKeyword(const char* text, int n) {
    for (const char* k : keywords)
        if (sameWordFolded(text, n, k)) return true;
    return false;
}
