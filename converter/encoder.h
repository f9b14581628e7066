// encodeInstruction: one source line against one candidate definition.
#ifndef PAKHOD_ENCODER_H
#define PAKHOD_ENCODER_H

#include "jmmxset.h"
#include "jstream.h"
#include "jstring.h"
#include "jtextbuffer.h"
#include "modrm.h"
#include "operand.h"

// Where a definition's operands go in the ModR/M byte, decided once per
// record (defined in encoder.cpp).
enum class OperandLayout : uint8_t;

// What the encoder reads of one definition, taken from the record once:
// its operand kinds and their layout, the memory sizes it accepts a keyword
// for, its ModR/M base, what follows its opcode and its opcode text with
// the length.
struct Definition {
    int32_t firstKind;
    int32_t secondKind;
    OperandLayout layout;
    uint8_t memorySizes;
    uint8_t modrmBase;
    bool isEmms;          // emms takes no operands
    bool opcodeBytesOnly;  // emms, and the records of no operands (femms)
    OpcodeTail tail;
    const char* opcode;
    int opcodeLength;
    char shortOpcode[8];  // the opcode text, zero-padded, when it is this short (the usual three bytes)
    uint8_t opcodeByte;  // the opcode's value, for callers that want bytes, not text
};

Definition definitionOf(const JMMXSet* def);

// What the names path reads besides the plain readers, and what it leaves
// to the assembler: a displacement (a dd line) or an immediate (the last
// item of the db list, in parentheses).
struct NamedParts {
    const JNameLookup* names = nullptr;  // what the names in the operands stand for
    NamedMemory memory;                   // the memory operand as last read
    bool displacementNamed = false;       // the displacement is memory.terms.expression
    const char* immediate = nullptr;      // the immediate as written, when the assembler works it out
    int immediateLength = 0;
    JTextBuffer lines;                    // the lines written
};

// How the lines written for one source line end: the last one as the
// source line did (CR LF unless the line ends are kept), the others between
// them (a db line before its dd line) as `inner`.
struct LineEnds {
    const char* last;
    int lastLength;
    const char* inner;
    int innerLength;
};
extern const LineEnds crLineFeeds;  // every line ends in CR LF

// A candidate line: the line as written (without its line end), a label
// before its mnemonic, and its operands as written (no terminator needed), the first two classified once
// for all the definitions of the mnemonic. op3 is the third operand, which
// follows the second after a comma; empty when there is none.
struct SourceInstruction {
    const char* line;
    int lineLength;
    int labelLength;  // line[0..labelLength) is a label kept in front of the db line (0: none)
    const LineEnds* ends;
    const char* op1;
    int op1Length;
    const char* op2;
    int op2Length;
    const char* op3;
    int op3Length;
    Operand first;
    Operand second;
};

// True when def takes operands of these kinds (and a third operand, or
// none), before their texts are read.
bool kindsFit(const Definition& def, int32_t firstKind, int32_t secondKind, bool hasThird);

SourceInstruction sourceInstruction(const char* line, int lineLength, const char* op1, int op1Length,
                                    const char* op2, int op2Length, const char* op3 = "", int op3Length = 0);

// Checks the operands against def and, when def fits, writes the db line for
// the source line to dst.
// Returns 1 when the line was written, 0 when def does not fit (nothing
// written), -1 when it fits but dst did not take the whole line.
int encodeSource(JStream* dst, const SourceInstruction& source, const Definition& def);

// The names path's encodeSource: operands read with names, the kinds of
// `source` chosen by the caller; what the assembler fills in goes to lines
// of its own.
int encodeNamedSource(JStream* dst, const SourceInstruction& source, const Definition& def, NamedParts& named);

// An instruction's machine code as plain bytes, in order: segment prefix,
// 0Fh, opcode, ModR/M, SIB, displacement, immediate, suffix.
struct MachineCode {
    uint8_t bytes[3 + maxEncodingBytes];
    int count;
    bool writesGeneralRegister;  // movd r32, mm; pmovmskb; pextrw
};

// encodeSource (named null) or encodeNamedSource without writing: the
// bytes, when def fits and every byte is known. 0 when def does not fit,
// or (*leftToAssembler set) when a name leaves a byte for the assembler.
int instructionBytes(const SourceInstruction& source, const Definition& def, NamedParts* named, MachineCode* code,
                     bool* leftToAssembler);

// The same for a line and operands held in strings.
int encodeInstruction(JStream* dst, const JString& line, const JMMXSet* def,
                      const JString& op1, const JString& op2);

#endif
