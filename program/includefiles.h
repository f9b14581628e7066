// The include files of a run, found and opened as assemblers do, and the
// warnings and notes about them on standard error.
#ifndef PAKHOD_INCLUDEFILES_H
#define PAKHOD_INCLUDEFILES_H

#include "jtextbuffer.h"
#include "jwinfile.h"
#include "options.h"
#include "sourcenames.h"
#include "sourcefiles.h"

class JIncludeFiles : public JSourceFiles {
public:
    // `source` is srcfile, open: a file that includes it is not read again.
    // With `tell` false nothing is said (PAKHOD_WARNINGS=0).
    JIncludeFiles(const JOptions& options, const JWinFile& source, bool tell);

    // Looks in the folder of `from`, the current folder, then each -I
    // folder, and reads the first file of that name that opens. A file
    // being read further out (a cycle) is not read again.
    int include(const char* name, const char* from, int line, bool tell, JIncludeReader& reader) override;
    void warn(const char* text) override;
    void note(const char* text) override;

    // After the run: how many warnings were not listed, then the notes.
    void finish(const char* sourceName);

    static constexpr int mostListed = 100;
    static constexpr int bufferSize = 1 << 16;  // per include file open

private:
    const JOptions& options;
    const JWinFile* open[JSourceNames::deepestInclusion + 2];  // srcfile and the include files being read, outermost first
    int openCount;
    bool tell;
    int warnings;
    JTextBuffer notes;
    JTextBuffer message;

    bool isOpenAlready(const char* path) const;
    void warnAbout(const char* from, int line, const char* what, const char* name, const JString& detail);
    int readFile(const JString& path, JWinFile& file, JIncludeReader& reader, const char* from, int line, bool tellThis);
};

#endif
