// Constant expressions as assemblers write them: numbers in their
// spellings, joined by + - * and parentheses with the usual precedence,
// and names that stand for values (asked of a JNameLookup). Every value
// met on the way must lie in the range the caller gives. Texts are read
// where they stand, up to an end (no terminator needed); nothing here
// allocates.
#ifndef PAKHOD_EXPRESSION_H
#define PAKHOD_EXPRESSION_H

#include <cstdint>

#include "namelookup.h"

// Number words are read up to this value, far beyond any operand's range.
constexpr int64_t numberLimit = int64_t(1) << 40;

// Where every value met while reading an expression must lie.
struct Range {
    int64_t lowest;
    int64_t highest;
};
constexpr Range immediateRange = {-128, 255};
constexpr Range displacementRange = {-(int64_t(1) << 31), (int64_t(1) << 32) - 1};
constexpr Range definitionRange = {-numberLimit, numberLimit};

inline bool within(int64_t value, Range range) { return value >= range.lowest && value <= range.highest; }

// True for the bytes that end a word of an operand (a register name or a
// number): blanks, operators, parentheses, brackets, NUL.
bool endsWord(char c);

// A place in a text that ends at `end`, and how many parentheses are open
// there.
struct ExpressionCursor {
    const char* p;
    const char* end;
    int openParentheses = 0;
    char peek() const { return p < end ? *p : '\0'; }
    void skipBlanks() {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
    }
    // Length of the run of bytes from here that ends at a word end.
    int wordLength() const {
        const char* q = p;
        while (q < end && !endsWord(*q)) ++q;
        return static_cast<int>(q - p);
    }
    // Length of the name from here (a keyword is one), 0 when none starts here.
    int nameLength() const;
};

// An unsigned number word of n bytes, in the bases NASM and MASM write:
// a suffix h, b or y, q or o, d or t; a prefix 0x, 0b or 0y, 0o or 0q, 0d
// or 0t; else decimal. 0 when it is none, or larger than numberLimit.
int readNumberWord(const char* s, int n, int64_t* value);
// The same, the usual word (up to nine decimal digits) read inline.
inline int readNumberWordQuickly(const char* s, int n, int64_t* value) {
    if (n == 0 || n > 9) return readNumberWord(s, n, value);
    int64_t v = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned d = static_cast<unsigned char>(s[i]) - '0';
        if (d > 9) return readNumberWord(s, n, value);
        v = v * 10 + d;
    }
    *value = v;
    return 1;
}
// True when s[0..n) is a number word in those spellings, whatever its size.
bool isNumberSpelling(const char* s, int n);

// An expression's value: known when every name in it is a value the names
// give; `bareName`: a name that is no value stands in it unmultiplied
// (table+8 may be an address; 2*WIDTH is a number).
struct NamedValue {
    int64_t value;
    bool known;
    bool bareName;
};

// [+|-] number, name or ( sum ); a product of factors; a sum of products.
// Registers and keywords are no factors. Without names (null) only numbers
// are read. 0 when the text there is none of these or a value leaves range.
int readNamedFactor(ExpressionCursor& c, const JNameLookup* names, Range range, NamedValue* v);
int readNamedProduct(ExpressionCursor& c, const JNameLookup* names, Range range, NamedValue* v);
int readNamedSum(ExpressionCursor& c, const JNameLookup* names, Range range, NamedValue* v);

// The same without names.
int readProduct(ExpressionCursor& c, Range range, int64_t* value);
int readSum(ExpressionCursor& c, Range range, int64_t* value);

// A whole text that is a constant expression, every value on the way
// within +-2^40.
int readConstantExpression(const char* text, int length, int64_t* value);

// A whole text that is an expression of numbers and names.
struct NamedExpression {
    bool known;         // every name in it is a value: this is its value
    int64_t value;
    bool mayBeAddress;  // a name that is no value stands in it unmultiplied
};
int readNamedExpression(const char* text, int length, const JNameLookup* names, Range range, NamedExpression* e);
inline int readNamedExpression(const char* text, int length, const JNameLookup* names, NamedExpression* e) {
    return readNamedExpression(text, length, names, definitionRange, e);
}

#endif
