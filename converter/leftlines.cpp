#include "leftlines.h"

#include <cstring>

#include "expression.h"
#include "jasciicase.h"
#include "operand.h"
#include "words.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* const reasonTexts[] = {
    "a label before the mnemonic",
    "an operand the instruction does not take",
    "a missing operand",
    "text after the operand",
    "a register no record takes",
    "memory the instruction does not take there",
    "a number the instruction does not take there",
    "operands the instruction does not take together",
    "an operator pakhod does not read",
    "a size keyword the record does not take",
    "a name pakhod cannot resolve",
    "a number out of range",
    "an operand shape pakhod does not read",
    "a label without a colon before the mnemonic",
    "a macro parameter",
    "a number pakhod does not read",
    "a CR inside the line: pakhod ends lines at LF, not at a CR alone",
    "x86-64 code, left whole: a 64-bit register in its block or branch",
    "x86-64 code, left whole: a condition for a 64-bit target",
    "a general register written, which the compiler would not see in _emit bytes",
    "a statement that runs on past a comment or its line",
    "blocks and branches nested too deep to tell x86-64 code, left to the end",
    "memory in 16-bit code",
    "memory in 64-bit code",
    "memory where the code size is not known",
};
static_assert(sizeof reasonTexts / sizeof reasonTexts[0] == static_cast<int>(LeftReason::memoryInUnknownBits) + 1,
              "a text for every reason");

// The words that are operators when written out; the other keywords
// (size words, ptr, segment overrides) belong to memory operands.
bool isOperatorWord(const char* word, int n) {
    return isOperandKeyword(word, n) && sizeOfKeyword(word, n) == 0 && !sameWordFolded(word, n, "ptr");
}

// Bytes an operand is made of: names and numbers, blanks, + - * ( ) [ ] :
bool isOperandByte(char c) {
    return continuesName(c) || isBlank(c) || c == '+' || c == '-' || c == '*' || c == '(' || c == ')' || c == '[' ||
           c == ']' || c == ':' || c == ',';
}

// Length of NASM's reference to a macro's parameter at text (%1, %-1,
// %{1}, %%local, %$context), 0 when none starts there.
int macroParameterLength(const char* text, int n) {
    if (n < 2 || text[0] != '%') return 0;
    int i = 1;
    if (text[i] == '{') {
        while (i < n && text[i] != '}') ++i;
        return i < n ? i + 1 : n;
    }
    if (text[i] == '%' || text[i] == '$') ++i;
    else if ((text[i] == '+' || text[i] == '-') && i + 1 < n && isDigit(text[i + 1])) ++i;
    else if (!isDigit(text[i])) return 0;
    while (i < n && continuesName(text[i])) ++i;
    return i;
}

// How many operands a record takes; -1 for emms, which takes any.
int operandsTaken(const Definition& d) {
    if (d.isEmms) return -1;
    if (d.firstKind == kindNone) return 0;
    if (d.secondKind == kindNone) return 1;
    return d.tail.immediateByte ? 3 : 2;
}

// One operand of the line: its text without blanks around it.
struct Part {
    const char* at;
    int length;
};

Part trimmed(const char* at, int n) {
    while (n > 0 && isBlank(*at)) ++at, --n;
    while (n > 0 && isBlank(at[n - 1])) --n;
    return Part{at, n};
}

class Diagnosis {
public:
    Diagnosis(const char* text, int n, const OperandSpans& spans, const JMnemonicIndex::Entry* chain,
              const Definition* definitions, const JSourceNames& names)
        : line(text), lineLength(n), chain(chain), definitions(definitions), names(names), given(0) {
        for (int i = 0; i < 3; ++i) {
            op[i] = trimmed(text + spans.at[i], spans.length[i]);
            if (op[i].length > 0) given = i + 1;
        }
    }

