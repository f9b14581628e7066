// Operand texts as the encoder reads them: register names, numbers and
// memory operands. Letters count in either case (ASCII letters are compared
// lower-cased), so texts are read where they stand; nothing here allocates.
#ifndef PAKHOD_OPERAND_H
#define PAKHOD_OPERAND_H

#include <cstdint>

#include "jmmxset.h"

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

// A memory operand as written: its registers and the summed displacement.
// Registers without a scale (or with *1) are kept in source order; a
// register with scale 2, 4 or 8 is kept apart with its SIB scale field.
struct Address {
    int plainCount;
    uint8_t plain[2];
    int scaled;
    uint8_t scaledRegister;
    uint8_t scaleField;
    uint32_t displacement;  // modulo 2^32
};

// '[' first: memory; a register name: its kind; anything else: immediate.
Operand classifyOperand(const char* text);
// The same for text[0..length), which needs no terminator.
Operand classifyOperand(const char* text, int length);

// The whole text as a number: optional sign, then decimal digits, hex digits
// starting with a decimal digit and ending in 'h', or 0x and hex digits.
int readNumber(const char* text, int64_t* value);
int readNumber(const char* text, int length, int64_t* value);

// An immediate byte: a number in -128..255, kept as its low byte.
int readImmediate(const char* text, uint8_t* byte);
int readImmediate(const char* text, int length, uint8_t* byte);

// "[term +|- term ...]" whose first term is a register, plain or scaled; at
// most two registers, one of them scaled; numbers add up to the displacement,
// which must lie in -2^31..2^32-1. Returns 0 for anything else (and then
// *address holds nothing of use).
int readAddress(const char* text, Address* address);
// The same for text[0..length), which needs no terminator.
int readAddress(const char* text, int length, Address* address);

#endif
