// The decision half of the encoder: what ModR/M, SIB, displacement and
// immediate an instruction needs, as a plain record, and the bytes it makes.
#ifndef PAKHOD_MODRM_H
#define PAKHOD_MODRM_H

#include <cstdint>

#include "operand.h"

// ModR/M mod field values.
constexpr uint8_t modNoDisplacement = 0;
constexpr uint8_t modDisplacement8 = 1;
constexpr uint8_t modDisplacement32 = 2;
constexpr uint8_t modRegister = 3;

constexpr uint8_t rmSibFollows = 4;   // r/m 100 under mod 00..10: a SIB byte follows
constexpr uint8_t sibNoIndex = 4;     // SIB index 100: no index
constexpr uint8_t sibNoBase = 5;      // SIB base 101 under mod 00: disp32, no base
constexpr uint8_t rmNoBase = 5;       // r/m 101 under mod 00: disp32, no base and no index
constexpr uint8_t registerEsp = 4;
constexpr uint8_t registerEbp = 5;

// ModR/M, SIB, displacement, immediate, suffix: at most 1 + 1 + 4 + 1 + 1 bytes.
constexpr int maxEncodingBytes = 8;

// Sixteen bytes of plain fields, cheap to fill and to copy.
struct Encoding {
    uint8_t mod;
    uint8_t reg;
    uint8_t rm;
    uint8_t hasSib;
    uint8_t sibScale;
    uint8_t sibIndex;
    uint8_t sibBase;
    uint8_t displacementSize;  // 0, 1 or 4
    uint32_t displacement;
    uint8_t hasImmediate : 1;  // a shift count or a third operand
    uint8_t hasSuffix : 1;     // the byte after the operands that names a 3DNow! operation
    uint8_t immediate;
    uint8_t suffix;
    uint8_t segmentPrefix;  // written before the instruction; 0: none
};
static_assert(sizeof(Encoding) == 16, "an encoding fills sixteen bytes");

// esp as a base needs a SIB byte: its r/m value 100 means "SIB follows".
inline bool baseNeedsSib(uint8_t base) { return base == registerEsp; }
// ebp as a base needs a displacement: mod 00 with 101 means "disp32, no base".
inline bool baseNeedsDisplacement(uint8_t base) { return base == registerEbp; }
// esp can never be an index: SIB index 100 means "no index".
inline bool canBeIndex(uint8_t reg) { return reg != registerEsp; }
// ebp as a base addresses the stack segment (SS), every other base DS: of
// two plain registers the base decides the segment, so it must be the one
// the assembler would make it (the first written).
inline bool baseAddressesStack(uint8_t reg) { return reg == registerEbp; }

// The 2-3-3 byte shape shared by ModR/M (mod, reg, rm) and SIB (scale, index, base).
uint8_t packFields(uint8_t top2, uint8_t middle3, uint8_t low3);

// Bytes of a displacement: none when zero (unless the base needs one), one
// when it fits a signed byte, else four; four when the assembler fills it in.
int displacementSizeFor(const Address& address, uint8_t base);

// [mod 11] register to register.
Encoding decideRegisterForm(uint8_t reg, uint8_t rm);
// The immediate form: the definition's ModR/M base OR-ed with the register, then the byte.
Encoding decideImmediateForm(uint8_t modrmBase, uint8_t rmRegister, uint8_t immediate);
// A memory operand in r/m; 0 when the address cannot be encoded.
int decideMemoryForm(uint8_t reg, const Address& address, Encoding* encoding);

// The bytes after the opcode, in order: ModR/M, SIB, displacement,
// immediate, suffix.
// Inline: both the line loop and the names path write them.
inline int encodingBytes(const Encoding& e, uint8_t* out) {
    int n = 0;
    out[n++] = packFields(e.mod, e.reg, e.rm);
    if (e.hasSib) out[n++] = packFields(e.sibScale, e.sibIndex, e.sibBase);
    for (int i = 0; i < e.displacementSize; ++i) out[n++] = static_cast<uint8_t>(e.displacement >> (8 * i));
    if (e.hasImmediate) out[n++] = e.immediate;
    if (e.hasSuffix) out[n++] = e.suffix;
    return n;
}

#endif
