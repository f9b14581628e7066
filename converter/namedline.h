// The line loop's second try: a candidate line that the plain readers did
// not encode is read again, its names put in place as the source defines
// them (JSourceNames), with MASM's spellings (table[esi], [esi][ebx*2]) and
// a name standing alone as memory. A name only the assembler knows stays in
// the output for it to fill in. The line is encoded only when every way the
// assembler could read it gives the same instruction.
#ifndef PAKHOD_NAMEDLINE_H
#define PAKHOD_NAMEDLINE_H

#include "encoder.h"
#include "jmnemonicindex.h"
#include "jstream.h"
#include "jstreamtokenizer.h"
#include "jtextbuffer.h"
#include "sourcenames.h"

// What the second try keeps for the whole run.
class JNamedLines {
public:
    JSourceNames names;

    // Where a line's three operands stand in it, and their lengths.
    struct Spans {
        int at[3];
        int length[3];
    };

    // A candidate line: text[0..n), a label kept in front of the db line
    // (text[0..labelLength)), how its lines end, its operands at the given spans of it,
    // the records of its mnemonic from `chain` on, read
    // through `definitions` by record number. The source is read again
    // through `src` when names are first needed; `text` then moves to a copy
    // of the line. Returns what encodeSource does: 1 written, 0 not encoded
    // (the caller copies the line), -1 a write failed.
    int encode(JStream* dst, JStreamTokenizer* src, const char*& text, int n, int labelLength, const LineEnds& ends,
               const Spans& spans,
               const JMnemonicIndex::Entry* chain, const Definition* definitions);

    // encode's bytes, written nowhere: 1 and *code when every byte is known;
    // 0 otherwise, *leftToAssembler set when a name the assembler resolves
    // would have stood in them.
    int bytes(JStreamTokenizer* src, const char*& text, int n, const Spans& spans, const JMnemonicIndex::Entry* chain,
              const Definition* definitions, MachineCode* code, bool* leftToAssembler);

private:
    NamedParts parts;

    // The line's operands with their names put in place, and the one way of
    // reading them that a record fits; 0 when there is none, or several.
    int read(JStreamTokenizer* src, const char*& text, int n, const Spans& spans, const JMnemonicIndex::Entry* chain,
             const Definition* definitions, SourceInstruction* source);
    JTextBuffer lineCopy;
    JTextBuffer resolved[3];
};

#endif
