// JWinFile on Windows: CreateFileA with no sharing, so that while one
// JWinFile holds a file every other open of it fails with a sharing
// violation, before a mode-2 open would truncate it; shared readers share
// reading only.
#include <windows.h>

#include "jwinfile.h"

namespace {

constexpr int modeRead = 1;
constexpr int modeCreate = 2;
constexpr int modeSharedRead = 4;
constexpr LONGLONG largestFile = 0x7FFFFFFF;  // offsets are signed 32-bit

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The reason (a JWinFile code or the system's) why this open file may not
// be used in this mode, or 0: reading takes regular files only (not NUL,
// pipes or consoles), and files too big for 32-bit offsets.
int refusal(HANDLE file, int mode) {
    if (mode != modeRead && mode != modeSharedRead) return 0;
    if (GetFileType(file) != FILE_TYPE_DISK) return JWinFile::notRegularFile;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return static_cast<int>(GetLastError());
    return size.QuadPart > largestFile ? JWinFile::tooLarge : 0;
}

// Why CreateFileA refused `name`: another holder, a directory (which it
// calls access denied), or the system's own code.
int openFailure(const char* name) {
    DWORD why = GetLastError();
    if (why == ERROR_SHARING_VIOLATION || why == ERROR_LOCK_VIOLATION) return JWinFile::heldElsewhere;
    DWORD attributes = GetFileAttributesA(name);
    bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return why == ERROR_ACCESS_DENIED && directory ? JWinFile::isDirectory : static_cast<int>(why);
}

// The byte count of a read or write, or 0 with the reason kept on failure.
int transferred(BOOL done, DWORD n, int& lastError) {
    if (!done) lastError = static_cast<int>(GetLastError());
    return done ? static_cast<int>(n) : 0;
}

}  // namespace

int JWinFile::open(const char* name, int mode) {
    if (name == nullptr) return 0;
    close();  // never leak a handle that is still held
    bool reads = mode == modeRead || mode == modeSharedRead;
    DWORD access = reads ? GENERIC_READ : GENERIC_WRITE;
    DWORD sharing = mode == modeSharedRead ? FILE_SHARE_READ : 0;
    DWORD disposition = mode == modeCreate ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE file = CreateFileA(name, access, sharing, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    int why = file == INVALID_HANDLE_VALUE ? openFailure(name) : refusal(file, mode);
    if (why != 0) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        lastError = why;
        return 0;
    }
    handle = reinterpret_cast<intptr_t>(file);
    lastError = 0;
    return 1;
}

// Mode 2 empties the file at open here (CREATE_ALWAYS): nothing to cut.
int JWinFile::cutToWritten() { return 1; }

void JWinFile::close() {
    if (handle == closedHandle) return;
    CloseHandle(handleOf(handle));
    handle = closedHandle;
}

int JWinFile::read(char* buffer, int count) {
    DWORD n = 0;
    if (handle == closedHandle || count <= 0) return 0;
    BOOL done = ReadFile(handleOf(handle), buffer, static_cast<DWORD>(count), &n, nullptr);
    return transferred(done, n, lastError);
}

int JWinFile::write(const char* buffer, int count) {
    DWORD n = 0;
    if (handle == closedHandle || count <= 0) return 0;
    BOOL done = WriteFile(handleOf(handle), buffer, static_cast<DWORD>(count), &n, nullptr);
    return transferred(done, n, lastError);
}

int JWinFile::seek(int32_t offset, int origin) {
    if (handle == closedHandle) return 0;
    DWORD method = origin == 0 ? FILE_BEGIN : origin == 2 ? FILE_END : FILE_CURRENT;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    return SetFilePointerEx(handleOf(handle), distance, nullptr, method) ? 1 : 0;
}

uint32_t JWinFile::size() {
    LARGE_INTEGER size;
    if (handle == closedHandle || !GetFileSizeEx(handleOf(handle), &size)) return 0xFFFFFFFFu;
    if (size.QuadPart < 0 || size.QuadPart >= 0xFFFFFFFF) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(size.QuadPart);
}
