// JLeftLines: the MMX lines a run leaves as they were, and why. The line
// loop tells it each one (and counts the lines it encodes); the program
// says so to the user. The reason is worked out only for a line that is
// copied, so an encoded line costs nothing more.
#ifndef PAKHOD_LEFTLINES_H
#define PAKHOD_LEFTLINES_H

#include <cstdint>

#include "encoder.h"
#include "jmnemonicindex.h"
#include "jtextbuffer.h"
#include "sourcenames.h"

enum class LeftReason : uint8_t {
    labelFirst,        // a label before the mnemonic that not every assembler takes there
    operandTooMany,    // more operands than the instruction takes
    operandMissing,    // fewer than it takes
    textAfter,         // text after the operand
    otherRegister,     // a register no record takes (mm9, xmm1, eax where only mm fits)
    memoryUntaken,     // memory where no record takes it
    numberUntaken,     // a number where no record takes one
    pairUntaken,       // operands each taken somewhere, but by no record together
    operatorUnread,    // an operator pakhod does not read (/, shl)
    sizeKeyword,       // a size keyword the record does not take
    unresolvedName,    // a name pakhod cannot resolve, or cannot tell a number from memory
    numberOutOfRange,  // a number beyond what the operand holds
    shapeUnread,       // an operand shape pakhod does not read
    labelWithoutColon,  // a label without a colon before the mnemonic
    macroParameter,     // a macro's parameter (%1)
    numberUnread,       // a number pakhod does not read (12ab)
    carriageReturn,     // a CR inside the line: line ends of CR alone
    wideRegister,      // code for x86-64, left whole: a 64-bit register in its block or branch
    wideTarget,        // code for x86-64, left whole: a condition for a 64-bit target
    registerUnseen,    // a general register written where the compiler reads only bytes
    runsOn,            // a comment inside the statement, or a line joined to it
    nestedTooDeep,     // blocks and branches nested too deep to tell x86-64 code
    memoryIn16Bits,    // memory in 16-bit code, whose addresses take other bytes
    memoryIn64Bits,    // memory in 64-bit code, the same
    memoryInUnknownBits,  // memory where the code size cannot be told
};

// Where a line's operands stand in it (start and length of each).
struct OperandSpans {
    int at[3];
    int length[3];
};

class JLeftLines {
public:
    static constexpr int mostListed = 100;

    struct Listed {
        int32_t endOffset;  // where the line ends in the source (after its line end)
        LeftReason reason;
        int detailAt, detailLength;  // in texts(): the name, register, number or operand meant
        int lineAt, lineLength;      // in texts(): the line, without blanks around it
    };

    // The line and the part meant are kept (and shown) up to this many
    // bytes; one byte more tells that there was more.
    static constexpr int mostShownLine = 160;
    static constexpr int mostShownDetail = 80;

    int encoded = 0;  // MMX lines encoded
    int left = 0;     // MMX lines left as they were
    int skipped = 0;  // MMX lines in branches the assembler skips, copied unread

    // A line left as it was, ending at `endOffset` in the source.
    void add(int32_t endOffset, LeftReason reason, const char* detail, int detailLength, const char* line, int n);

    int listedCount() const { return listedLines; }
    const Listed& listed(int i) const { return list[i]; }
    const char* texts() const { return text.data(); }

    // "a register no record takes", ...
    static const char* reasonText(LeftReason reason);

private:
    Listed list[mostListed];
    int listedLines = 0;
    JTextBuffer text;
};

// Why a candidate line that no record fits was left: its text[0..n), its
// operands, the records of its mnemonic (`chain`, read through
// `definitions`), the names at its place. *detail is set to the part of
// the line meant (detailLength 0: none).
LeftReason whyLeft(const char* text, int n, const OperandSpans& spans, const JMnemonicIndex::Entry* chain,
                   const Definition* definitions, const JSourceNames& names, const char** detail, int* detailLength);

#endif
