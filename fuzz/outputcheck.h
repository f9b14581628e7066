// Checks shared by the line-loop fuzz targets: runs a table over a source and
// checks the output line by line against the source.
#ifndef PAKHOD_FUZZ_OUTPUTCHECK_H
#define PAKHOD_FUZZ_OUTPUTCHECK_H

#include <string>

#include "jmmxset.h"

// Stops the process with a message when ok is false.
void require(bool ok, const char* what);

// Converts source with table as the driver does and checks: one CR
// LF-terminated output line per source line, every line either the source
// line unchanged or a db line that echoes it after ";" and whose
// mnemonic is in the table. strictBytes also requires the db bytes to be
// 0XXh items (true for a table whose opcodes are two hex digits and h).
// Source lines holding NUL are only counted, not compared.
void checkLineLoop(const std::string& source, JMMXSet* table, bool strictBytes);

#endif
