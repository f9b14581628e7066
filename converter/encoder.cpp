#include "encoder.h"

#include <cassert>
#include <cctype>
#include <climits>
#include <cstring>

#include "jlinecopy.h"
#include "modrm.h"
#include "operand.h"

// Where each operand goes, by the operand kinds a definition names and what
// fills its reg field.
enum class OperandLayout : uint8_t {
    none,                 // fits no line
    regFirstRmSecond,     // x,x  x,r  reg,x: reg = first, r/m = second register
    regSecondRmFirst,     // r,x  r,r: reg = second, r/m = first register
    regFirstMemSecond,    // x,m: reg = first, r/m = memory
    regSecondMemFirst,    // m,x  m,r: reg = second, r/m = memory
    immediateSecond,      // x,i: ModR/M base with the register, then the byte
    digitMemFirst,        // m,- with /0../7: reg = the digit, r/m = memory
    opcodeOnly,           // -,-: no operand, nothing after the opcode
};

namespace {

// What fills the reg field besides the operand kinds: the first operand
// ("reg" in field 2), a digit ("/0".."/7" in field 5), or whichever
// operand the kinds say.
enum class RegField : uint8_t { byKinds, firstOperand, digit };

struct LayoutEntry {
    int32_t firstKind;
    int32_t secondKind;
    RegField regField;
    OperandLayout layout;
};

// Pairs not listed (r,m  m,m  m,i  r,i and the others) have no encoding
// that keeps the line's meaning, so such definitions never fit.
constexpr LayoutEntry layoutTable[] = {
    {kindMmxRegister, kindMmxRegister, RegField::byKinds, OperandLayout::regFirstRmSecond},
    {kindMmxRegister, kindGeneralRegister, RegField::byKinds, OperandLayout::regFirstRmSecond},
    {kindMmxRegister, kindMemory, RegField::byKinds, OperandLayout::regFirstMemSecond},
    {kindMmxRegister, kindImmediate, RegField::byKinds, OperandLayout::immediateSecond},
    {kindGeneralRegister, kindMmxRegister, RegField::byKinds, OperandLayout::regSecondRmFirst},
    {kindGeneralRegister, kindGeneralRegister, RegField::byKinds, OperandLayout::regSecondRmFirst},
    {kindMemory, kindMmxRegister, RegField::byKinds, OperandLayout::regSecondMemFirst},
    {kindMemory, kindGeneralRegister, RegField::byKinds, OperandLayout::regSecondMemFirst},
    {kindGeneralRegister, kindMmxRegister, RegField::firstOperand, OperandLayout::regFirstRmSecond},
    {kindMemory, kindNone, RegField::digit, OperandLayout::digitMemFirst},
    {kindNone, kindNone, RegField::byKinds, OperandLayout::opcodeOnly},
};

// The layout of a record. A third operand needs two operands before it
// that fill the ModR/M byte, and a suffix needs a ModR/M byte to follow.
OperandLayout layoutOf(const JMMXSet* def) {
    const OpcodeTail& t = def->tail;
    const bool hasDigit = t.regDigit != noRegDigit;
    if (!t.readable) return OperandLayout::none;
    if (t.immediateByte && (def->secondKind == kindImmediate || def->secondKind == kindNone))
        return OperandLayout::none;
    const RegField regField = hasDigit ? RegField::digit : def->firstInReg ? RegField::firstOperand : RegField::byKinds;
    for (const LayoutEntry& entry : layoutTable)
        if (entry.firstKind == def->firstKind && entry.secondKind == def->secondKind && entry.regField == regField)
            return entry.layout == OperandLayout::opcodeOnly && t.hasSuffix ? OperandLayout::none : entry.layout;
    return OperandLayout::none;
}

// The memory operand in r/m: its address, a size keyword that names a size
// the definition accepts (or none), and its segment override. In the names
// path (`named`) a displacement may be the assembler's to fill in.
template <bool isNamed>
int decideMemory(NamedParts* named, const char* text, int length, uint8_t reg, uint8_t acceptedSizes,
                 Encoding* e) {
    MemoryOperand m;
    if constexpr (isNamed) {
        if (!readNamedMemoryOperand(text, length, named->names, &m, &named->memory)) return 0;
    } else if (!readMemoryOperand(text, length, &m)) {
        return 0;
    }
    if ((m.size & ~acceptedSizes) != 0 || !decideMemoryForm(reg, m.address, e)) return 0;
    e->segmentPrefix = m.segmentPrefix;
    if constexpr (isNamed) named->displacementNamed = m.address.named;
    return 1;
}

// An immediate byte; in the names path one the assembler works out, kept
// as written (its byte then only holds the place).
template <bool isNamed>
int readImmediateOperand(NamedParts* named, const char* text, int length, uint8_t* byte) {
    if (readImmediate(text, length, byte)) return 1;
    if constexpr (isNamed) {
        bool left = false;
        if (!readNamedImmediate(text, length, named->names, byte, &left)) return 0;
        if (left) {
            named->immediate = text;
            named->immediateLength = length;
        }
        return 1;
    }
    return 0;
}

template <bool isNamed>
int decideOperands(const SourceInstruction& s, const Definition& def, NamedParts* named, Encoding* e) {
    uint8_t immediate = 0;
    const uint8_t digit = static_cast<uint8_t>(def.tail.regDigit);
    switch (def.layout) {
        case OperandLayout::regFirstRmSecond:
            *e = decideRegisterForm(s.first.number, s.second.number);
            return 1;
        case OperandLayout::regSecondRmFirst:
            *e = decideRegisterForm(s.second.number, s.first.number);
            return 1;
        case OperandLayout::regFirstMemSecond:
            return decideMemory<isNamed>(named, s.op2, s.op2Length, s.first.number, def.memorySizes, e);
        case OperandLayout::regSecondMemFirst:
            return decideMemory<isNamed>(named, s.op1, s.op1Length, s.second.number, def.memorySizes, e);
        case OperandLayout::immediateSecond:
            if (!readImmediateOperand<isNamed>(named, s.op2, s.op2Length, &immediate)) return 0;
            *e = decideImmediateForm(def.modrmBase, s.first.number, immediate);
            return 1;
        case OperandLayout::digitMemFirst:
            return decideMemory<isNamed>(named, s.op1, s.op1Length, digit, def.memorySizes, e);
        case OperandLayout::none:
        case OperandLayout::opcodeOnly:
            break;
    }
    return 0;
}

// The operands' bytes, then what the record's tail adds after them: the
// third operand's immediate byte, or the suffix. A third operand where the
// record takes none does not fit.
template <bool isNamed>
int decide(const SourceInstruction& s, const Definition& def, NamedParts* named, Encoding* e) {
    if (!decideOperands<isNamed>(s, def, named, e)) return 0;
    if (def.tail.immediateByte) {
        uint8_t third = 0;  // read apart: the encoding's address stays untaken
        if (!readImmediateOperand<isNamed>(named, s.op3, s.op3Length, &third)) return 0;
        e->hasImmediate = 1;
        e->immediate = third;
    } else if (s.op3Length != 0) {
        return 0;
    }
    if (def.tail.hasSuffix) {
        e->hasSuffix = 1;
        e->suffix = def.tail.suffix;
    }
    return 1;
}

constexpr char directive[] = "\tdb\t\t";
constexpr char ddDirective[] = "\tdd\t\t";
constexpr char escapeByte[] = "00fh,0";  // 0Fh, then the opcode text after its 0
constexpr char linePrefix[] = "\tdb\t\t00fh,0";  // the two together, as most lines start
constexpr char commentStart[] = "\t\t;";
constexpr int byteTextLength = 5;  // ",0xxh"

// Copies n bytes to out and returns the position after them.
char* put(char* out, const char* text, size_t n) {
    std::memcpy(out, text, n);
    return out + n;
}

// ",0xxh" for every byte: two lower-case hex digits.
struct ByteTexts {
    char of[256][byteTextLength];
    constexpr ByteTexts() : of() {
        constexpr char digits[] = "0123456789abcdef";
        for (int b = 0; b < 256; ++b) {
            of[b][0] = ',';
            of[b][1] = '0';
            of[b][2] = digits[b >> 4];
            of[b][3] = digits[b & 15];
            of[b][4] = 'h';
        }
    }
};
constexpr ByteTexts byteTexts;

char* putByteText(char* out, uint8_t byte) { return put(out, byteTexts.of[byte], byteTextLength); }

// The whole db line, built in place and written once: a label, directive,
// segment prefix, 0Fh and opcode, the other bytes, comment, line end.
// Inlined: most lines of a source pass here.
[[gnu::always_inline]] inline int writeLine(JStream* dst, const Definition& def, uint8_t segmentPrefix, const uint8_t* bytes, int count,
              const SourceInstruction& source) {
    const int prefixLength = segmentPrefix != 0 ? byteTextLength : 0;  // "0XXh,"
    const char* line = source.line;
    const int lineLength = source.lineLength;
    int64_t total = int64_t{source.labelLength} + int64_t{sizeof linePrefix - 1} + prefixLength +
                    def.opcodeLength + int64_t{count} * byteTextLength + int64_t{sizeof commentStart - 1} +
                    lineLength + int64_t{source.ends->lastLength};
    if (total > INT_MAX) return -1;
    JWriteSpace space(dst, static_cast<int>(total));
    char* out = space.bytes;
    if (source.labelLength != 0) out = put(out, line, static_cast<size_t>(source.labelLength));
    if (prefixLength == 0) {
        out = put(out, linePrefix, sizeof linePrefix - 1);
    } else {
        out = put(out, directive, sizeof directive - 1);
        out = put(out, byteTexts.of[segmentPrefix] + 1, byteTextLength - 1);
        *out++ = ',';
        out = put(out, escapeByte, sizeof escapeByte - 1);
    }
    // A short opcode goes as eight bytes at once, its padding overwritten by
    // what follows (at least the comment mark and the line's mnemonic).
    constexpr int shortSize = sizeof def.shortOpcode;
    if (def.opcodeLength <= shortSize && def.opcodeLength + int{sizeof commentStart - 1} + lineLength >= shortSize) {
        std::memcpy(out, def.shortOpcode, shortSize);
        out += def.opcodeLength;
    } else {
        out = put(out, def.opcode, static_cast<size_t>(def.opcodeLength));
    }
    for (int i = 0; i < count; ++i) out = putByteText(out, bytes[i]);
    out = put(out, commentStart, sizeof commentStart - 1);
    copyLineBytes(out, line, static_cast<size_t>(lineLength));
    out += lineLength;
    if (source.ends->lastLength == 2 && source.ends->last[0] == '\r') {  // CR LF, as most lines end
        *out++ = '\r';
        *out++ = '\n';
    } else {
        out = put(out, source.ends->last, static_cast<size_t>(source.ends->lastLength));
    }
    assert(out == space.bytes + total);
    return space.finish() ? 1 : -1;
}

// Adds the bytes [from, to) as db items, each after a comma but the list's
// first; the immediate's, when the assembler works it out, as its text in
// parentheses.
void addItems(JTextBuffer& out, const uint8_t* bytes, int from, int to, bool first, int immediateAt,
              const NamedParts& named) {
    for (int i = from; i < to; ++i, first = false) {
        if (!first) out.add(',');
        if (i == immediateAt && named.immediate != nullptr) {
            out.add('(');
            out.add(named.immediate, named.immediateLength);
            out.add(')');
        } else {
            out.add(byteTexts.of[bytes[i]] + 1, byteTextLength - 1);
        }
    }
}

// The names path's lines: the db line, up to a displacement that the
// assembler fills in from a dd line of its own, then a db line of the bytes
// after the displacement, if any. Written in pieces: the line and the
// expression may be long.
int writeNamedLines(JStream* dst, const Definition& def, const Encoding& e, NamedParts& named,
                    const SourceInstruction& source) {
    const char* line = source.line;
    const int lineLength = source.lineLength;
    uint8_t bytes[maxEncodingBytes];
    const int count = encodingBytes(e, bytes);
    const int displacementAt = 1 + e.hasSib;  // after ModR/M and SIB
    const int afterDisplacement = displacementAt + e.displacementSize;
    const int immediateAt = e.hasImmediate ? afterDisplacement : -1;
    JTextBuffer& out = named.lines;
    out.clear();
    out.add(line, source.labelLength);
    out.add(directive, sizeof directive - 1);
    if (e.segmentPrefix != 0) {
        out.add(byteTexts.of[e.segmentPrefix] + 1, byteTextLength - 1);
        out.add(',');
    }
    out.add(escapeByte, sizeof escapeByte - 1);
    out.add(def.opcode, def.opcodeLength);
    addItems(out, bytes, 0, named.displacementNamed ? displacementAt : count, false, immediateAt, named);
    out.add(commentStart, sizeof commentStart - 1);
    bool written = dst->write(out.data(), out.length()) == out.length() && dst->write(line, lineLength) == lineLength;
    const LineEnds& ends = *source.ends;
    out.clear();
    if (named.displacementNamed) {
        const JTextBuffer& expression = named.memory.terms.expression;
        out.add(ends.inner, ends.innerLength);
        out.add(ddDirective, sizeof ddDirective - 1);
        written = written && dst->write(out.data(), out.length()) == out.length() &&
                  dst->write(expression.data(), expression.length()) == expression.length();
        out.clear();
        if (afterDisplacement < count) {
            out.add(ends.inner, ends.innerLength);
            out.add(directive, sizeof directive - 1);
            addItems(out, bytes, afterDisplacement, count, true, immediateAt, named);
        }
    }
    out.add(ends.last, ends.lastLength);
    return written && dst->write(out.data(), out.length()) == out.length() ? 1 : -1;
}

}  // namespace

