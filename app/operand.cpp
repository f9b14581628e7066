#include "operand.h"

#include <cstring>
#include <initializer_list>

#include "jasciicase.h"

constexpr RegisterName registerTable[registerCount] = {
    {"eax", kindGeneralRegister, 0}, {"ecx", kindGeneralRegister, 1},
    {"edx", kindGeneralRegister, 2}, {"ebx", kindGeneralRegister, 3},
    {"esp", kindGeneralRegister, 4}, {"ebp", kindGeneralRegister, 5},
    {"esi", kindGeneralRegister, 6}, {"edi", kindGeneralRegister, 7},
    {"mm0", kindMmxRegister, 0},     {"mm1", kindMmxRegister, 1},
    {"mm2", kindMmxRegister, 2},     {"mm3", kindMmxRegister, 3},
    {"mm4", kindMmxRegister, 4},     {"mm5", kindMmxRegister, 5},
    {"mm6", kindMmxRegister, 6},     {"mm7", kindMmxRegister, 7},
};

namespace {

// Registers by their last two letters: slot (letter 2 * 3 + letter 3) mod 64
// holds the register's place in registerTable plus 1, or 0. The sixteen
// names fall into distinct slots (checked below), so one look-up and one
// comparison of the three letters find any register.
constexpr int registerSlotCount = 64;

constexpr unsigned registerSlotOf(const char* name) {
    unsigned second = static_cast<unsigned char>(asciiLowered(name[1]));
    unsigned third = static_cast<unsigned char>(asciiLowered(name[2]));
    return (second * 3u + third) % registerSlotCount;
}

struct RegisterSlots {
    unsigned char place[registerSlotCount];
    bool distinct;
    constexpr RegisterSlots() : place(), distinct(true) {
        for (int i = 0; i < registerCount; ++i) {
            unsigned slot = registerSlotOf(registerTable[i].name);
            if (place[slot] != 0) distinct = false;
            place[slot] = static_cast<unsigned char>(i + 1);
        }
    }
};
constexpr RegisterSlots registerSlotTable;
static_assert(registerSlotTable.distinct, "two register names share a slot");

// The register named by the three letters at s, or null.
const RegisterName* registerNamed(const char* s) {
    int place = registerSlotTable.place[registerSlotOf(s)];
    if (place == 0) return nullptr;
    const RegisterName* r = &registerTable[place - 1];
    bool same = r->name[0] == asciiLowered(s[0]) && r->name[1] == asciiLowered(s[1]) &&
                r->name[2] == asciiLowered(s[2]);
    return same ? r : nullptr;
}

// Far beyond any displacement, and far from overflowing a sum of such values.
constexpr int64_t numberLimit = int64_t(1) << 40;
constexpr int64_t lowestDisplacement = -(int64_t(1) << 31);
constexpr int64_t highestDisplacement = (int64_t(1) << 32) - 1;
constexpr int64_t lowestImmediate = -128;
constexpr int64_t highestImmediate = 255;

// Scale factor -> SIB scale field.
struct ScaleEntry {
    int64_t factor;
    uint8_t field;
};
constexpr ScaleEntry scaleTable[] = {{1, 0}, {2, 1}, {4, 2}, {8, 3}};

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// What each byte is to the address reader, by table: whether it ends a
// word inside a memory operand, and its value as a hex digit (-1: none).
struct AddressBytes {
    bool endsWord[256];
    signed char digit[256];
    constexpr AddressBytes() : endsWord(), digit() {
        for (const char c : {'\0', ' ', '\t', '+', '-', '*', '[', ']'}) endsWord[static_cast<unsigned char>(c)] = true;
        for (int c = 0; c < 256; ++c)
            digit[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                       : -1);
    }
};
constexpr AddressBytes addressBytes;

bool endsWord(char c) { return addressBytes.endsWord[static_cast<unsigned char>(c)]; }
int hexDigitValue(char c) { return addressBytes.digit[static_cast<unsigned char>(c)]; }

// Digits s[0..n) in the given base (at least one); 0 when any is not a digit.
int readDigits(const char* s, int n, int base, int64_t* value) {
    if (n <= 0) return 0;
    int64_t v = 0;
    for (int i = 0; i < n; ++i) {
        int d = hexDigitValue(s[i]);
        if (d < 0 || d >= base) return 0;
        v = v * base + d;
        if (v > numberLimit) return 0;
    }
    *value = v;
    return 1;
}

// An unsigned number word of n characters: 0x.., ..h (first a decimal digit) or decimal.
int readNumberWord(const char* s, int n, int64_t* value) {
    if (n >= 2 && s[0] == '0' && asciiLowered(s[1]) == 'x') return readDigits(s + 2, n - 2, 16, value);
    if (n >= 2 && asciiLowered(s[n - 1]) == 'h' && isDecimalDigit(s[0])) return readDigits(s, n - 1, 16, value);
    return readDigits(s, n, 10, value);
}

// Number of a general register name s[0..n), or -1.
int generalRegisterOf(const char* s, int n) {
    if (n != 3) return -1;
    const RegisterName* r = registerNamed(s);
    return (r != nullptr && r->kind == kindGeneralRegister) ? r->number : -1;
}

int scaleFieldOf(int64_t factor, uint8_t* field) {
    for (const ScaleEntry& entry : scaleTable)
        if (entry.factor == factor) {
            *field = entry.field;
            return 1;
        }
    return 0;
}

// One word of a memory operand: a general register or an unsigned number.
struct Word {
    int isRegister;
    uint8_t reg;
    int64_t number;
};

int readWord(const char** p, Word* word) {
    const char* start = *p;
    const char* end = start;
    while (!endsWord(*end)) ++end;
    int n = static_cast<int>(end - start);
    *p = end;
    int reg = generalRegisterOf(start, n);
    if (reg >= 0) {
        word->isRegister = 1;
        word->reg = static_cast<uint8_t>(reg);
        return 1;
    }
    word->isRegister = 0;
    return readNumberWord(start, n, &word->number);
}

void skipBlanks(const char** p) {
    while (isBlank(**p)) ++*p;
}

int addRegister(Address* a, uint8_t reg) {
    if (a->plainCount + a->scaled == 2) return 0;  // a third register
    a->plain[a->plainCount++] = reg;
    return 1;
}

int addScaledRegister(Address* a, uint8_t reg, int64_t factor) {
    uint8_t field = 0;
    if (!scaleFieldOf(factor, &field)) return 0;
    if (field == 0) return addRegister(a, reg);  // *1 is a plain register
    if (a->scaled || a->plainCount == 2) return 0;
    a->scaled = 1;
    a->scaledRegister = reg;
    a->scaleField = field;
    return 1;
}

// One term after an operator of the given sign (+1/-1); *sum collects numbers.
// A register is never subtracted and the first term must be a register.
int readTerm(const char** p, int sign, int first, Address* a, int64_t* sum) {
    int numberSign = 1;
    int hasSign = (**p == '+' || **p == '-');  // a signed number, as in [eax+-8]
    if (hasSign) numberSign = (*(*p)++ == '-') ? -1 : 1;
    Word w1 = {}, w2 = {};
    if (!readWord(p, &w1)) return 0;
    const char* after = *p;
    skipBlanks(&after);
    if (*after == '*') {  // reg*scale or scale*reg
        *p = after + 1;
        skipBlanks(p);
        if (!readWord(p, &w2)) return 0;
        if (w1.isRegister == w2.isRegister || sign < 0 || hasSign) return 0;
        const Word& reg = w1.isRegister ? w1 : w2;
        const Word& factor = w1.isRegister ? w2 : w1;
        return addScaledRegister(a, reg.reg, factor.number);
    }
    if (w1.isRegister) return (sign < 0 || hasSign) ? 0 : addRegister(a, w1.reg);
    if (first) return 0;
    *sum += sign * numberSign * w1.number;
    return (*sum >= -numberLimit && *sum <= numberLimit) ? 1 : 0;
}

}  // namespace

