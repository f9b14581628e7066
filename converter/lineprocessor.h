// processLine: reads one source line, encodes it when a definition fits,
// otherwise copies it; every written line ends in CR LF.
#ifndef PAKHOD_LINEPROCESSOR_H
#define PAKHOD_LINEPROCESSOR_H

#include <memory>

#include "encoder.h"
#include "jmmxset.h"
#include "jmnemonicindex.h"
#include "jstream.h"
#include "jstreamtokenizer.h"
#include "jstring.h"
#include "leftlines.h"
#include "namedline.h"

// What the line loop keeps for the whole run: the mnemonic index of the
// table (one lookup per line instead of a walk of the table), what the
// encoder reads of each record (by record number), and the second try's
// names. It must not outlive the table.
class JLineContext {
public:
    explicit JLineContext(JMMXSet* table);

    JMnemonicIndex index;
    std::unique_ptr<Definition[]> definitions;
    JNamedLines named;
    int encodedLines = 0;        // MMX lines written as db lines
    // Each line ends as in the source (keepLineEnds), else in CR LF; the
    // ends of the current line's output.
    bool keepLineEnds = false;
    LineEnds ends = {"\r\n", 2, "\r\n", 2};

    // From now on each line ends as in the source; lines added between the
    // lines of one source line end as the last line end met (LF before any).
    void keepEnds() {
        keepLineEnds = true;
        ends.inner = "\n";
        ends.innerLength = 1;
    }
    JLeftLines* left = nullptr;  // where the lines left as they were are told, if anywhere
};

// Returns 0 at the end of the source (nothing written), 1 when one line was
// consumed and its output written, -1 when dst did not take the whole output
// line (a write error the caller must report). With a context the output is
// the same, only cheaper to produce.
int processLine(JStream* dst, JStreamTokenizer* src, JMMXSet* table, JLineContext* context = nullptr);

// A statement's text[0..n) (followed by a NUL) read as a candidate line
// is: the records of its mnemonic, and *source its operands as the line
// loop splits them; null when its first word is no mnemonic.
const JMnemonicIndex::Entry* splitStatement(const char* text, int n, const JLineContext& context,
                                            SourceInstruction* source);

#endif
