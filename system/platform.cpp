// The platform layer's shared half: where the definition file is looked for
// and how the temporary file is named, in terms of system/system.h.
#include <cstdlib>
#include <cstring>

#include "platform.h"
#include "system.h"

namespace {

constexpr int temporaryNameTries = 10000;
const char temporaryPrefix[] = "qzvt";
const char temporarySuffix[] = ".asm";
// The pauses between tries to open a held file, doubling from the first to
// the last.
constexpr int firstPause = 2;
constexpr int longestPause = 64;

// Looks for directory + name, and notes the directory as searched; an
// empty directory is the current one.
int foundIn(JString directory, const char* name, DefinitionSearch& search) {
    if (directory.length() == 0) directory.assign(".");
    endWithSeparator(directory);
    search.searched.append(directory).append('\n');
    JString candidate = directory + name;
    if (!sys::isRegularFile(candidate.data)) return 0;
    search.path = candidate;
    return 1;
}

int foundOnPath(const char* name, DefinitionSearch& search) {
    const char* list = std::getenv("PATH");
    if (list == nullptr) return 0;
    for (const char* start = list;;) {
        const char* end = std::strchr(start, sys::pathListSeparator);
        size_t n = end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start);
        JString directory(static_cast<int>(n) + 1);
        std::memcpy(directory.data, start, n);
        directory.data[n] = '\0';
        if (foundIn(directory, name, search)) return 1;
        if (end == nullptr) return 0;
        start = end + 1;
    }
}

// What the codes that are not the system's mean.
struct OwnError {
    int code;
    const char* text;
};
const OwnError ownErrors[] = {
    {JWinFile::notRegularFile, "not a regular file"},
    {JWinFile::tooLarge, "too large: pakhod reads files under 2 GiB"},
    {JWinFile::heldElsewhere, "in use by another process"},
    {JWinFile::isDirectory, "Is a directory"},
    {readOnlyFile, "the file is read-only"},
};

JString temporaryName(const JString& directory, uint32_t number) {
    return directory + temporaryPrefix + static_cast<int>(number) + temporarySuffix;
}

}  // namespace

void endWithSeparator(JString& folder) {
    int n = folder.length();
    if (n == 0 || !sys::isDirectorySeparator(folder.data[n - 1])) folder.append(sys::directorySeparator);
}

int isAbsolutePath(const char* path) {
    if (sys::isDirectorySeparator(path[0])) return 1;
    return sys::directorySeparator == '\\' && path[0] != '\0' && path[1] == ':';
}

JString folderOf(const char* path) {
    int end = 0;
    for (int i = 0; path[i] != '\0'; ++i)
        if (sys::isDirectorySeparator(path[i])) end = i + 1;
    JString folder(end + 1);
    std::memcpy(folder.data, path, static_cast<size_t>(end));
    folder.data[end] = '\0';
    return folder;
}

int openForReading(JWinFile& file, const char* name, int mode) {
    uint32_t start = tickCount();
    int pause = firstPause;
    while (!file.open(name, mode)) {
        if (!file.lastOpenWasLocked() || tickCount() - start >= lockWaitMilliseconds) return 0;
        sleepMilliseconds(pause);
        if (pause < longestPause) pause *= 2;
    }
    return 1;
}

int findDefinitionFile(const char* name, DefinitionSearch& search) {
    JString exeDirectory;
    int haveExe = sys::executableDirectory(exeDirectory);
    search.shipped = haveExe && foundIn(exeDirectory, name, search);
    if (search.shipped || foundIn(JString("."), name, search) || foundOnPath(name, search)) return 1;
    JString share = exeDirectory + ".." + sys::directorySeparator + "share" + sys::directorySeparator + "pakhod";
    search.shipped = haveExe && foundIn(share, name, search);
    return search.shipped;
}

void errorText(int code, JString& text) {
    for (const OwnError& own : ownErrors)
        if (own.code == code) {
            text.assign(own.text);
            return;
        }
    sys::systemErrorText(code, text);
}

int createTemporaryFile(JString& name, int& error) {
    JString directory;
    temporaryDirectory(directory);
    endWithSeparator(directory);
    uint32_t first = tickCount();
    for (int i = 0; i < temporaryNameTries; ++i) {
        JString candidate = temporaryName(directory, first + static_cast<uint32_t>(i));
        int created = sys::createNewFile(candidate.data, error);
        if (created == 1) {
            name = candidate;
            sys::removeIfInterrupted(name.data);
            return 1;
        }
        if (created < 0) break;
    }
    name = temporaryName(directory, first);
    return 0;
}
