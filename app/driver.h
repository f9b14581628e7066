// The command-line driver: pakhod srcfile [destfile].
#ifndef PAKHOD_DRIVER_H
#define PAKHOD_DRIVER_H

#include "jmmxset.h"
#include "jstream.h"

// Runs pakhod on its command line and returns the process exit status:
// 1 after a completed run, 0 after the usage text or any error message.
int runDriver(int argc, const char* const* argv);

// The line loop over a whole source: 1 when every line went to destination
// whole and the source was read to its size, 0 after a failed write or a
// read that ended early.
int convertStream(JStream* destination, JStream* source, JMMXSet* table);

#endif