    LeftReason reason(Part* detail) {
        *detail = Part{nullptr, 0};
        if (std::memchr(line, '\r', static_cast<size_t>(lineLength)) != nullptr) return LeftReason::carriageReturn;
        if (names.codeBits() != 32 && memoryGiven(detail))
            return names.codeBits() == 16   ? LeftReason::memoryIn16Bits
                   : names.codeBits() == 64 ? LeftReason::memoryIn64Bits
                                            : LeftReason::memoryInUnknownBits;
        if (countWrong(detail)) return given > smallestTaken() ? LeftReason::operandTooMany : LeftReason::operandMissing;
        if (given > 0 && commaAfter(op[given - 1], detail)) return LeftReason::operandTooMany;
        for (int i = 0; i < given; ++i) {
            if (textAfter(op[i], detail)) return LeftReason::textAfter;
            LeftReason r;
            if (wordWrong(op[i], &r, detail)) return r;
        }
        for (int i = 0; i < given; ++i) {
            LeftReason r;
            if (kindUntaken(i, &r)) return *detail = op[i], r;
            if (i < 2 && sizeUntaken(i, detail)) return LeftReason::sizeKeyword;
        }
        if (pairUntaken()) return LeftReason::pairUntaken;
        for (int i = 0; i < given; ++i)
            if (numberBeyond(op[i], detail)) return LeftReason::numberOutOfRange;
        for (int i = 0; i < given; ++i)
            if (firstName(op[i], detail)) return LeftReason::unresolvedName;
        for (int i = 0; i < given; ++i)
            if (classifyOperand(op[i].at, op[i].length).kind == kindImmediate || op[i].at[0] == '[')
                return *detail = op[i], LeftReason::shapeUnread;
        *detail = op[given > 0 ? given - 1 : 0];
        return LeftReason::shapeUnread;
    }

private:
    const char* line;
    int lineLength;
    const JMnemonicIndex::Entry* chain;
    const Definition* definitions;
    const JSourceNames& names;
    Part op[3];
    int given;  // operands written

    // An operand is memory (in brackets, or a name MASM reads as memory).
    bool memoryGiven(Part* detail) const {
        for (int i = 0; i < given; ++i) {
            MemoryOperand memory;
            NamedMemory shape;
            shape.terms.keepText = false;
            if (classifyOperand(op[i].at, op[i].length).kind == kindMemory ||
                readNamedMemoryOperand(op[i].at, op[i].length, &names, &memory, &shape))
                return *detail = op[i], true;
        }
        return false;
    }

    int smallestTaken() const {
        int least = 3;
        for (const JMnemonicIndex::Entry* e = chain; e != nullptr; e = e->nextSame) {
            int taken = operandsTaken(definitions[e->number]);
            if (taken >= 0 && taken < least) least = taken;
        }
        return least;
    }

    // No record takes as many operands as the line gives: the first one
    // too many, or none.
    bool countWrong(Part* detail) const {
        for (const JMnemonicIndex::Entry* e = chain; e != nullptr; e = e->nextSame) {
            int taken = operandsTaken(definitions[e->number]);
            if (taken < 0 || taken == given) return false;
        }
        int least = smallestTaken();
        if (given > least) *detail = op[least];
        return true;
    }

    // A comma outside brackets in the last operand: one more operand,
    // which no record takes.
    static bool commaAfter(Part p, Part* detail) {
        int depth = 0;
        for (int i = 0; i < p.length; ++i) {
            depth += (p.at[i] == '[') - (p.at[i] == ']');
            if (p.at[i] == ',' && depth == 0) return *detail = trimmed(p.at + i + 1, p.length - i - 1), true;
        }
        return false;
    }

    // A complete operand, then more: "mm1 foo", "[esi] 8". Size words,
    // ptr and overrides before a bracket, and blanks around an operator,
    // are no such text.
    static bool textAfter(Part p, Part* detail) {
        int depth = 0;
        for (int i = 0; i < p.length; ++i) {
            char c = p.at[i];
            depth += (c == '[') - (c == ']');
            if (!isBlank(c) || depth != 0) continue;
            int word = i;
            while (word > 0 && !isBlank(p.at[word - 1])) --word;
            int next = i;
            while (next < p.length && isBlank(p.at[next])) ++next;
            if (next == p.length) return false;
            char before = p.at[i - 1], after = p.at[next];
            int nextWord = nameLength(p.at + next, p.length - next);
            bool joined = before == '+' || before == '-' || before == '*' || before == '(' || before == ':' ||
                          after == '+' || after == '-' || after == '*' || after == ')' || after == '[' ||
                          isOperatorWord(p.at + next, nextWord) || isOperatorWord(p.at + word, i - word);
            if (joined || isMemoryPrefixWord(p.at + word, i - word)) continue;
            *detail = Part{p.at + next, p.length - next};
            return true;
        }
        return false;
    }

