// JWinFile on POSIX systems: exclusive use through flock on the open file
// description, taken before a mode-2 open writes anything; shared readers
// take the shared lock. Mode 2 writes a regular file over and cuts it at
// close: emptying a file and growing it again costs the system (allocating
// every page and block anew, and on ext4 a flush at close) several times
// what rewriting its pages does.
#include "jwinfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system.h"

namespace {

constexpr int modeRead = 1;
constexpr int modeSharedRead = 4;

bool reads(int mode) { return mode == modeRead || mode == modeSharedRead; }

int descriptorOf(intptr_t handle) { return static_cast<int>(handle); }
constexpr int modeCreate = 2;
constexpr off_t largestFile = 0x7FFFFFFF;  // offsets are signed 32-bit

// Opening never blocks: a FIFO without a peer would otherwise hang open().
int openDescriptor(const char* name, int mode) {
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (reads(mode)) return ::open(name, flags | O_RDONLY);
    if (mode == modeCreate) return ::open(name, flags | O_WRONLY | O_CREAT, 0666);
    return ::open(name, flags | O_WRONLY);
}

// The reason (a JWinFile code) why this descriptor may not be used in this
// mode, or 0. Locks are taken on regular files only, so that devices such as
// /dev/null can be shared.
int refusal(int fd, int mode, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return JWinFile::isDirectory;
    if (reads(mode) && !S_ISREG(st.st_mode)) return JWinFile::notRegularFile;
    if (!S_ISREG(st.st_mode)) return 0;
    int lock = mode == modeSharedRead ? LOCK_SH : LOCK_EX;
    if (::flock(fd, lock | LOCK_NB) != 0 && errno == EWOULDBLOCK) return JWinFile::heldElsewhere;
    if (mode != modeCreate && st.st_size > largestFile) return JWinFile::tooLarge;
    return 0;
}

// The byte count of a read or write, or 0 with the reason kept on failure.
int transferred(ssize_t n, int& lastError) {
    if (n < 0) lastError = errno;
    return n > 0 ? static_cast<int>(n) : 0;
}

}  // namespace

int JWinFile::open(const char* name, int mode) {
    if (name == nullptr) return 0;
    close();  // never leak a descriptor that is still held
    int fd = openDescriptor(name, mode);
    if (fd < 0) {
        lastError = errno;
        return 0;
    }
    struct stat st;
    int why = ::fstat(fd, &st) != 0 ? errno : refusal(fd, mode, st);
    if (why == 0) {
        int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) why = errno;
    }
    if (why != 0) {
        ::close(fd);
        lastError = why;
        return 0;
    }
    handle = fd;
    lastError = 0;
    writtenOver = mode == modeCreate && S_ISREG(st.st_mode);
    writeOffset = writtenEnd = 0;
    // A run stopped by a signal leaves what was written, as an emptied
    // file would hold it, not the old bytes after it.
    if (writtenOver) sys::cutIfInterrupted(fd, true);
    return 1;
}

int JWinFile::cutToWritten() {
    if (handle == closedHandle || !writtenOver) return 1;
    struct stat st;
    const int fd = descriptorOf(handle);
    if (::fstat(fd, &st) == 0 && (st.st_size <= writtenEnd || ::ftruncate(fd, writtenEnd) == 0)) return 1;
    lastError = errno;
    return 0;
}

void JWinFile::close() {
    if (handle == closedHandle) return;
    cutToWritten();
    if (writtenOver) sys::cutIfInterrupted(handle, false);
    writtenOver = false;
    ::close(descriptorOf(handle));
    handle = closedHandle;
}

int JWinFile::read(char* buffer, int count) {
    if (handle == closedHandle || count <= 0) return 0;
    return transferred(::read(descriptorOf(handle), buffer, static_cast<size_t>(count)), lastError);
}

int JWinFile::write(const char* buffer, int count) {
    if (handle == closedHandle || count <= 0) return 0;
    const int n = transferred(::write(descriptorOf(handle), buffer, static_cast<size_t>(count)), lastError);
    writeOffset += n;
    if (writeOffset > writtenEnd) writtenEnd = writeOffset;
    return n;
}

int JWinFile::seek(int32_t offset, int origin) {
    if (handle == closedHandle) return 0;
    int whence = origin == 0 ? SEEK_SET : origin == 2 ? SEEK_END : SEEK_CUR;
    off_t to = offset;
    if (writtenOver && whence == SEEK_END) {  // the end of the bytes written
        to += writtenEnd;
        whence = SEEK_SET;
    }
    const off_t at = ::lseek(descriptorOf(handle), to, whence);
    if (at < 0) return 0;
    writeOffset = at;
    return 1;
}

uint32_t JWinFile::size() {
    struct stat st;
    if (handle == closedHandle || ::fstat(descriptorOf(handle), &st) != 0) return 0xFFFFFFFFu;
    const int64_t bytes = writtenOver ? writtenEnd : static_cast<int64_t>(st.st_size);
    if (bytes < 0 || bytes >= 0xFFFFFFFF) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(bytes);
}
