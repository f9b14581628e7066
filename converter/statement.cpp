#include "statement.h"

#include "words.h"

namespace {

// The first name in text[0..n) that stands for nothing pakhod can put in
// place (a label, a variable, a macro's parameter); 0 when there is none.
int unknownName(const char* text, int n, const JNameLookup& names, const char** name) {
    int found = 0;
    anyName(text, n, [&](const char* word, int k) {
        const NameKind kind = names.meaning(word, k).kind;
        if (kind == NameKind::value || kind == NameKind::text) return false;
        *name = word;
        found = k;
        return true;
    });
    return found;
}

}  // namespace

void encodeStatement(JStreamTokenizer* src, const char* text, int n, JLineContext* context, StatementCode* out) {
    SourceInstruction source;
    const JMnemonicIndex::Entry* chain = splitStatement(text, n, *context, &source);
    out->outcome = StatementCode::notMmx;
    if (chain == nullptr) return;
    const Definition* definitions = context->definitions.get();
    bool leftToAssembler = false;
    bool encoded = false;
    for (const JMnemonicIndex::Entry* e = chain; e != nullptr && !encoded; e = e->nextSame)
        encoded = instructionBytes(source, definitions[e->number], nullptr, &out->code, &leftToAssembler);
    const int at[3] = {static_cast<int>(source.op1 - text), static_cast<int>(source.op2 - text),
                       static_cast<int>(source.op3 - text)};
    const int length[3] = {source.op1Length, source.op2Length, source.op3Length};
    const char* line = text;  // moves to a copy when the source is read for names
    if (!encoded)
        encoded = context->named.bytes(src, line, n, {{at[0], at[1], at[2]}, {length[0], length[1], length[2]}}, chain,
                                       definitions, &out->code, &leftToAssembler);
    if (encoded) {
        out->outcome = StatementCode::encoded;
        return;
    }
    out->outcome = StatementCode::left;
    out->reason = whyLeft(line, n, {{at[0], at[1], at[2]}, {length[0], length[1], length[2]}}, chain, definitions,
                          context->named.names, &out->detail, &out->detailLength);
    // Bytes only: a name left to the assembler leaves the statement.
    const char* name;
    const int k = leftToAssembler ? unknownName(line + at[0], n - at[0], context->named.names, &name) : 0;
    if (k > 0) {
        out->reason = LeftReason::unresolvedName;
        out->detail = name;
        out->detailLength = k;
    }
}
