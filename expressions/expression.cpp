#include "expression.h"

#include <initializer_list>

#include "jasciicase.h"
#include "words.h"

namespace {

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// What each byte is to the readers, by table: whether it ends a word (a
// register name or a number), and its value as a hex digit (-1: none).
struct WordBytes {
    bool endsWord[256];
    signed char digit[256];
    constexpr WordBytes() : endsWord(), digit() {
        for (const char c : {'\0', ' ', '\t', '+', '-', '*', '(', ')', '[', ']'})
            endsWord[static_cast<unsigned char>(c)] = true;
        for (int c = 0; c < 256; ++c)
            digit[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                       : -1);
    }
};
constexpr WordBytes wordBytes;

int hexDigitValue(char c) { return wordBytes.digit[static_cast<unsigned char>(c)]; }

// Parentheses in an expression nest at most this deep. Each level is a
// recursion of the reader, so the bound keeps a hostile line from
// exhausting the stack; real sources stay far below it.
constexpr int deepestNesting = 64;

// The letters that give a number's base, as NASM and MASM write them: after
// the digits, or after a leading 0, by table. The suffix is tried first, as
// NASM does (0b1h is hexadecimal, 0b11 binary, 0x1b hexadecimal).
struct BaseLetter {
    char letter;
    signed char base;
};
constexpr BaseLetter suffixes[] = {{'h', 16}, {'b', 2}, {'y', 2}, {'o', 8}, {'q', 8}, {'d', 10}, {'t', 10}};
constexpr BaseLetter prefixes[] = {{'x', 16}, {'h', 16}, {'b', 2}, {'y', 2}, {'o', 8}, {'q', 8}, {'d', 10}, {'t', 10}};

struct BaseLetters {
    signed char suffix[256];
    signed char prefix[256];
    constexpr BaseLetters() : suffix(), prefix() {
        for (const BaseLetter& l : suffixes) setBase(suffix, l);
        for (const BaseLetter& l : prefixes) setBase(prefix, l);
    }
    static constexpr void setBase(signed char* of, BaseLetter l) {
        of[static_cast<unsigned char>(l.letter)] = of[static_cast<unsigned char>(l.letter - 'a' + 'A')] = l.base;
    }
};
constexpr BaseLetters baseLetters;

int suffixBase(char c) { return baseLetters.suffix[static_cast<unsigned char>(c)]; }
int prefixBase(char c) { return baseLetters.prefix[static_cast<unsigned char>(c)]; }

// Digits s[0..n) in the given base (at least one); 0 when any is not a
// digit, -1 when they are but their value passes numberLimit.
int readDigits(const char* s, int n, int base, int64_t* value) {
    if (n <= 0) return 0;
    int64_t v = 0;
    for (int i = 0; i < n; ++i) {
        int d = hexDigitValue(s[i]);
        if (d < 0 || d >= base) return 0;
        v = v * base + d;
        if (v > numberLimit) return readDigits(s + i + 1, n - i - 1, base, &v) != 0 || i + 1 == n ? -1 : 0;
    }
    *value = v;
    return 1;
}

// readNumberWord's reading: 1 read, 0 no number, -1 a number too large.
int readNumber(const char* s, int n, int64_t* value) {
    if (n == 0 || !isDecimalDigit(s[0])) return 0;
    if (isDecimalDigit(s[n - 1]) && (n < 3 || s[0] != '0' || prefixBase(s[1]) == 0))
        return readDigits(s, n, 10, value);  // the usual: decimal digits alone
    int base = n > 1 ? suffixBase(s[n - 1]) : 0;  // 10h, 1110b, 17q, 10d
    int read = base != 0 ? readDigits(s, n - 1, base, value) : 0;
    if (read != 0) return read;
    base = n > 2 && s[0] == '0' ? prefixBase(s[1]) : 0;  // 0x10, 0b1110, 0o17
    if (base != 0) return readDigits(s + 2, n - 2, base, value);
    return readDigits(s, n, 10, value);
}

// a * b when the product lies in range; both lie in it, and no bound of a
// range reaches 2^32, so the magnitudes multiply without overflow.
int multiply(int64_t a, int64_t b, Range range, int64_t* product) {
    uint64_t magnitude = static_cast<uint64_t>(a < 0 ? -a : a) * static_cast<uint64_t>(b < 0 ? -b : b);
    if (magnitude > (uint64_t(1) << 32)) return 0;
    *product = ((a < 0) != (b < 0) ? -1 : 1) * static_cast<int64_t>(magnitude);
    return within(*product, range);
}

}  // namespace

