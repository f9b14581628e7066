// What a run tells the user of the MMX lines it left as they were, on
// standard error, in the form compilers use so that editors and make jump
// to them:
//   a.asm:42: warning: left as it was: a register no record takes (xmm1): paddb mm0, xmm1
//   a.asm: 112 MMX lines encoded, 3 left as they were
#ifndef PAKHOD_LEFTREPORT_H
#define PAKHOD_LEFTREPORT_H

#include "jstream.h"
#include "leftlines.h"

// False when the environment variable PAKHOD_WARNINGS is "0", "no", "off"
// or "false".
bool warningsWanted();

// One line per listed line, each written whole in one write, with its line number (`source` is read again
// from its start to count them), then the count of the lines not listed
// and a summary. Nothing when every MMX line was encoded.
void reportLeftLines(const char* sourceName, JStream& source, const JLeftLines& left);

#endif
