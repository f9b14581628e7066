#include "words.h"

#include <cstdint>

#include "jasciicase.h"

namespace {

bool isLetter(char c) { return asciiLowered(c) >= 'a' && asciiLowered(c) <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Registers with fixed names, lower case.
constexpr const char* fixedRegisters[] = {
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
constexpr const char* keywords[] = {
    "ptr",    "offset", "short",  "near",    "far",     "byte",    "word",    "dword",   "qword",
    "tword",  "tbyte",  "oword",  "xword",   "yword",   "zword",   "mmword",  "xmmword", "ymmword",
    "zmmword", "fword", "real4",  "real8",   "real10",  "sbyte",   "sword",   "sdword",  "sqword",
    "seg",    "wrt",    "rel",    "abs",     "strict",  "nosplit", "flat",    "dup",     "mod",
    "shl",    "shr",    "and",    "or",      "xor",     "not",     "eq",      "ne",      "lt",
    "le",     "gt",     "ge",
};

// Words of up to eight letters packed lower-cased into 64 bits, and a table
// of the fixed words by hash, so that telling a name from them is one
// packing and a probe or two.
constexpr int packedLetters = 8;

constexpr uint64_t packed(const char* text, int n) {
    uint64_t key = 0;
    for (int i = 0; i < n; ++i) key |= uint64_t{static_cast<unsigned char>(asciiLowered(text[i]))} << (8 * i);
    return key;
}

constexpr int lengthOf(const char* word) {
    int n = 0;
    while (word[n] != '\0') ++n;
    return n;
}

constexpr unsigned slotOf(uint64_t key) { return static_cast<unsigned>((key * 0x9E3779B97F4A7C15ull) >> 56); }

enum WordClass : uint8_t { noWord, registerWord, keywordWord };

struct FixedWords {
    uint64_t key[256];
    uint8_t kind[256];
    constexpr FixedWords() : key(), kind() {
        for (const char* w : fixedRegisters) add(packed(w, lengthOf(w)), registerWord);
        for (const char* w : keywords) add(packed(w, lengthOf(w)), keywordWord);
    }
    constexpr void add(uint64_t k, uint8_t c) {
        unsigned s = slotOf(k);
        while (kind[s] != noWord) s = (s + 1) & 255;
        key[s] = k;
        kind[s] = c;
    }
    constexpr uint8_t find(uint64_t k) const {
        for (unsigned s = slotOf(k);; s = (s + 1) & 255) {
            if (kind[s] == noWord || key[s] == k) return kind[s];
        }
    }
};
constexpr FixedWords fixedWords;

uint8_t fixedWordClass(const char* text, int n) {
    return n > 0 && n <= packedLetters ? fixedWords.find(packed(text, n)) : static_cast<uint8_t>(noWord);
}

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

bool isAnyRegister(const char* text, int n) {
    if (fixedWordClass(text, n) == registerWord) return true;
    if (n < 2 || n > 6 || !isDigit(text[n - 1 - !isDigit(text[n - 1])])) return false;  // a number ends every other
    for (const NumberedRegister& r : numberedRegisters)
        if (isNumbered(text, n, r)) return true;
    return false;
}

bool isOperandKeyword(const char* text, int n) { return fixedWordClass(text, n) == keywordWord; }
