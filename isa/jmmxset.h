// JMMXSet: one instruction definition read from mmx_set.def, and a node of
// the table ring. The table's head is a JMMXSet with the defaults that is
// never matched; the records follow in file order.
#ifndef PAKHOD_JMMXSET_H
#define PAKHOD_JMMXSET_H

#include <cstdint>

#include "jlist.h"
#include "jstream.h"
#include "jstring.h"

// Operand kinds, shared by the definition file and the encoder.
enum OperandKind : int32_t {
    kindImmediate = 0,
    kindGeneralRegister = 1,
    kindMemory = 2,
    kindMmxRegister = 3,
    kindNone = 4,  // "-": no operand there
};

// The sizes of memory a record accepts a size keyword for, one bit each
// (byte, word, dword; qword and mmword both name 64 bits).
enum MemorySizeBit : uint8_t {
    memory8 = 1,
    memory16 = 2,
    memory32 = 4,
    memory64 = 8,
};

// Field 5 when it starts with '/': what follows the opcode, as the
// processor manuals write it. "/r" (the operands fill the ModR/M byte) or
// "/0".."/7" (that digit in the reg field, the only operand in r/m), then
// optionally a blank and "ib" (a third operand, an immediate byte) or a
// byte such as "9eh" (written after the operands' bytes, as 3DNow! does).
struct OpcodeTail {
    bool readable;       // false: the field starts with '/' but says none of this
    int8_t regDigit;     // 0..7, or noRegDigit for "/r"
    bool immediateByte;  // "ib"
    bool hasSuffix;
    uint8_t suffix;
};
constexpr int8_t noRegDigit = -1;

class JMMXSet : public JList {
public:
    JString mnemonic;
    int32_t firstKind;
    int32_t secondKind;
    JString opcode;
    uint8_t modrmBase;
    // From a memory kind field such as m64 or m32/64; 0 (no keyword
    // accepted) when the field names no size.
    uint8_t memorySizes;
    // Field 2 "reg": the first operand, a general register, goes in the
    // ModR/M reg field and the second in r/m.
    bool firstInReg;
    OpcodeTail tail;  // from field 5 when it starts with '/'

    JMMXSet();
    ~JMMXSet() override;

    JMMXSet* nextRecord() const { return static_cast<JMMXSet*>(next); }
};

// Reads every five-field record of the stream (from its start) into a new
// table and returns its head. A record cut short by the end is dropped.
// The table is deleted with JList::deleteList(head).
JMMXSet* loadDefinitions(JStream* stream);

// Kind letter of a definition field: x, r, m, - (and i for the second operand).
int32_t operandKindOf(const JString& field, bool immediateAllowed);
// The sizes after the kind letter of a memory field: "m32/64" gives
// memory32 | memory64. Other numbers and other kinds give nothing.
uint8_t memorySizesOf(const JString& field);
// The ModR/M base of field 5: two lower-case hex digits, taken modulo 256.
uint8_t modrmBaseOf(const JString& field);
// Field 5 read as an opcode's tail ("/r ib", "/2", "/r 9eh").
OpcodeTail opcodeTailOf(const JString& field);

#endif
