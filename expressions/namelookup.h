// What a name in an operand or an expression stands for, asked of whoever
// knows the source (JSourceNames): the expression reader needs only this.
#ifndef PAKHOD_NAMELOOKUP_H
#define PAKHOD_NAMELOOKUP_H

#include <cstdint>

#include "jobject.h"

enum class NameKind : uint8_t {
    none,       // no definition counts: a label or an external, the assembler's to resolve
    value,      // a constant whose value is known
    constant,   // a constant pakhod cannot evaluate (it may be an address)
    text,       // text put in place of the name and read again
    dataLabel,  // memory at that name
    ambiguous,  // what it stands for depends on what pakhod cannot see
};

struct NameMeaning {
    NameKind kind;
    int64_t value;     // kind value
    const char* text;  // kind text: the replacement, without terminator
    int length;
};

class JNameLookup : public JObject {
public:
    // What the name text[0..n) stands for where it is read.
    virtual NameMeaning meaning(const char* text, int n) const = 0;
};

#endif
