// The POSIX layer under the driver: finding the definition file, the
// temporary directory and file, the millisecond tick, and the in-place
// replacement of a file. Results are 1 for success and 0 for failure.
#ifndef PAKHOD_PLATFORM_H
#define PAKHOD_PLATFORM_H

#include <cstdint>

#include "jstring.h"
#include "jwinfile.h"

// Full path of `name` in the first place that holds it as a regular file:
// the executable's directory, the current directory, each PATH directory,
// then ../share/pakhod/ beside the executable's directory.
int findDefinitionFile(const char* name, JString& path);

// $TMPDIR, or /tmp when it is unset or empty, always with a trailing '/'.
void temporaryDirectory(JString& directory);

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t tickCount();

void sleepMilliseconds(int milliseconds);

// Creates a new empty file <temporary directory>qzvt<tick>.asm, trying the
// following numbers while the name is taken; an existing file is never
// opened. `name` receives the file created, or on failure the first name
// tried.
int createTemporaryFile(JString& name);

int removeFile(const char* name);

// Closes `file` and reports whether the system accepted the close (a
// delayed write error shows here). A closed file closes successfully.
int closeFile(JWinFile& file);

// Gives the file `target` names the bytes of the file `content`, atomically:
// a new file beside it with its permission bits (and owner, where allowed)
// receives the bytes, is synced and renamed over it. A symbolic link stays a
// link; the file it leads to is replaced. On failure `target` is unchanged
// and nothing is left behind; `content` is never touched.
int replaceFileContent(const char* target, const char* content);

#endif
