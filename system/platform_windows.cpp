// The platform layer on Windows.
#include <windows.h>

#include "platform.h"
#include "system.h"

namespace {

// How long the in-place replace waits while another process (a pakhod run
// waiting for the source) holds the file it replaces, and between tries.
constexpr uint32_t holdWaitMilliseconds = 10000;
constexpr int holdPause = 16;

HANDLE handleOf(const JWinFile& file) { return reinterpret_cast<HANDLE>(file.handle); }

// Keeps the reason of the system call that just failed; returns 0.
int failed(int& error) {
    error = static_cast<int>(GetLastError());
    return 0;
}

// Everything up to and including the last separator, or ".\" when there is none.
JString directoryOf(const char* path) {
    int end = 0;
    for (int i = 0; path[i] != '\0'; ++i)
        if (sys::isDirectorySeparator(path[i])) end = i + 1;
    if (end == 0) return JString(".\\");
    JString directory(path);
    directory.data[end] = '\0';  // cut after the separator
    return directory;
}

// The full form of `name`, with backslashes, as the file APIs want it.
int fullPathOf(const char* name, JString& full) {
    DWORD n = GetFullPathNameA(name, 0, nullptr, nullptr);
    if (n == 0) return 0;
    full.allocate(static_cast<int>(n) + 1);
    DWORD written = GetFullPathNameA(name, n + 1, full.data, nullptr);
    return written > 0 && written <= n ? 1 : 0;
}

// Makes the bytes of `path` durable.
int flushToDisk(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int flushed = FlushFileBuffers(file) ? 1 : 0;
    return CloseHandle(file) && flushed;
}

// Moves `replacement` over `target` in one step. While another process
// holds the target (the move is then refused as access denied, or as a
// sharing or lock violation), it tries again, for a limited time.
int moveOver(const char* replacement, const char* target) {
    uint32_t start = tickCount();
    while (!MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD why = GetLastError();
        bool held = why == ERROR_ACCESS_DENIED || why == ERROR_SHARING_VIOLATION || why == ERROR_LOCK_VIOLATION;
        if (!held || tickCount() - start >= holdWaitMilliseconds) return 0;
        sleepMilliseconds(holdPause);
    }
    return 1;
}

}  // namespace

const char sys::directorySeparator = '\\';
const char sys::pathListSeparator = ';';

bool sys::isDirectorySeparator(char c) { return c == '\\' || c == '/'; }

int sys::executableDirectory(JString& directory) {
    char buffer[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return 0;
    directory = directoryOf(buffer);
    return 1;
}

int sys::isRegularFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? 1 : 0;
}

int sys::createNewFile(const char* name, int& error) {
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD why = GetLastError();
        error = static_cast<int>(why);
        return why == ERROR_FILE_EXISTS || why == ERROR_ALREADY_EXISTS ? 0 : -1;
    }
    CloseHandle(file);
    return 1;
}

// The text FormatMessage gives ends in a line end (and may end in blanks).
void sys::systemErrorText(int code, JString& text) {
    char buffer[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == ' ')) --n;
    buffer[n] = '\0';
    if (n > 0)
        text.assign(buffer);
    else
        text = JString("error ") + code;
}

int folderRefusesNewFiles(const char* path, JString& folder) {
    folder = directoryOf(path);
    return 0;
}

int pathExists(const char* name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES ? 1 : 0; }

int isSystemHelpOption(const char* argument) { return argument[0] == '/' && argument[1] == '?' && argument[2] == '\0'; }

void temporaryDirectory(JString& directory) {
    DWORD n = GetTempPathA(0, nullptr);
    directory.allocate(static_cast<int>(n) + 1);
    DWORD written = n == 0 ? 0 : GetTempPathA(n + 1, directory.data);
    if (written == 0 || written > n) directory.assign(".\\");
}

uint32_t tickCount() { return GetTickCount(); }

void sleepMilliseconds(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

// A console interrupt runs its handler on another thread while the run
// holds its files open without sharing, so they could not be removed there.
void sys::removeIfInterrupted(const char*) {}

void sys::cutIfInterrupted(intptr_t, bool) {}

void keepFile(const char*) {}

int removeFile(const char* name) { return DeleteFileA(name) ? 1 : 0; }

// The open of a file held without sharing fails by itself, but only as a
// sharing violation; so the name is opened for no access at all, which
// sharing allows, and the two files' identities are compared.
int namesHeldFile(const char* name, const JWinFile& held) {
    HANDLE other = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (!held.isOpen() || other == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION a, b;
    int same = GetFileInformationByHandle(other, &a) && GetFileInformationByHandle(handleOf(held), &b) &&
               a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
               a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(other);
    return same;
}

int closeFile(JWinFile& file) {
    if (!file.isOpen()) return 1;
    HANDLE handle = handleOf(file);
    file.handle = JWinFile::closedHandle;
    if (CloseHandle(handle)) return 1;
    file.lastError = static_cast<int>(GetLastError());
    return 0;
}

// The result is copied into a new file beside the target, so that the last
// step is a move within one volume, whatever drive the temporary directory
// is on; the new file takes the target's attributes before it moves.
int replaceFileContent(const char* target, const char* content, JWinFile& held, int& error) {
    held.close();  // an open file cannot be replaced here
    JString full;
    if (!fullPathOf(target, full)) return failed(error);
    DWORD attributes = GetFileAttributesA(full.data);
    if (attributes == INVALID_FILE_ATTRIBUTES) return failed(error);
    // A read-only file is one its owner asked not to be changed.
    error = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? JWinFile::isDirectory : readOnlyFile;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) return 0;
    JString replacement(MAX_PATH + 1);
    if (!GetTempFileNameA(directoryOf(full.data).data, "pkh", 0, replacement.data)) return failed(error);
    int done = (CopyFileA(content, replacement.data, FALSE) && flushToDisk(replacement.data) &&
                SetFileAttributesA(replacement.data, attributes) && moveOver(replacement.data, full.data)) ||
               failed(error);
    if (!done) {
        SetFileAttributesA(replacement.data, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(replacement.data);
    }
    return done;
}
