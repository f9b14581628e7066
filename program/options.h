// The command line: options, then srcfile and an optional destfile.
//
// Options stand before srcfile only, so every command line without them
// means what it always has: an argument that starts with '-' is an option
// unless a file of that name exists (a file named -q is a source like any
// other; ./-q names it too), and "--" ends the options. After srcfile every
// argument is a file name.
#ifndef PAKHOD_OPTIONS_H
#define PAKHOD_OPTIONS_H

#include <memory>

#include "jstring.h"
#include "sourcefiles.h"

// What kind of source a file is: its extension tells, unless -x says.
// cAsmBody is C that is the body of an __asm { } block (a file #included
// inside one): its lines are assembly, its comments and directives C's.
enum class SourceKind : unsigned char { byExtension, assembly, c, pascal, cAsmBody };

struct JOptions {
    bool quiet = false;         // -q: nothing on standard output for a completed run
    bool usualStatus = false;   // --usual-status: 0 completed, 1 error, 2 command line
    bool strict = false;        // --strict: a run that leaves an MMX line is an error
    bool keepLineEnds = false;  // --keep-line-ends: each line ends as in the source
    SourceKind kind = SourceKind::byExtension;
    // -D and -U in order, and the -I folders in order; the texts are argv's.
    std::unique_ptr<NameSetting[]> names;
    int nameCount = 0;
    std::unique_ptr<const char*[]> includeFolders;
    int includeFolderCount = 0;
    const char* source = nullptr;
    const char* destination = nullptr;  // srcfile again when none is given
};

// Reads argv into *options. 1 when the command line is usable; 0 when not,
// with the reason in `error` (empty for a command line without srcfile,
// which the usage text alone answers).
int readOptions(int argc, const char* const* argv, JOptions* options, JString& error);

#endif