Operand classifyOperand(const char* text) { return classifyOperand(text, static_cast<int>(std::strlen(text))); }

Operand classifyOperand(const char* text, int length) {
    Operand operand = {kindImmediate, 0};
    if (length > 0 && text[0] == '[') {
        operand.kind = kindMemory;
        return operand;
    }
    // Every register name has three letters; other texts need no comparison.
    if (length != 3) return operand;
    const RegisterName* r = registerNamed(text);
    if (r != nullptr) {
        operand.kind = r->kind;
        operand.number = r->number;
    }
    return operand;
}

int readNumber(const char* text, int64_t* value) {
    return readNumber(text, static_cast<int>(std::strlen(text)), value);
}

int readNumber(const char* text, int length, int64_t* value) {
    int negative = 0;
    if (length > 0 && (text[0] == '+' || text[0] == '-')) {
        negative = (text[0] == '-');
        ++text;
        --length;
    }
    int64_t magnitude = 0;
    if (!readNumberWord(text, length, &magnitude)) return 0;
    *value = negative ? -magnitude : magnitude;
    return 1;
}

int readImmediate(const char* text, uint8_t* byte) {
    return readImmediate(text, static_cast<int>(std::strlen(text)), byte);
}

int readImmediate(const char* text, int length, uint8_t* byte) {
    int64_t value = 0;
    if (!readNumber(text, length, &value) || value < lowestImmediate || value > highestImmediate) return 0;
    *byte = static_cast<uint8_t>(value & 0xFF);
    return 1;
}

int readAddress(const char* text, Address* address) {
    return readAddress(text, static_cast<int>(std::strlen(text)), address);
}

int readAddress(const char* text, int n, Address* address) {
    if (n < 2 || text[0] != '[' || text[n - 1] != ']') return 0;
    // Filled where it stands: a copy of freshly written fields would wait on them.
    Address& a = *address;
    a = Address{};
    const char* p = text + 1;
    const char* last = text + n - 1;  // the closing bracket
    int64_t sum = 0;
    int sign = 1;
    int first = 1;
    for (;;) {
        skipBlanks(&p);
        if (!readTerm(&p, sign, first, &a, &sum) || p > last) return 0;
        first = 0;
        skipBlanks(&p);
        if (p == last) break;
        if (*p != '+' && *p != '-') return 0;
        sign = (*p++ == '-') ? -1 : 1;
    }
    if (sum < lowestDisplacement || sum > highestDisplacement) return 0;
    a.displacement = static_cast<uint32_t>(sum);
    return 1;
}
