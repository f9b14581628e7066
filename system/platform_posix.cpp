// The platform layer on POSIX systems.
#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform.h"
#include "system.h"

namespace {

constexpr int copyBlock = 1 << 16;
// The file beside the target that becomes the target; mkstemp fills the Xs.
const char replacementPattern[] = ".pakhod-XXXXXX";

// Everything up to and including the last '/', or "./" when there is none.
JString directoryOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return JString("./");
    JString directory(static_cast<int>(slash - path) + 2);
    std::memcpy(directory.data, path, static_cast<size_t>(slash - path) + 1);
    directory.data[slash - path + 1] = '\0';
    return directory;
}

int writeFully(int fd, const char* buffer, ssize_t count) {
    while (count > 0) {
        ssize_t n = ::write(fd, buffer, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        buffer += n;
        count -= n;
    }
    return 1;
}

int copyBytes(int from, int to) {
    char buffer[copyBlock];
    for (;;) {
        ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 0;
        if (n == 0) return 1;
        if (!writeFully(to, buffer, n)) return 0;
    }
}

const char accessListAttribute[] = "system.posix_acl_access";

// Gives the new file `to` the extended attributes of the file `from`, as far
// as the system lets this user set them. The access control list must come
// along: without it the group bits, which then hold the list's mask, would
// open the file to the whole group.
int copyAttributes(const char* from, int to) {
    ssize_t listed = ::listxattr(from, nullptr, 0);
    if (listed <= 0) return 1;
    JString names(static_cast<int>(listed) + 1);
    listed = ::listxattr(from, names.data, static_cast<size_t>(listed));
    if (listed < 0) return 0;
    for (const char* name = names.data; name < names.data + listed; name += std::strlen(name) + 1) {
        ssize_t size = ::getxattr(from, name, nullptr, 0);
        JString value(size > 0 ? static_cast<int>(size) : 1);
        if (size > 0) size = ::getxattr(from, name, value.data, static_cast<size_t>(size));
        int copied = size >= 0 && ::fsetxattr(to, name, value.data, static_cast<size_t>(size), 0) == 0;
        if (!copied && std::strcmp(name, accessListAttribute) == 0) return 0;
    }
    return 1;
}

// Keeps the reason of the system call that just failed; returns 0.
int failed(int& error) {
    error = errno;
    return 0;
}

// Fills the new file `fd` with the bytes of `content` and the owner,
// extended attributes and permission bits of the file `target`, described
// by `like`, then makes it durable.
int prepareReplacement(int fd, const char* content, const char* target, const struct stat& like) {
    int from = ::open(content, O_RDONLY | O_CLOEXEC);
    if (from < 0) return 0;
    int copied = copyBytes(from, fd);
    ::close(from);
    if (!copied) return 0;
    // The owner is kept where the system allows it; before fchmod, since a
    // change of owner clears the set-id bits.
    if (::fchown(fd, like.st_uid, like.st_gid) != 0) {
    }
    return copyAttributes(target, fd) && ::fchmod(fd, like.st_mode & 07777) == 0 && ::fsync(fd) == 0;
}

// The files a run stopped by a signal removes first: names, and whether
// each slot holds one. A slot is disarmed before its name changes, so the
// handler never reads a name half written.
constexpr int interruptSlots = 2;
char interruptNames[interruptSlots][PATH_MAX];
volatile sig_atomic_t interruptArmed[interruptSlots];
// The descriptor of the file being written over, or -1.
volatile sig_atomic_t interruptCut = -1;

void removeAndStop(int signal) {
    const int cut = interruptCut;
    if (cut >= 0) {
        const off_t at = ::lseek(cut, 0, SEEK_CUR);
        if (at >= 0 && ::ftruncate(cut, at) != 0) {
        }
    }
    for (int slot = 0; slot < interruptSlots; ++slot)
        if (interruptArmed[slot]) ::unlink(interruptNames[slot]);
    ::signal(signal, SIG_DFL);
    ::raise(signal);  // ends the run as the signal would have
}

// The signals that stop a run from outside, each caught once, except where
// the run was started to ignore it (nohup).
void catchStopSignals() {
    static bool caught = false;
    if (caught) return;
    caught = true;
    for (int stop : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction now;
        if (::sigaction(stop, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) ::signal(stop, removeAndStop);
    }
}

// Disarms the slot that holds `name`.
void forgetIfInterrupted(const char* name) {
    for (int slot = 0; slot < interruptSlots; ++slot)
        if (interruptArmed[slot] && std::strcmp(interruptNames[slot], name) == 0) interruptArmed[slot] = 0;
}

// A destination that is a pipe whose reader has gone fails its writes, and
// the run reports it, instead of the run being killed.
const bool brokenPipesReported = ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;

// Best effort: makes a rename in `directory` durable.
void syncDirectory(const JString& directory) {
    int fd = ::open(directory.data, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

const char sys::directorySeparator = '/';
const char sys::pathListSeparator = ':';

bool sys::isDirectorySeparator(char c) { return c == '/'; }

int sys::executableDirectory(JString& directory) {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return 0;
    buffer[n] = '\0';
    directory = directoryOf(buffer);
    return 1;
}

int sys::isRegularFile(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}

int sys::createNewFile(const char* name, int& error) {
    int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        return error == EEXIST ? 0 : -1;
    }
    ::close(fd);
    return 1;
}

void sys::systemErrorText(int code, JString& text) { text.assign(std::strerror(code)); }

int folderRefusesNewFiles(const char* path, JString& folder) {
    char* resolved = ::realpath(path, nullptr);
    folder = directoryOf(resolved != nullptr ? resolved : path);
    std::free(resolved);
    return ::access(folder.data, W_OK | X_OK) != 0;
}

int pathExists(const char* name) {
    struct stat st;
    return ::lstat(name, &st) == 0 ? 1 : 0;
}

int isSystemHelpOption(const char*) { return 0; }

void temporaryDirectory(JString& directory) {
    const char* tmpdir = std::getenv("TMPDIR");
    directory.assign(tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp");
}

uint32_t tickCount() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                  static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void sleepMilliseconds(int milliseconds) {
    struct timespec pause;
    pause.tv_sec = milliseconds / 1000;
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

void sys::removeIfInterrupted(const char* name) {
    if (std::strlen(name) >= PATH_MAX) return;  // a name the system would refuse anyway
    catchStopSignals();
    for (int slot = 0; slot < interruptSlots; ++slot)
        if (!interruptArmed[slot]) {
            std::strcpy(interruptNames[slot], name);
            interruptArmed[slot] = 1;
            return;
        }
}

void sys::cutIfInterrupted(intptr_t handle, bool armed) {
    if (armed) {
        catchStopSignals();
        interruptCut = static_cast<int>(handle);
    } else if (interruptCut == static_cast<int>(handle)) {
        interruptCut = -1;
    }
}

void keepFile(const char* name) { forgetIfInterrupted(name); }

int removeFile(const char* name) {
    forgetIfInterrupted(name);
    return ::unlink(name) == 0 ? 1 : 0;
}

int namesHeldFile(const char* name, const JWinFile& held) {
    struct stat named, open;
    return held.isOpen() && ::stat(name, &named) == 0 && ::fstat(static_cast<int>(held.handle), &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

int closeFile(JWinFile& file) {
    if (!file.isOpen()) return 1;
    // What a file written over held past the bytes written goes first.
    if (!file.cutToWritten()) {
        const int why = file.lastError;
        file.close();
        file.lastError = why;
        return 0;
    }
    int fd = static_cast<int>(file.handle);
    sys::cutIfInterrupted(file.handle, false);
    file.handle = JWinFile::closedHandle;
    if (::close(fd) == 0) return 1;
    file.lastError = errno;
    return 0;
}

int replaceFileContent(const char* target, const char* content, JWinFile&, int& error) {
    // Through a symbolic link, the file it leads to is the one replaced. A
    // link that cannot be followed (its path too long) is left as it is: a
    // file put in its place would cut the tie to the file it leads to.
    char* resolved = ::realpath(target, nullptr);
    if (resolved == nullptr) {
        error = errno;
        struct stat named;
        if (::lstat(target, &named) != 0) return failed(error);
        if (S_ISLNK(named.st_mode)) return 0;
    }
    JString real(resolved != nullptr ? resolved : target);
    std::free(resolved);

    struct stat like;
    if (::stat(real.data, &like) != 0) return failed(error);
    error = JWinFile::notRegularFile;
    if (!S_ISREG(like.st_mode)) return 0;
    JString directory = directoryOf(real.data);
    JString replacement = directory + replacementPattern;
    int fd = ::mkstemp(replacement.data);
    if (fd < 0) return failed(error);
    sys::removeIfInterrupted(replacement.data);
    int done = prepareReplacement(fd, content, real.data, like) || failed(error);
    if (::close(fd) != 0 && done) done = failed(error);
    if (done && ::rename(replacement.data, real.data) != 0) done = failed(error);
    forgetIfInterrupted(replacement.data);  // it is the target now, or not wanted
    if (!done) {
        ::unlink(replacement.data);
        return 0;
    }
    syncDirectory(directory);
    return 1;
}
