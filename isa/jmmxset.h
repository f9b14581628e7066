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
};

// The sizes of memory a record accepts a size keyword for, one bit each
// (byte, word, dword; qword and mmword both name 64 bits).
enum MemorySizeBit : uint8_t {
    memory8 = 1,
    memory16 = 2,
    memory32 = 4,
    memory64 = 8,
};

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

    JMMXSet();
    ~JMMXSet() override;

    JMMXSet* nextRecord() const { return static_cast<JMMXSet*>(next); }
};

// Reads every five-field record of the stream (from its start) into a new
// table and returns its head. A record cut short by the end is dropped.
// The table is deleted with JList::deleteList(head).
JMMXSet* loadDefinitions(JStream* stream);

// Kind letter of a definition field: x, r, m (and i for the second operand).
int32_t operandKindOf(const JString& field, bool immediateAllowed);
// The sizes after the kind letter of a memory field: "m32/64" gives
// memory32 | memory64. Other numbers and other kinds give nothing.
uint8_t memorySizesOf(const JString& field);
// The ModR/M base of field 5: two lower-case hex digits, taken modulo 256.
uint8_t modrmBaseOf(const JString& field);

#endif