const LineEnds crLineFeeds = {"\r\n", 2, "\r\n", 2};

bool kindsFit(const Definition& def, int32_t firstKind, int32_t secondKind, bool hasThird) {
    const bool kinds = firstKind == def.firstKind && secondKind == def.secondKind;
    if (def.opcodeBytesOnly) return def.isEmms || kinds;
    return kinds && def.layout != OperandLayout::none && hasThird == def.tail.immediateByte;
}

Definition definitionOf(const JMMXSet* def) {
    Definition d;
    d.firstKind = def->firstKind;
    d.secondKind = def->secondKind;
    d.layout = layoutOf(def);
    d.memorySizes = def->memorySizes;
    d.modrmBase = def->modrmBase;
    d.isEmms = std::strcmp(def->mnemonic.data, "emms") == 0;
    d.opcodeBytesOnly = d.isEmms || d.layout == OperandLayout::opcodeOnly;
    d.tail = def->tail;
    d.opcode = def->opcode.data;
    d.opcodeLength = static_cast<int>(std::strlen(def->opcode.data));
    std::memset(d.shortOpcode, 0, sizeof d.shortOpcode);
    if (d.opcodeLength <= static_cast<int>(sizeof d.shortOpcode))
        std::memcpy(d.shortOpcode, d.opcode, static_cast<size_t>(d.opcodeLength));
    d.opcodeByte = 0;
    for (const char* c = def->opcode.data; std::isxdigit(static_cast<unsigned char>(*c)); ++c)
        d.opcodeByte = static_cast<uint8_t>(d.opcodeByte * 16 + (*c <= '9' ? *c - '0' : (*c | 0x20) - 'a' + 10));
    return d;
}