bool endsWord(char c) { return wordBytes.endsWord[static_cast<unsigned char>(c)]; }

int ExpressionCursor::nameLength() const { return ::nameLength(p, static_cast<int>(end - p)); }

int readNumberWord(const char* s, int n, int64_t* value) { return readNumber(s, n, value) > 0; }

bool isNumberSpelling(const char* s, int n) {
    int64_t value;
    return readNumber(s, n, &value) != 0;
}

int readNamedFactor(ExpressionCursor& c, const JNameLookup* names, Range range, NamedValue* v) {
    c.skipBlanks();
    int negative = c.peek() == '-';
    if (negative || c.peek() == '+') {
        ++c.p;
        c.skipBlanks();
    }
    *v = NamedValue{0, true, false};
    if (c.peek() == '(') {
        if (c.openParentheses == deepestNesting) return 0;
        ++c.p;
        ++c.openParentheses;
        if (!readNamedSum(c, names, range, v)) return 0;
        c.skipBlanks();
        if (c.peek() != ')') return 0;
        ++c.p;
        --c.openParentheses;
    } else {
        int n = c.wordLength();
        if (!readNumberWord(c.p, n, &v->value)) {
            if (names == nullptr || n == 0 || nameLength(c.p, n) != n || isAnyRegister(c.p, n) ||
                isOperandKeyword(c.p, n))
                return 0;
            NameMeaning m = names->meaning(c.p, n);
            if (m.kind == NameKind::ambiguous || m.kind == NameKind::text) return 0;
            v->known = m.kind == NameKind::value;
            v->bareName = !v->known;
            v->value = v->known ? m.value : 0;
        }
        c.p += n;
    }
    if (negative) v->value = -v->value;
    return !v->known || within(v->value, range);
}

int readNamedProduct(ExpressionCursor& c, const JNameLookup* names, Range range, NamedValue* v) {
    if (!readNamedFactor(c, names, range, v)) return 0;
    for (ExpressionCursor next = c;; next = c) {
        next.skipBlanks();
        if (next.peek() != '*') return 1;
        c = next;
        ++c.p;
        NamedValue factor;
        if (!readNamedFactor(c, names, range, &factor)) return 0;
        if (v->known && factor.known && !multiply(v->value, factor.value, range, &v->value)) return 0;
        v->known = v->known && factor.known;
        v->bareName = false;  // a name multiplied is a number, never an address
    }
}

int readNamedSum(ExpressionCursor& c, const JNameLookup* names, Range range, NamedValue* v) {
    if (!readNamedProduct(c, names, range, v)) return 0;
    for (ExpressionCursor next = c;; next = c) {
        next.skipBlanks();
        if (next.peek() != '+' && next.peek() != '-') return 1;
        int sign = *next.p == '-' ? -1 : 1;
        c = next;
        ++c.p;
        NamedValue term;
        if (!readNamedProduct(c, names, range, &term)) return 0;
        v->value += sign * term.value;
        v->known = v->known && term.known;
        v->bareName = v->bareName || term.bareName;
        if (v->known && !within(v->value, range)) return 0;
    }
}

int readProduct(ExpressionCursor& c, Range range, int64_t* value) {
    NamedValue v;
    if (!readNamedProduct(c, nullptr, range, &v)) return 0;
    *value = v.value;
    return 1;
}

int readSum(ExpressionCursor& c, Range range, int64_t* value) {
    NamedValue v;
    if (!readNamedSum(c, nullptr, range, &v)) return 0;
    *value = v.value;
    return 1;
}

int readConstantExpression(const char* text, int length, int64_t* value) {
    ExpressionCursor c = {text, text + length};
    if (!readSum(c, definitionRange, value)) return 0;
    c.skipBlanks();
    return c.p == c.end;
}

int readNamedExpression(const char* text, int length, const JNameLookup* names, Range range, NamedExpression* e) {
    ExpressionCursor c = {text, text + length};
    NamedValue v;
    if (!readNamedSum(c, names, range, &v)) return 0;
    c.skipBlanks();
    e->known = v.known;
    e->value = v.value;
    e->mayBeAddress = v.bareName;
    return c.p == c.end;
}
