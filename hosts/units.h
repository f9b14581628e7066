// Code for x86-64 in a host source: the asm blocks and conditional branches
// open at a line, and which of them hold code for x86-64. Such code stays
// as it is, whole: 32-bit bytes would mean something else there (a memory
// operand needs a 67h prefix in 64-bit code), so a block or branch that
// uses a 64-bit register, or whose condition names a 64-bit target, is
// left.
#ifndef PAKHOD_UNITS_H
#define PAKHOD_UNITS_H

#include <cstdint>
#include <memory>

#include "jtextbuffer.h"
#include "leftlines.h"

// What a conditional directive's condition says of a 64-bit target:
// nothing, that it holds one (#ifdef _WIN64, defined(A64) || defined(B64)),
// that it holds none (#ifndef CPUX64), or both may be (any other condition
// that names one).
enum class Condition : uint8_t { other, wide, notWide, mixed };

// The condition text[0..n) of a directive; `negated` for #ifndef and
// {$IFNDEF}. *name is set to the first 64-bit target named.
Condition conditionOf(const char* text, int n, bool negated, const char** name, int* nameLength);

// A code for the 64-bit general register text[0..n) names (rax, r8d, sil),
// 0 for any other word; and the register's name from its code.
int wideRegisterOf(const char* text, int n);
void wideRegisterName(int code, JTextBuffer& out);

class JUnits {
public:
    // The units are read twice: a first pass over the whole source finds
    // the 64-bit registers in each; the second, after rewind(), knows them
    // as each unit opens.
    JUnits();
    void rewind();

    void openBlock();
    void closeBlock();
    void openBranch(Condition condition, const char* name, int n);
    void nextBranch(Condition condition, const char* name, int n);  // #elif, #else (Condition::other)
    void closeBranch();
    // First pass: a 64-bit register (its code) in the innermost unit.
    void sawRegister(int code);

    // Second pass: the line whose units are read next, ending at `endOffset`.
    void setLine(int32_t endOffset, const char* text, int n);
    // An open unit holds x86-64 code, or the source nests too deep to tell
    // (from there on, to its end).
    bool wide() const { return wideFrom >= 0 || overflowed; }

    // Where the outermost such unit opened, and why it is x86-64 code.
    struct Opening {
        int32_t endOffset = 0;
        LeftReason reason = LeftReason::wideTarget;
        JTextBuffer detail;    // the register or the target named
        JTextBuffer line;      // the line it opened on
        bool told = false;     // its warning was given
    };
    Opening opening;

    static constexpr int deepest = 1 << 12;
    static constexpr int mostUnits = 1 << 24;

private:
    struct Unit {
        int32_t ordinal;
        bool branch;
        bool wide;
        bool laterWide;  // a branch: the branches after it of its conditional are x86-64 code
        uint8_t nameLength;
        char name[31];   // the 64-bit target its conditional named (cut short), for those branches
    };
    std::unique_ptr<Unit[]> open;
    int depth = 0;
    int wideFrom = -1;  // the outermost open unit of x86-64 code
    int32_t ordinals = 0;
    bool overflowed = false;
    bool secondPass = false;
    std::unique_ptr<uint8_t[]> codes;  // by ordinal: the first 64-bit register met in the unit, or 0
    int32_t capacity = 0;
    int32_t lineEnd = 0;
    const char* lineText = nullptr;
    int lineLength = 0;

    void push(bool branch, bool byCondition, bool laterWide, const char* name, int n);
    void noteOpening(LeftReason reason, const char* name, int n, int code);
    void popTo(int newDepth);
    int innermost(bool branch) const;
};

#endif
