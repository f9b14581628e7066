// encodeStatement: one assembly statement into machine code, for the
// sources that hold assembly inside another language (hosts/), which write
// the bytes in their own form. The statement is judged as a line of an
// assembly source is: the same records, operand readers, names and reasons.
#ifndef PAKHOD_STATEMENT_H
#define PAKHOD_STATEMENT_H

#include "encoder.h"
#include "jstreamtokenizer.h"
#include "leftlines.h"
#include "lineprocessor.h"

struct StatementCode {
    enum Outcome : uint8_t { notMmx, encoded, left };
    Outcome outcome;
    MachineCode code;     // encoded: the bytes
    LeftReason reason;    // left: why
    const char* detail;   // left: the part of the statement meant (valid until the next statement)
    int detailLength;
};

// text[0..n), a mnemonic and its operands without label or comment, is
// followed by a NUL byte; the caller counts what it writes. Every byte must be known: a name the assembler
// would resolve leaves the statement. `src` reads the source, from which
// the names are learned when a statement first needs them.
void encodeStatement(JStreamTokenizer* src, const char* text, int n, JLineContext* context, StatementCode* out);

#endif