SourceInstruction sourceInstruction(const char* line, int lineLength, const char* op1, int op1Length,
                                    const char* op2, int op2Length, const char* op3, int op3Length) {
    return SourceInstruction{line, lineLength, 0, &crLineFeeds, op1, op1Length, op2, op2Length, op3, op3Length,
                             classifyOperand(op1, op1Length), classifyOperand(op2, op2Length)};
}

int encodeSource(JStream* dst, const SourceInstruction& source, const Definition& def) {
    const bool fits = source.first.kind == def.firstKind && source.second.kind == def.secondKind;
    // Nothing after the opcode: emms, whatever operands the line has (they
    // are ignored), and a record of no operands (femms), for a line with none.
    if (def.opcodeBytesOnly)
        return def.isEmms || fits ? writeLine(dst, def, 0, nullptr, 0, source) : 0;
    if (!fits) return 0;
    Encoding encoding;
    if (!decide<false>(source, def, nullptr, &encoding)) return 0;
    uint8_t bytes[maxEncodingBytes];
    int count = encodingBytes(encoding, bytes);
    return writeLine(dst, def, encoding.segmentPrefix, bytes, count, source);
}

int encodeNamedSource(JStream* dst, const SourceInstruction& source, const Definition& def, NamedParts& named) {
    if (!kindsFit(def, source.first.kind, source.second.kind, source.op3Length != 0)) return 0;
    if (def.opcodeBytesOnly) return writeLine(dst, def, 0, nullptr, 0, source);
    named.displacementNamed = false;
    named.immediate = nullptr;
    Encoding encoding;
    if (!decide<true>(source, def, &named, &encoding)) return 0;
    return writeNamedLines(dst, def, encoding, named, source);
}

