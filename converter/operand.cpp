#include "operand.h"

#include <cstring>
#include <initializer_list>

#include "jasciicase.h"
#include "expression.h"
#include "words.h"

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

}  // namespace

const RegisterName* registerNamed(const char* s) {
    int place = registerSlotTable.place[registerSlotOf(s)];
    if (place == 0) return nullptr;
    const RegisterName* r = &registerTable[place - 1];
    bool same = r->name[0] == asciiLowered(s[0]) && r->name[1] == asciiLowered(s[1]) &&
                r->name[2] == asciiLowered(s[2]);
    return same ? r : nullptr;
}

namespace {

// Scale factor -> SIB scale field.
struct ScaleEntry {
    int64_t factor;
    uint8_t field;
};
constexpr ScaleEntry scaleTable[] = {{1, 0}, {2, 1}, {4, 2}, {8, 3}};

// Size keywords and the memory size each names.
struct SizeKeyword {
    const char* name;
    uint8_t size;
};
constexpr SizeKeyword sizeKeywords[] = {
    {"byte", memory8}, {"word", memory16}, {"dword", memory32}, {"qword", memory64}, {"mmword", memory64},
};

// Segment registers and the prefix byte that selects each.
struct SegmentOverride {
    char name[3];
    uint8_t prefix;
};
constexpr SegmentOverride segmentOverrides[] = {
    {"es", 0x26}, {"cs", 0x2e}, {"ss", 0x36}, {"ds", 0x3e}, {"fs", 0x64}, {"gs", 0x65},
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return asciiLowered(c) >= 'a' && asciiLowered(c) <= 'z'; }

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

[[gnu::always_inline]] inline int readWord(ExpressionCursor& c, Word* word) {
    const char* start = c.p;
    int n = c.wordLength();
    c.p += n;
    int reg = generalRegisterOf(start, n);
    word->isRegister = reg >= 0;
    word->reg = static_cast<uint8_t>(reg);
    return reg >= 0 || readNumberWord(start, n, &word->number);
}

// A register written a second time beside another one is that register
// times two, as NASM reads [eax+ebx+ebx]; a third different one is refused.
int addRegister(Address* a, uint8_t reg) {
    if (a->plainCount + a->scaled < 2) {
        a->plain[a->plainCount++] = reg;
        return 1;
    }
    if (a->scaled) return 0;
    for (int i = 0; i < 2; ++i)
        if (a->plain[i] == reg) {
            a->plain[i] = a->plain[1 - i];
            a->plainCount = 1;
            a->scaled = 1;
            a->scaledRegister = reg;
            a->scaleField = 1;
            return 1;
        }
    return 0;
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

// reg*SCALE or SCALE*reg where SCALE is a factor whose names are values the
// source defines; -1 when the term at c is not of that shape.
int readScaleByName(ExpressionCursor& c, int sign, Address* a, const JNameLookup* names) {
    ExpressionCursor t = c;
    NamedValue v;
    int n = t.wordLength();
    int reg = generalRegisterOf(t.p, n);
    if (reg >= 0) {  // reg * SCALE
        t.p += n;
        t.skipBlanks();
        if (t.peek() != '*') return -1;
        ++t.p;
        if (!readNamedFactor(t, names, displacementRange, &v) || !v.known) return -1;
    } else {  // SCALE * reg
        if (!readNamedFactor(t, names, displacementRange, &v) || !v.known) return -1;
        t.skipBlanks();
        if (t.peek() != '*') return -1;
        ++t.p;
        t.skipBlanks();
        n = t.wordLength();
        reg = generalRegisterOf(t.p, n);
        if (reg < 0) return -1;
        t.p += n;
    }
    c = t;
    return sign > 0 && addScaledRegister(a, static_cast<uint8_t>(reg), v.value);
}

// Adds the term text [from, to) to the displacement's expression with its
// sign; the first term keeps a '-' only.
void addTermText(NamedTerms* named, int sign, const char* from, const char* to) {
    if (!named->keepText) return;
    while (to > from && isBlank(to[-1])) --to;
    if (sign < 0) named->expression.add('-');
    else if (named->expression.length() > 0) named->expression.add('+');
    named->expression.add(from, static_cast<int>(to - from));
}

// One term after an operator of the given sign (+1/-1): a register, a
// register with its scale on either side, or a constant expression added to
// *sum. A register is never subtracted. For the plain readers the first term
// is a register and every other a constant; in the names path (isNamed) a
// term may hold names, and every term that is not a register is also kept
// as text in `named`.
template <bool isNamed>
int readTerm(ExpressionCursor& c, int sign, int first, Address* a, int64_t* sum, NamedTerms* named) {
    const ExpressionCursor start = c;
    Word w1, w2;
    const int isWord = readWord(c, &w1);
    ExpressionCursor next = c;
    next.skipBlanks();
    if (isWord && next.peek() == '*') {
        ExpressionCursor scale = next;
        ++scale.p;
        scale.skipBlanks();
        if (readWord(scale, &w2) && w1.isRegister != w2.isRegister) {  // reg*scale or scale*reg
            c = scale;
            return sign > 0 && addScaledRegister(a, w1.isRegister ? w1.reg : w2.reg, w1.isRegister ? w2.number : w1.number);
        }
    }
    if constexpr (isNamed) {  // reg*SCALE or SCALE*reg, the scale a value the source defines
        int scaled = readScaleByName(c = start, sign, a, named->names);
        if (scaled >= 0) return scaled;
        c = start;
        readWord(c, &w1);
    }
    if (isWord && w1.isRegister) return next.peek() != '*' && sign > 0 && addRegister(a, w1.reg);
    if (first && !isNamed) return 0;
    int64_t value = w1.number;
    if (!isWord || next.peek() == '*') {  // not a lone number: the expression reader
        c = start;
        if (!readProduct(c, displacementRange, &value)) {
            if constexpr (!isNamed) return 0;
            c = start;
            NamedValue v;  // names: their values, or the assembler's to fill in
            if (!readNamedProduct(c, named->names, displacementRange, &v)) return 0;
            if (!v.known) {
                addTermText(named, sign, start.p, c.p);
                named->symbolic = true;
                return 1;
            }
            value = v.value;
        }
    }
    if constexpr (isNamed) addTermText(named, sign, start.p, c.p);
    *sum += sign * value;
    return within(value, displacementRange) && within(*sum, displacementRange);
}

// Terms joined by + and -, up to c's end, into the address; `first` when
// they begin the operand.
template <bool isNamed>
int readTermsInto(ExpressionCursor c, int first, Address* a, int64_t* sum, NamedTerms* named) {
    int sign = 1;
    for (;; first = 0) {
        c.skipBlanks();
        if (!readTerm<isNamed>(c, sign, first, a, sum, named)) return 0;
        c.skipBlanks();
        if (c.p == c.end) return 1;
        if (*c.p != '+' && *c.p != '-') return 0;
        sign = *c.p++ == '-' ? -1 : 1;
    }
}

// The terms between a memory operand's brackets; c ends at the closing one.
int readTerms(ExpressionCursor c, Address* a) {
    int64_t sum = 0;
    if (!readTermsInto<false>(c, 1, a, &sum, nullptr)) return 0;
    a->displacement = static_cast<uint32_t>(sum);
    return 1;
}

// A segment override ("es:") at c: moves past it and sets *prefix.
int readSegmentOverride(ExpressionCursor& c, uint8_t* prefix) {
    if (c.end - c.p < 3 || c.p[2] != ':') return 0;
    for (const SegmentOverride& s : segmentOverrides)
        if (sameWordFolded(c.p, 2, s.name)) {
            *prefix = s.prefix;
            c.p += 3;
            c.skipBlanks();
            return 1;
        }
    return 0;
}

// A segment override just inside a bracket ([es:edi]) that `inside` (up to
// the closing bracket) starts with; 0 when the operand has one already.
int readOverrideInside(ExpressionCursor& inside, MemoryOperand& m) {
    inside.skipBlanks();
    uint8_t prefix = 0;
    if (inside.end - inside.p > 2 && inside.p[2] == ':' && readSegmentOverride(inside, &prefix)) {
        if (m.segmentPrefix != 0) return 0;  // one override at most
        m.segmentPrefix = prefix;
    }
    return 1;
}

// What may stand before the bracket: a size keyword, with or without "ptr",
// then a segment override. 0 for "ptr" alone.
int readMemoryPrefix(ExpressionCursor& c, MemoryOperand* m) {
    c.skipBlanks();
    int n = c.nameLength();
    for (const SizeKeyword& k : sizeKeywords)
        if (sameWordFolded(c.p, n, k.name)) {
            m->size = k.size;
            c.p += n;
            c.skipBlanks();
            n = c.nameLength();
            if (sameWordFolded(c.p, n, "ptr")) {
                c.p += n;
                c.skipBlanks();
            }
            break;
        }
    if (m->size == 0 && sameWordFolded(c.p, n, "ptr")) return 0;
    readSegmentOverride(c, &m->segmentPrefix);
    return 1;
}

// ASCII letters and digits, by table: one look-up per byte of a word.
struct Alphanumerics {
    bool of[256];
    constexpr Alphanumerics() : of() {
        for (int c = 0; c < 256; ++c) of[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }
};
constexpr Alphanumerics alphanumerics;

bool isAlphanumeric(char c) { return alphanumerics.of[static_cast<unsigned char>(c)]; }

// The memory operands most lines hold, read in one pass: a bracket, terms
// joined by + and - (a general register, a register with a one-digit
// scale after it, or a number word), blanks anywhere, the closing bracket
// last. 0 for anything else (a prefix, a scale first, arithmetic, a name,
// a register after '-'), which readMemoryOperand's general reader decides;
// what this one accepts it reads as that one does.
int readUsualAddress(const char* text, int length, Address* a) {
    if (length < 3 || text[0] != '[' || text[length - 1] != ']') return 0;
    const char* p = text + 1;
    const char* end = text + length - 1;
    int64_t sum = 0;
    int sign = 1;
    for (bool first = true;; first = false) {
        while (p < end && isBlank(*p)) ++p;
        const char* word = p;
        while (p < end && isAlphanumeric(*p)) ++p;
        const int n = static_cast<int>(p - word);
        while (p < end && isBlank(*p)) ++p;
        if (n == 3 && !isDecimalDigit(word[0])) {  // a register, perhaps scaled
            const int reg = generalRegisterOf(word, n);
            if (reg < 0 || sign < 0) return 0;
            if (p < end && *p == '*') {
                ++p;
                while (p < end && isBlank(*p)) ++p;
                if (p == end || !isDecimalDigit(*p) || (p + 1 < end && isAlphanumeric(p[1]))) return 0;
                if (!addScaledRegister(a, static_cast<uint8_t>(reg), *p++ - '0')) return 0;
                while (p < end && isBlank(*p)) ++p;
            } else if (!addRegister(a, static_cast<uint8_t>(reg))) {
                return 0;
            }
        } else {  // a number, never first
            int64_t value = 0;
            if (first || n == 0 || !isDecimalDigit(word[0]) || !readNumberWordQuickly(word, n, &value)) return 0;
            if (p < end && *p == '*') return 0;
            sum += sign * value;
            if (!within(value, displacementRange) || !within(sum, displacementRange)) return 0;
        }
        if (p == end) break;
        if (*p != '+' && *p != '-') return 0;
        sign = *p++ == '-' ? -1 : 1;
    }
    a->displacement = static_cast<uint32_t>(sum);
    return 1;
}

}  // namespace

bool startsWithMemoryPrefix(const char* text, int length) {
    if (!isLetter(text[0])) return false;
    ExpressionCursor c = {text, text + length};
    MemoryOperand m = {};
    return readMemoryPrefix(c, &m) && c.peek() == '[';
}

uint8_t sizeOfKeyword(const char* text, int length) {
    for (const SizeKeyword& k : sizeKeywords)
        if (sameWordFolded(text, length, k.name)) return k.size;
    return 0;
}

bool isMemoryPrefixWord(const char* text, int length) {
    for (const SizeKeyword& k : sizeKeywords)
        if (sameWordFolded(text, length, k.name)) return true;
    ExpressionCursor c = {text, text + length};
    uint8_t prefix = 0;
    return sameWordFolded(text, length, "ptr") || (length == 3 && readSegmentOverride(c, &prefix));
}

int readImmediate(const char* text, int length, uint8_t* byte) {
    ExpressionCursor c = {text, text + length};
    int64_t value = 0;
    if (!readNumberWordQuickly(text, length, &value) || !within(value, immediateRange)) {  // not a lone number
        if (!readSum(c, immediateRange, &value)) return 0;
        c.skipBlanks();
        if (c.p != c.end) return 0;
    }
    *byte = static_cast<uint8_t>(value & 0xFF);
    return 1;
}

int readMemoryOperand(const char* text, int length, MemoryOperand* memory) {
    // Filled where it stands: a copy of freshly written fields would wait on them.
    MemoryOperand& m = *memory;
    m = MemoryOperand{};
    if (readUsualAddress(text, length, &m.address)) return 1;
    m = MemoryOperand{};
    ExpressionCursor c = {text, text + length};
    if (c.peek() != '[' && (!readMemoryPrefix(c, &m) || c.peek() != '[')) return 0;
    const char* last = c.end - 1;  // the closing bracket ends the operand
    if (last <= c.p || *last != ']') return 0;
    ExpressionCursor inside = {c.p + 1, last};
    return readOverrideInside(inside, m) && readTerms(inside, &m.address);
}

int readNamedMemoryOperand(const char* text, int length, const JNameLookup* names, MemoryOperand* memory,
                           NamedMemory* named) {
    MemoryOperand& m = *memory;
    m = MemoryOperand{};
    NamedTerms& terms = named->terms;
    terms.expression.clear();
    terms.symbolic = false;
    terms.names = names;
    ExpressionCursor c = {text, text + length};
    c.skipBlanks();
    if (c.peek() != '[' && !readMemoryPrefix(c, &m)) return 0;
    named->hasPrefix = m.size != 0 || m.segmentPrefix != 0;
    const char* open = static_cast<const char*>(std::memchr(c.p, '[', static_cast<size_t>(c.end - c.p)));
    named->bare = open == nullptr;
    int64_t sum = 0;
    int first = 1;
    if (open != c.p) {  // MASM's displacement before the brackets (table[esi]), or no brackets at all
        ExpressionCursor outer = {c.p, open != nullptr ? open : c.end};
        if (!readTermsInto<true>(outer, 1, &m.address, &sum, &terms)) return 0;
        if (m.address.plainCount + m.address.scaled > 0) return 0;  // registers stand inside brackets
        c.p = outer.end;
        first = 0;
    }
    while (c.peek() == '[') {  // brackets side by side add up: [esi][ebx*2]
        const char* close = static_cast<const char*>(std::memchr(c.p, ']', static_cast<size_t>(c.end - c.p)));
        if (close == nullptr || std::memchr(c.p + 1, '[', static_cast<size_t>(close - c.p - 1)) != nullptr) return 0;
        ExpressionCursor inside = {c.p + 1, close};
        if (!readOverrideInside(inside, m) || !readTermsInto<true>(inside, first, &m.address, &sum, &terms)) return 0;
        first = 0;
        c.p = close + 1;
        c.skipBlanks();
    }
    if (c.p != c.end) return 0;
    named->registerless = m.address.plainCount + m.address.scaled == 0;
    if (named->registerless && !terms.symbolic) return 0;  // a bare number ([1234]) is no address pakhod writes
    m.address.displacement = static_cast<uint32_t>(sum);
    m.address.named = terms.symbolic;
    return 1;
}

int readNamedImmediate(const char* text, int length, const JNameLookup* names, uint8_t* byte, bool* named) {
    NamedExpression e;
    if (!readNamedExpression(text, length, names, immediateRange, &e)) return 0;
    *named = !e.known;
    *byte = static_cast<uint8_t>(e.known ? e.value & 0xFF : 0);
    return 1;  // a known value was checked against the range as it was read
}
