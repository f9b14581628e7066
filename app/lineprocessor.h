// processLine: reads one source line, encodes it when a definition fits,
// otherwise copies it; every written line ends in CR LF.
#ifndef PAKHOD_LINEPROCESSOR_H
#define PAKHOD_LINEPROCESSOR_H

#include "jmmxset.h"
#include "jmnemonicindex.h"
#include "jstream.h"
#include "jstreamtokenizer.h"

// Returns 0 at the end of the source (nothing written), 1 when one line was
// consumed and its output written, -1 when dst did not take the whole output
// line (a write error the caller must report).
// With an index of the table, a line's definitions are found by one lookup
// instead of a walk of the whole table; the results are the same.
int processLine(JStream* dst, JStreamTokenizer* src, JMMXSet* table,
                const JMnemonicIndex* index = nullptr);

#endif
