// Operand texts as the encoder reads them: register names, constant
// expressions and memory operands. Letters count in either case (ASCII
// letters are compared lower-cased), so texts are read where they stand;
// nothing here allocates.
#ifndef PAKHOD_OPERAND_H
#define PAKHOD_OPERAND_H

#include <cstdint>

#include "expression.h"
#include "jmmxset.h"
#include "jtextbuffer.h"

// One register name and its field value, in hardware order.
struct RegisterName {
    char name[4];
    int32_t kind;
    uint8_t number;
};

constexpr int registerCount = 16;
extern const RegisterName registerTable[registerCount];

// Operand kind and, for a register, its field value.
struct Operand {
    int32_t kind;
    uint8_t number;
};

// The address of a memory operand as written: its registers and the
// displacement. Registers without a scale (or with *1) are kept in source
// order; a register with scale 2, 4 or 8 is kept apart with its SIB scale
// field.
struct Address {
    int plainCount;
    uint8_t plain[2];
    int scaled;
    uint8_t scaledRegister;
    uint8_t scaleField;
    uint32_t displacement;  // modulo 2^32
    bool named;             // the displacement holds a name the assembler fills in (32 bits)
};

// A whole memory operand: the size its keyword names (a MemorySizeBit, 0
// without one), the segment override prefix byte (0 without one) and the
// address.
struct MemoryOperand {
    uint8_t size;
    uint8_t segmentPrefix;
    Address address;
};

// The register named by the three letters at text, in any case, or null.
const RegisterName* registerNamed(const char* text);
// True when a size keyword or a segment override stands before a '['.
bool startsWithMemoryPrefix(const char* text, int length);

// A memory operand (a '[' first, or a size keyword or segment override
// before one); else a register name: its kind; no text: none; anything
// else: immediate.
// text[0..length) needs no terminator. Inline: the line loop classifies two
// operands per instruction line.
inline Operand classifyOperand(const char* text, int length) {
    if (length == 0) return Operand{kindNone, 0};
    if (text[0] == '[') return Operand{kindMemory, 0};
    if (length == 3) {  // every register name has three letters
        if ((text[0] | 0x20) == 'm' && (text[1] | 0x20) == 'm' && text[2] >= '0' && text[2] <= '7')
            return Operand{kindMmxRegister, static_cast<uint8_t>(text[2] - '0')};  // the usual operand, at once
        const RegisterName* r = registerNamed(text);
        return r != nullptr ? Operand{r->kind, r->number} : Operand{kindImmediate, 0};
    }
    return Operand{length > 3 && startsWithMemoryPrefix(text, length) ? kindMemory : kindImmediate, 0};
}

// The memory size (a MemorySizeBit) a size keyword names, 0 for another word.
uint8_t sizeOfKeyword(const char* text, int length);

// True for the words that may stand before a memory operand's bracket and
// belong to it: a size keyword, "ptr", a segment override such as "es:".
bool isMemoryPrefixWord(const char* text, int length);

// An immediate byte: a constant expression whose every value on the way
// lies in -128..255, kept as its low byte.
int readImmediate(const char* text, int length, uint8_t* byte);

// [size [ptr]] [seg:] "[" [seg:] term +|- term ... "]", at most one segment
// override. The first term is a register, plain or scaled; at most two
// registers, one of them scaled; the other terms are constant expressions
// that add up to the displacement, every value on the way in
// -2^31..2^32-1. Returns 0 for anything else (and then *memory holds
// nothing of use).
int readMemoryOperand(const char* text, int length, MemoryOperand* memory);

// What the names path reads beyond the fast readers above: operands whose
// displacement or immediate holds names the assembler resolves, MASM's
// spellings (table[esi], [esi][ebx*2]) and a name standing alone as memory.

// A displacement's terms as the names path reads them.
struct NamedTerms {
    const JNameLookup* names = nullptr;  // what the names in them stand for
    bool keepText = true;    // gather the expression below (or only read the terms)
    JTextBuffer expression;  // every term that is not a register, with its sign, as written
    bool symbolic = false;   // a name in it is no value pakhod knows: the assembler's to fill in
};

// A memory operand's shape beyond its address.
struct NamedMemory {
    NamedTerms terms;
    bool bare;          // no bracket at all (pand mm0, table): memory only as MASM reads it
    bool hasPrefix;     // a size keyword or a segment override
    bool registerless;  // no register: [table] is memory, but MASM reads [CONST] as a number
};

// The memory operand grammar of readMemoryOperand, where terms may also be
// names (the first term too), and a displacement may stand before the
// brackets or alone. Names the source gives a value count as that value.
// An operand without registers needs a name that is no value.
int readNamedMemoryOperand(const char* text, int length, const JNameLookup* names, MemoryOperand* memory,
                           NamedMemory* named);

// An immediate byte whose expression may hold names: its byte when every
// name in it is a value (all within -128..255), else *named (the assembler
// works it out; *byte is 0).
int readNamedImmediate(const char* text, int length, const JNameLookup* names, uint8_t* byte, bool* named);

#endif
