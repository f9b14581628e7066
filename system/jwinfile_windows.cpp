// JWinFile on Windows: CreateFileA with no sharing, so that while one
// JWinFile holds a file every other open of it fails with a sharing
// violation, before a mode-2 open would truncate it.
#include <windows.h>

#include "jwinfile.h"

namespace {

constexpr int modeRead = 1;
constexpr int modeCreate = 2;
constexpr LONGLONG largestFile = 0x7FFFFFFF;  // offsets are signed 32-bit

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The reason (a system error code) why this open file may not be used in
// this mode, or 0: reading takes regular files only (not NUL, pipes or
// consoles), and files too big for 32-bit offsets.
DWORD refusal(HANDLE file, int mode) {
    if (mode != modeRead) return 0;
    if (GetFileType(file) != FILE_TYPE_DISK) return ERROR_INVALID_FUNCTION;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return GetLastError();
    return size.QuadPart > largestFile ? ERROR_FILE_TOO_LARGE : 0;
}

}  // namespace

int JWinFile::open(const char* name, int mode) {
    if (name == nullptr) return 0;
    close();  // never leak a handle that is still held
    DWORD access = mode == modeRead ? GENERIC_READ : GENERIC_WRITE;
    DWORD disposition = mode == modeCreate ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE file = CreateFileA(name, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD why = file == INVALID_HANDLE_VALUE ? GetLastError() : refusal(file, mode);
    if (why != 0) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        lastError = static_cast<int>(why);
        return 0;
    }
    handle = reinterpret_cast<intptr_t>(file);
    lastError = 0;
    return 1;
}

void JWinFile::close() {
    if (handle == closedHandle) return;
    CloseHandle(handleOf(handle));
    handle = closedHandle;
}

int JWinFile::read(char* buffer, int count) {
    DWORD n = 0;
    if (handle == closedHandle || count <= 0 || !ReadFile(handleOf(handle), buffer, static_cast<DWORD>(count), &n, nullptr))
        return 0;
    return static_cast<int>(n);
}

int JWinFile::write(const char* buffer, int count) {
    DWORD n = 0;
    if (handle == closedHandle || count <= 0 ||
        !WriteFile(handleOf(handle), buffer, static_cast<DWORD>(count), &n, nullptr))
        return 0;
    return static_cast<int>(n);
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

int JWinFile::lastOpenWasLocked() const {
    return lastError == ERROR_SHARING_VIOLATION || lastError == ERROR_LOCK_VIOLATION ? 1 : 0;
}