    // A register of another kind, an operator, a macro's parameter, a
    // number pakhod does not read, or a name the source makes ambiguous,
    // anywhere in the operand.
    bool wordWrong(Part p, LeftReason* reason, Part* detail) const {
        for (int i = 0; i < p.length;) {
            const char* w = p.at + i;
            if (isDigit(*w)) {  // a number, letters and all
                while (++i < p.length && continuesName(p.at[i])) {
                }
                if (!isNumberSpelling(w, static_cast<int>(p.at + i - w)))
                    return *reason = LeftReason::numberUnread, *detail = Part{w, static_cast<int>(p.at + i - w)}, true;
                continue;
            }
            int parameter = macroParameterLength(w, p.length - i);
            if (parameter > 0) return *reason = LeftReason::macroParameter, *detail = Part{w, parameter}, true;
            int k = nameLength(w, p.length - i);
            if (k == 0) {
                if (!isOperandByte(*w)) {
                    int len = i + 1 < p.length && (w[1] == *w || w[1] == '=') ? 2 : 1;  // << >> <= ...
                    return *reason = LeftReason::operatorUnread, *detail = Part{w, len}, true;
                }
                ++i;
                continue;
            }
            i += k;
            Part word{w, k};
            if (isAnyRegister(w, k)) {
                const RegisterName* r = k == 3 ? registerNamed(w) : nullptr;
                if (r == nullptr && !(k == 2 && i < p.length && p.at[i] == ':'))  // es: is an override
                    return *reason = LeftReason::otherRegister, *detail = word, true;
            } else if (isOperatorWord(w, k)) {
                return *reason = LeftReason::operatorUnread, *detail = word, true;
            } else if (!isOperandKeyword(w, k) && names.meaning(w, k).kind == NameKind::ambiguous) {
                return *reason = LeftReason::unresolvedName, *detail = word, true;
            }
        }
        return false;
    }

    // The kind operand i is read as: one of pakhod's registers, memory
    // (brackets), or a number (one with names that cannot be an address);
    // -1 for anything else.
    int32_t kindOf(int i) const {
        Operand o = classifyOperand(op[i].at, op[i].length);
        if (o.kind != kindImmediate) return o.kind;
        NamedExpression e;
        bool number = readNamedExpression(op[i].at, op[i].length, &names, &e) && (e.known || !e.mayBeAddress);
        return number ? kindImmediate : -1;
    }

    // The kind a record takes in place i (a third operand is a number).
    static int32_t takenKind(const Definition& d, int i) {
        return i == 0 ? d.firstKind : i == 1 ? d.secondKind : kindImmediate;
    }

    // Operand i is of a kind no record with as many operands takes there.
    bool kindUntaken(int i, LeftReason* reason) const {
        int32_t kind = kindOf(i);
        if (kind < 0) return false;
        for (const JMnemonicIndex::Entry* e = chain; e != nullptr; e = e->nextSame) {
            const Definition& d = definitions[e->number];
            if (operandsTaken(d) == given && takenKind(d, i) == kind) return false;
        }
        *reason = kind == kindMemory      ? LeftReason::memoryUntaken
                  : kind == kindImmediate ? LeftReason::numberUntaken
                                          : LeftReason::otherRegister;
        return true;
    }

    // Two operands read as kinds each taken in its place, by no record
    // together (movd mm0, mm1).
    bool pairUntaken() const {
        if (given < 2) return false;
        int32_t first = kindOf(0), second = kindOf(1);
        if (first < 0 || second < 0) return false;
        for (const JMnemonicIndex::Entry* e = chain; e != nullptr; e = e->nextSame) {
            const Definition& d = definitions[e->number];
            if (operandsTaken(d) == given && d.firstKind == first && d.secondKind == second) return false;
        }
        return true;
    }

    // Operand i starts with a size word that no record takes memory of
    // there.
    bool sizeUntaken(int i, Part* detail) const {
        int k = nameLength(op[i].at, op[i].length);
        uint8_t size = sizeOfKeyword(op[i].at, k);
        if (size == 0) return false;
        for (const JMnemonicIndex::Entry* e = chain; e != nullptr; e = e->nextSame) {
            const Definition& d = definitions[e->number];
            if ((i == 0 ? d.firstKind : d.secondKind) == kindMemory && (d.memorySizes & size) != 0) return false;
        }
        *detail = Part{op[i].at, k};
        return true;
    }