int instructionBytes(const SourceInstruction& source, const Definition& def, NamedParts* named, MachineCode* code,
                     bool* leftToAssembler) {
    *leftToAssembler = false;
    const bool fits = named != nullptr ? kindsFit(def, source.first.kind, source.second.kind, source.op3Length != 0)
                                       : source.first.kind == def.firstKind && source.second.kind == def.secondKind;
    if (!fits && !def.isEmms) return 0;
    Encoding encoding{};
    if (!def.opcodeBytesOnly) {
        if (named != nullptr) {
            named->displacementNamed = false;
            named->immediate = nullptr;
        }
        const bool decided =
            named != nullptr ? decide<true>(source, def, named, &encoding) : decide<false>(source, def, nullptr, &encoding);
        if (!decided) return 0;
        if (named != nullptr && (named->displacementNamed || named->immediate != nullptr)) {
            *leftToAssembler = true;
            return 0;
        }
    }
    int n = 0;
    if (encoding.segmentPrefix != 0) code->bytes[n++] = encoding.segmentPrefix;
    code->bytes[n++] = 0x0F;
    code->bytes[n++] = def.opcodeByte;
    code->count = n + (def.opcodeBytesOnly ? 0 : encodingBytes(encoding, code->bytes + n));
    code->writesGeneralRegister = def.firstKind == kindGeneralRegister && !def.opcodeBytesOnly;
    return 1;
}

int encodeInstruction(JStream* dst, const JString& line, const JMMXSet* def, const JString& op1,
                      const JString& op2) {
    SourceInstruction source =
        sourceInstruction(line.data, line.length(), op1.data, op1.length(), op2.data, op2.length());
    return encodeSource(dst, source, definitionOf(def));
}
