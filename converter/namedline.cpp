#include "namedline.h"

#include "operand.h"
#include "words.h"

namespace {

bool holdsName(const char* text, int n) {
    return anyName(text, n, [](const char*, int) { return true; });
}

bool holdsDataLabel(const char* text, int n, const JSourceNames& names) {
    return anyName(text, n, [&names](const char* name, int k) { return names.meaning(name, k).kind == NameKind::dataLabel; });
}

// The kinds an operand may be read as.
struct Readings {
    int32_t kinds[2];
    int count;
    uint8_t number;  // a register's field value

    void add(int32_t kind) { kinds[count++] = kind; }
};

// What an operand (its names already put in place) may be. A register is
// a register. Brackets, a size word or an override make memory, though
// MASM reads [CONST] without a register as the number. An expression alone
// is a number, or, when a name stands in it unmultiplied, memory at that
// name as MASM reads it; a data label there is memory only. NASM takes
// memory in brackets only.
Readings readingsOf(const char* text, int n, const JSourceNames& names) {
    Readings r = {{0, 0}, 0, 0};
    if (n == 0) {
        r.add(kindNone);
        return r;
    }
    Operand o = classifyOperand(text, n);
    if (o.kind == kindGeneralRegister || o.kind == kindMmxRegister) {
        r.add(o.kind);
        r.number = o.number;
        return r;
    }
    MemoryOperand memory;
    NamedMemory shape;
    shape.terms.keepText = false;
    NamedExpression e;
    const bool bracketsOnly = names.writtenForNasm();
    if (readNamedMemoryOperand(text, n, &names, &memory, &shape) && !(shape.bare && bracketsOnly)) {
        bool label = holdsDataLabel(text, n, names);
        if (!shape.bare || shape.hasPrefix) {
            r.add(kindMemory);
            if (shape.registerless && !shape.hasPrefix && !label) r.add(kindImmediate);
        } else if (readNamedExpression(text, n, &names, &e)) {
            if (!label) r.add(kindImmediate);
            if (e.mayBeAddress) r.add(kindMemory);
        }
        return r;
    }
    if (readNamedExpression(text, n, &names, &e)) r.add(kindImmediate);
    return r;
}

}  // namespace

int JNamedLines::read(JStreamTokenizer* src, const char*& text, int n, const Spans& spans,
                      const JMnemonicIndex::Entry* chain, const Definition* definitions, SourceInstruction* source) {
    names.beginLine();
    bool named[3];
    bool anyNamed = false;
    for (int i = 0; i < 3; ++i) anyNamed |= named[i] = holdsName(text + spans.at[i], spans.length[i]);
    if (anyNamed && names.state() == JSourceNames::unread) {
        lineCopy.clear();  // reading the source again moves its buffer, where the line is
        lineCopy.add(text, n);
        text = lineCopy.data();
        names.learn(src->stream, src->position);
    }
    const char* op[3];
    int length[3];
    for (int i = 0; i < 3; ++i) {
        op[i] = text + spans.at[i];
        length[i] = spans.length[i];
        if (!named[i]) continue;
        bool changed = false;
        if (!names.resolve(op[i], length[i], resolved[i], false, &changed)) return 0;
        if (!changed) continue;
        op[i] = resolved[i].data();
        length[i] = resolved[i].length();
    }
    const Readings first = readingsOf(op[0], length[0], names), second = readingsOf(op[1], length[1], names);
    const bool hasThird = length[2] > 0;
    // One way to read the operands must fit a record; two that fit would
    // be two instructions.
    int32_t chosen[2] = {0, 0};
    int ways = 0;
    for (int a = 0; a < first.count; ++a)
        for (int b = 0; b < second.count; ++b)
            for (const JMnemonicIndex::Entry* e = chain; e != nullptr; e = e->nextSame)
                if (kindsFit(definitions[e->number], first.kinds[a], second.kinds[b], hasThird)) {
                    chosen[0] = first.kinds[a];
                    chosen[1] = second.kinds[b];
                    ++ways;
                    break;
                }
    if (ways != 1) return 0;
    if (names.codeBits() != 32 && (chosen[0] == kindMemory || chosen[1] == kindMemory)) return 0;
    *source = sourceInstruction(text, n, op[0], length[0], op[1], length[1], op[2], length[2]);
    source->first = Operand{chosen[0], first.number};
    source->second = Operand{chosen[1], second.number};
    parts.names = &names;
    parts.displacementNamed = false;  // what a record of no operands leaves as it was
    parts.immediate = nullptr;
    return 1;
}

int JNamedLines::encode(JStream* dst, JStreamTokenizer* src, const char*& text, int n, int labelLength,
                        const LineEnds& ends, const Spans& spans, const JMnemonicIndex::Entry* chain,
                        const Definition* definitions) {
    SourceInstruction source;
    if (!read(src, text, n, spans, chain, definitions, &source)) return 0;
    source.labelLength = labelLength;
    source.ends = &ends;
    for (const JMnemonicIndex::Entry* e = chain; e != nullptr; e = e->nextSame) {
        int written = encodeNamedSource(dst, source, definitions[e->number], parts);
        if (written == 0) continue;
        const JTextBuffer& dd = parts.memory.terms.expression;
        if (written > 0)
            names.lineEncoded(dd.data(), parts.displacementNamed ? dd.length() : 0, parts.immediate,
                              parts.immediate != nullptr ? parts.immediateLength : 0);
        return written;
    }
    return 0;
}

int JNamedLines::bytes(JStreamTokenizer* src, const char*& text, int n, const Spans& spans,
                       const JMnemonicIndex::Entry* chain, const Definition* definitions, MachineCode* code,
                       bool* leftToAssembler) {
    SourceInstruction source;
    *leftToAssembler = false;
    if (!read(src, text, n, spans, chain, definitions, &source)) return 0;
    for (const JMnemonicIndex::Entry* e = chain; e != nullptr && !*leftToAssembler; e = e->nextSame)
        if (instructionBytes(source, definitions[e->number], &parts, code, leftToAssembler)) return 1;
    return 0;
}