    // A number beyond what the operand holds: an immediate outside
    // -128..255 (its value, or a value on the way), a displacement outside
    // -2^31..2^32-1 (the sum of its terms that are no registers), or a
    // number word too long for any.
    bool numberBeyond(Part p, Part* detail) const {
        NamedExpression e;
        uint8_t byte;
        if (p.at[0] != '[' && readNamedExpression(p.at, p.length, &names, &e) && e.known)
            return !readImmediate(p.at, p.length, &byte) && (*detail = p, true);
        if (p.at[0] == '[' && displacementBeyond(p, detail)) return true;
        for (int i = 0; i < p.length;) {
            if (!isDigit(p.at[i])) {
                ++i;
                continue;
            }
            int k = 1;
            while (i + k < p.length && continuesName(p.at[i + k])) ++k;
            int64_t value = 0;
            // A number too large for any operand: read, or written right but past what is read.
            bool read = readConstantExpression(p.at + i, k, &value);
            if ((read && value > 0xFFFFFFFFll) || (!read && isNumberSpelling(p.at + i, k)))
                return *detail = Part{p.at + i, k}, true;
            i += k;
        }
        return false;
    }

    // [terms]: the terms that hold no register, summed as one expression.
    bool displacementBeyond(Part p, Part* detail) const {
        int close = 1;
        while (close < p.length && p.at[close] != ']') ++close;
        JTextBuffer sum;
        int start = -1;
        for (int i = 1, depth = 0, from = 1; i <= close; ++i) {
            char c = i < close ? p.at[i] : '+';
            depth += (c == '(') - (c == ')');
            if (depth != 0 || (c != '+' && c != '-') || i == from) continue;
            Part term = trimmed(p.at + from, i - from);
            bool hasRegister = false;
            for (int j = 0; j < term.length;) {
                int k = nameLength(term.at + j, term.length - j);
                hasRegister = hasRegister || (k > 0 && isAnyRegister(term.at + j, k));
                j += k > 0 ? k : 1;
            }
            if (!hasRegister) {
                int signed_ = from > 1 ? from - 1 : from;  // with the sign before it
                if (start < 0) start = p.at[signed_] == '-' ? signed_ : from;
                sum.add(p.at + signed_, i - signed_);
            }
            from = i + 1;
        }
        NamedExpression e;
        if (sum.length() == 0 || !readNamedExpression(sum.data(), sum.length(), &names, &e) || !e.known) return false;
        if (e.value >= -0x80000000ll && e.value <= 0xFFFFFFFFll) return false;
        *detail = trimmed(p.at + start, close - start);
        return true;
    }

    // The first name in the operand (one that may be a number or memory).
    static bool firstName(Part p, Part* detail) {
        for (int i = 0; i < p.length;) {
            if (isDigit(p.at[i])) {
                while (++i < p.length && continuesName(p.at[i])) {
                }
                continue;
            }
            int k = nameLength(p.at + i, p.length - i);
            if (k > 0 && !isAnyRegister(p.at + i, k) && !isOperandKeyword(p.at + i, k))
                return *detail = Part{p.at + i, k}, true;
            i += k > 0 ? k : 1;
        }
        return false;
    }
};

}  // namespace

const char* JLeftLines::reasonText(LeftReason reason) { return reasonTexts[static_cast<int>(reason)]; }

void JLeftLines::add(int32_t endOffset, LeftReason reason, const char* detail, int detailLength, const char* line,
                     int n) {
    ++left;
    if (listedLines == mostListed) return;
    Part shown = trimmed(line, n);
    Listed& l = list[listedLines++];
    l.endOffset = endOffset;
    l.reason = reason;
    l.detailAt = text.length();
    l.detailLength = detailLength < mostShownDetail ? detailLength : mostShownDetail + 1;
    text.add(detail, l.detailLength);
    l.lineAt = text.length();
    l.lineLength = shown.length < mostShownLine ? shown.length : mostShownLine + 1;
    text.add(shown.at, l.lineLength);
}

LeftReason whyLeft(const char* text, int n, const OperandSpans& spans, const JMnemonicIndex::Entry* chain,
                   const Definition* definitions, const JSourceNames& names, const char** detail, int* detailLength) {
    Part part;
    LeftReason reason = Diagnosis(text, n, spans, chain, definitions, names).reason(&part);
    *detail = part.at;
    *detailLength = part.length;
    return reason;
}
