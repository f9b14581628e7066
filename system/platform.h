// The platform layer under the driver: finding the definition file, the
// temporary directory and file, the millisecond tick, and the in-place
// replacement of a file. Results are 1 for success and 0 for failure.
// platform.cpp holds what every system shares; platform_posix.cpp and
// platform_windows.cpp the rest, one of them chosen at build time.
#ifndef PAKHOD_PLATFORM_H
#define PAKHOD_PLATFORM_H

#include <cstdint>

#include "jstring.h"
#include "jwinfile.h"

// Where the definition file was looked for, and what was found.
struct DefinitionSearch {
    JString path;      // the file found
    JString searched;  // each directory looked in, in order, followed by a line end
    int shipped = 0;   // found beside the executable or in ../share/pakhod/, as installed
};

// Finds `name` in the first place that holds it as a regular file: the
// executable's directory, the current directory, each PATH directory, then
// ../share/pakhod/ beside the executable's directory.
int findDefinitionFile(const char* name, DefinitionSearch& search);

// Why replaceFileContent refused a target: it is read-only (Windows).
constexpr int readOnlyFile = -5;

// The words for an error code: the system's own (strerror; on Windows the
// FormatMessage text, without its line end), or pakhod's for the codes that
// are not the system's (JWinFile's own, readOnlyFile).
void errorText(int code, JString& text);

// How long a file held by another process is waited for.
constexpr uint32_t lockWaitMilliseconds = 10000;

// Opens `name` to read, in JWinFile's mode 1 (alone) or 4 (shared with
// other readers). While the open is refused only because another process
// holds the file, tries again after growing pauses, for up to
// lockWaitMilliseconds.
int openForReading(JWinFile& file, const char* name, int mode);

// The folder part of `path`, up to and with its last separator; empty when
// the path names none.
JString folderOf(const char* path);

// 1 for a path that does not lead from the current folder (/a, C:\a, C:a).
int isAbsolutePath(const char* path);

// Appends a separator to a folder's name that does not end in one.
void endWithSeparator(JString& folder);

// 1 when a file, directory or link of that name exists.
int pathExists(const char* name);

// 1 for the system's own way of asking for help (/? on Windows).
int isSystemHelpOption(const char* argument);

// The directory for temporary files: $TMPDIR, or /tmp when it is unset or
// empty; on Windows what GetTempPathA names.
void temporaryDirectory(JString& directory);

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t tickCount();

void sleepMilliseconds(int milliseconds);

// Creates a new empty file <temporary directory>qzvt<tick>.asm, trying the
// following numbers while the name is taken; an existing file is never
// opened. `name` receives the file created, or on failure the first name
// tried and `error` the reason.
int createTemporaryFile(JString& name, int& error);

int removeFile(const char* name);

// The run keeps the temporary file `name` as its result: a signal that
// stops the run no longer removes it.
void keepFile(const char* name);

// True when `name` is another name of the file `held` has open (a hard or
// symbolic link, another spelling of its path): opening it to write would
// empty that file. Exclusive opening refuses such a name too, but on POSIX
// it rests on advisory locks, which a file system may not support.
int namesHeldFile(const char* name, const JWinFile& held);

// Closes `file` and reports whether the system accepted the close (a
// delayed write error shows here, kept in lastError). A closed file closes
// successfully.
int closeFile(JWinFile& file);

// True when the folder of the file `path` names (after symbolic links) is
// one in which this process may not create files, as replacing the file
// needs; `folder` receives that folder. Windows decides by access lists,
// and is not asked: there it is false.
int folderRefusesNewFiles(const char* path, JString& folder);

// Gives the file `target` names the bytes of the file `content`, whole or
// not at all: a new file beside it (so on its volume) with its permission
// bits or attributes receives the bytes, is synced and renamed over it.
// `held` is the caller's open JWinFile of the target: POSIX replaces the file
// while it is held; Windows cannot, and closes it first. On POSIX a symbolic
// link stays a link and the file it leads to is replaced; on Windows a
// read-only target is not replaced. On failure `target` is unchanged,
// nothing is left behind and `error` holds the reason; `content` is never
// touched.
int replaceFileContent(const char* target, const char* content, JWinFile& held, int& error);

#endif
