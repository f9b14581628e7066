// encodeInstruction: one source line against one candidate definition.
#ifndef PAKHOD_ENCODER_H
#define PAKHOD_ENCODER_H

#include "jmmxset.h"
#include "jstream.h"
#include "jstring.h"

// Classifies op1/op2 (already lower-cased), checks them against def and, when
// def fits, writes the db line for `line` to dst.
// Returns 1 when the line was written, 0 when def does not fit (nothing
// written), -1 when it fits but dst did not take the whole line.
int encodeInstruction(JStream* dst, const JString& line, const JMMXSet* def,
                      const JString& op1, const JString& op2);

#endif
