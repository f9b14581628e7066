// convertHost: the line loop of a C, C++ or Pascal source. A first pass
// finds the code for x86-64 (left whole); the second copies every line,
// each MMX statement of its assembly written as bytes in the host's form,
// on the line it came from.
#ifndef PAKHOD_HOSTCONVERT_H
#define PAKHOD_HOSTCONVERT_H

#include "hostscanner.h"
#include "jmmxset.h"
#include "jstream.h"
#include "leftlines.h"

// 1 when every line was written whole and the source read to its size; 0
// when the destination did not take every byte; -1 when a read failed.
// The MMX statements left as they were are told to `left`, if given. Each
// line ends in CR LF, or with keepLineEnds as in the source.
// `setting`, if given, says where the source stands (its name, the
// command line's names).
int convertHost(JStream* destination, JStream* source, JMMXSet* table, JLeftLines* left, HostKind kind,
                const SourceSetting* setting = nullptr, bool keepLineEnds = false);

#endif
