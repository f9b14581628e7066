// What each system's half of the platform layer (platform_posix.cpp,
// platform_windows.cpp) gives the shared half (platform.cpp): the few facts
// and calls in which the systems differ.
#ifndef PAKHOD_SYSTEM_H
#define PAKHOD_SYSTEM_H

#include <cstdint>

#include "jstring.h"

namespace sys {

// The separator of directories in a path ('/', or '\' on Windows), and of
// directories in the PATH variable (':', or ';').
extern const char directorySeparator;
extern const char pathListSeparator;

// True for a separator of directories ('/' counts on Windows too).
bool isDirectorySeparator(char c);

// The directory of the running executable, with its trailing separator.
int executableDirectory(JString& directory);

int isRegularFile(const char* path);

// Creates the file `name`, which must not exist yet, empty. 1 when created,
// 0 when the name is taken, -1 on any other failure, its reason in `error`.
int createNewFile(const char* name, int& error);

// The system's words for its error code `code`.
void systemErrorText(int code, JString& text);

// From now until the run removes the file `name` (removeFile) or keeps it
// (keepFile), a run stopped by a signal (Ctrl-C, a closed terminal, kill)
// removes it first. Two such files at most. On Windows nothing is done.
void removeIfInterrupted(const char* name);

// While `armed` (from a call with true until one with false for the same
// handle), a run stopped by a signal first cuts the file open as `handle`
// at its offset: a file being written over (see JWinFile) then holds what
// was written, not the old bytes after it. One such file at most. On
// Windows nothing is done.
void cutIfInterrupted(intptr_t handle, bool armed);

}  // namespace sys

#endif
