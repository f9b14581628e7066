// The words an operand or a directive is made of, as assemblers read them:
// names, registers of every kind and the keywords that are never names.
// Letters count in either case where the assemblers ignore it.
#ifndef PAKHOD_WORDS_H
#define PAKHOD_WORDS_H

#include "jasciicase.h"

// A byte that may start a name (a letter, '_', '.', '?', '@' or '$'), and
// one that may continue it (also digits, '#' and '~').
bool startsName(char c);
bool continuesName(char c);

// Length of the name at text (at most n bytes), 0 when none starts there.
int nameLength(const char* text, int n);

// True for any register of the x86 family (al, ax, rax, r8d, es, cr0, st0,
// mm9, xmm1, k1, ...): such a word is never a name.
bool isAnyRegister(const char* text, int n);

// True for words an assembler reads as operators or keywords in an
// operand (ptr, offset, short, the size words, shl, mod, ...).
bool isOperandKeyword(const char* text, int n);

// True when text[0..n) is `word` in any letter case (word is lower case).
// Inline: the operand reader asks it of every size keyword.
inline bool sameWordFolded(const char* text, int n, const char* word) {
    int i = 0;
    for (; i < n && word[i] != '\0'; ++i)
        if (asciiLowered(text[i]) != word[i]) return false;
    return i == n && word[i] == '\0';
}

// Calls visit(name, length) for each name in text[0..n): words that are no
// number, register or keyword. Stops when visit returns true, and returns
// whether it did.
template <typename Visit>
bool anyName(const char* text, int n, Visit visit) {
    for (int i = 0; i < n;) {
        if (text[i] >= '0' && text[i] <= '9') {  // a number, letters and all (0ffh)
            while (++i < n && continuesName(text[i])) {
            }
            continue;
        }
        const int k = nameLength(text + i, n - i);
        if (k == 0) {
            ++i;
            continue;
        }
        if (!isAnyRegister(text + i, k) && !isOperandKeyword(text + i, k) && visit(text + i, k)) return true;
        i += k;
    }
    return false;
}

#endif
