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

void endWithSeparator(JString& directory) {
    int n = directory.length();
    if (n == 0 || !sys::isDirectorySeparator(directory.data[n - 1])) directory.append(sys::directorySeparator);
}

// Looks for directory + name; an empty directory is the current one.
int foundIn(JString directory, const char* name, JString& path) {
    if (directory.length() == 0) directory.assign(".");
    endWithSeparator(directory);
    JString candidate = directory + name;
    if (!sys::isRegularFile(candidate.data)) return 0;
    path = candidate;
    return 1;
}

int foundOnPath(const char* name, JString& path) {
    const char* list = std::getenv("PATH");
    if (list == nullptr) return 0;
    for (const char* start = list;;) {
        const char* end = std::strchr(start, sys::pathListSeparator);
        size_t n = end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start);
        JString directory(static_cast<int>(n) + 1);
        std::memcpy(directory.data, start, n);
        directory.data[n] = '\0';
        if (foundIn(directory, name, path)) return 1;
        if (end == nullptr) return 0;
        start = end + 1;
    }
}

JString temporaryName(const JString& directory, uint32_t number) {
    return directory + temporaryPrefix + static_cast<int>(number) + temporarySuffix;
}

}  // namespace

int findDefinitionFile(const char* name, JString& path) {
    JString exeDirectory;
    int haveExe = sys::executableDirectory(exeDirectory);
    if (haveExe && foundIn(exeDirectory, name, path)) return 1;
    if (foundIn(JString("."), name, path)) return 1;
    if (foundOnPath(name, path)) return 1;
    JString share = exeDirectory + ".." + sys::directorySeparator + "share" + sys::directorySeparator + "pakhod";
    return haveExe && foundIn(share, name, path);
}

int createTemporaryFile(JString& name) {
    JString directory;
    temporaryDirectory(directory);
    endWithSeparator(directory);
    uint32_t first = tickCount();
    for (int i = 0; i < temporaryNameTries; ++i) {
        JString candidate = temporaryName(directory, first + static_cast<uint32_t>(i));
        int created = sys::createNewFile(candidate.data);
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
