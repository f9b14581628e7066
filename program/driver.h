// The command-line driver: pakhod srcfile [destfile].
#ifndef PAKHOD_DRIVER_H
#define PAKHOD_DRIVER_H

#include "jmmxset.h"
#include "jstream.h"
#include "leftlines.h"
#include "sourcefiles.h"

// Runs pakhod on its command line and returns the process exit status:
// 1 after a completed run, 0 after the usage text or any error message.
int runDriver(int argc, const char* const* argv);

// What convertStream reports.
constexpr int convertCompleted = 1;    // every line written whole, the source read to its size
constexpr int convertWriteFailed = 0;  // the destination did not take every byte
constexpr int convertReadFailed = -1;  // the source ended early: a read failed

// The line loop over a whole source, through large buffers.
// The MMX lines it leaves as they were are told to `left`, if given;
// `setting`, if given, says where the source stands (its name, the files it
// includes, the command line's names). Each output line ends in CR LF, or
// with keepLineEnds as in the source.
int convertStream(JStream* destination, JStream* source, JMMXSet* table, JLeftLines* left = nullptr,
                  const SourceSetting* setting = nullptr, bool keepLineEnds = false);

#endif
