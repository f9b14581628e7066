// What JSourceNames reads beyond srcfile, given by whoever runs it: the
// files the source includes (the program opens them with the system layer;
// tests and the fuzz target give memory), the names the command line
// defines, and where its warnings and notes go. JSourceNames opens no file
// itself.
#ifndef PAKHOD_SOURCEFILES_H
#define PAKHOD_SOURCEFILES_H

#include "jstream.h"

// A -D NAME[=VALUE] or -U NAME, in command-line order.
struct NameSetting {
    const char* text;  // NAME or NAME=VALUE, as given
    bool undefine;     // -U
};

// Reads one include file, as it stands where it is included.
class JIncludeReader {
public:
    virtual ~JIncludeReader() = default;
    // `file` is open at its start; `path` names it as found. 1 when it was
    // read to its end.
    virtual int readIncluded(JStream& file, const char* path) = 0;
};

class JSourceFiles {
public:
    virtual ~JSourceFiles() = default;

    // Looks for the include file `name` (as written, without quotes) named
    // on line `line` of the file `from`, the way assemblers do, and has
    // `reader` read it. 1 when it was read whole; otherwise 0, and with
    // `tell` a warning says why (not found, with the places searched; not
    // readable; already being read further out).
    virtual int include(const char* name, const char* from, int line, bool tell, JIncludeReader& reader) = 0;

    // A warning, its line whole without the line end, for standard error now.
    virtual void warn(const char* text) = 0;
    // A note for standard error once the run is over.
    virtual void note(const char* text) = 0;
};

// What a run tells JSourceNames about the source beyond its text.
struct SourceSetting {
    const char* name = "";             // srcfile, as warnings name it
    JSourceFiles* files = nullptr;     // include files and messages; none: nothing is included or said
    const NameSetting* names = nullptr;  // -D and -U in order
    int nameCount = 0;
};

#endif
