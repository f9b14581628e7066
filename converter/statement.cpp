#include "statement.h"

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
        ++context->encodedLines;
        return;
    }
    out->outcome = StatementCode::left;
    out->reason = whyLeft(line, n, {{at[0], at[1], at[2]}, {length[0], length[1], length[2]}}, chain, definitions,
                          context->named.names, &out->detail, &out->detailLength);
}
