// JWinFile: a JStream over one operating-system file, without buffering:
// every operation is one system call, so the file offset is always exactly
// the sum of what was read, written and sought.
//
// Files are opened for exclusive use: while one JWinFile holds a file, any
// other open of it (this process or another) fails, and a refused open never
// empties a file; but readers in mode 4 share a file with one another (an
// include file that many runs read at once). Reading refuses anything but a
// regular file.
//
// Offsets are 32-bit. A regular file of 2 GiB or more is refused at open
// (except by mode 2, which replaces what it holds), so it can never be
// misread.
//
// Mode 2 may write a regular file over instead of emptying it at open: what
// the file held past the bytes written is then cut off at close, and size()
// and seeks from the end count only the bytes written. Closed, the file
// holds exactly what was written, as an emptied one would.
//
// The class is the same everywhere; the platform layer implements it for
// each system (system/jwinfile_posix.cpp, system/jwinfile_windows.cpp).
#ifndef PAKHOD_JWINFILE_H
#define PAKHOD_JWINFILE_H

#include <cstdint>

#include "jstream.h"

class JWinFile : public JStream {
public:
    static constexpr intptr_t closedHandle = -1;

    // The system's handle of the open file (a descriptor, or a HANDLE), or
    // closedHandle while closed.
    intptr_t handle;
    // Why the last open, read, write or close failed: the system's error
    // code (errno, or GetLastError() on Windows), or one of JWinFile's own
    // below for what it refuses itself; 0 after a successful open.
    int lastError;

    // JWinFile's own codes; the system's are positive.
    static constexpr int notRegularFile = -1;  // reading takes regular files only
    static constexpr int tooLarge = -2;        // 2 GiB or more: offsets are 32-bit
    static constexpr int heldElsewhere = -3;   // another holder has the file
    static constexpr int isDirectory = -4;

    JWinFile();
    ~JWinFile() override;
    JWinFile(const JWinFile&) = delete;
    JWinFile& operator=(const JWinFile&) = delete;

    int open(const char* name, int mode) override;
    void close() override;
    char readByte() override;  // 0 at end of file or on failure
    int read(char* buffer, int count) override;
    int writeByte(char byte) override;
    int write(const char* buffer, int count) override;
    int seek(int32_t offset, int origin) override;
    uint32_t size() override;

    // Cuts off what a file written over held past the bytes written (see
    // above): 1 when done, or when there is nothing to cut; 0 with the
    // reason in lastError.
    int cutToWritten();

    int isOpen() const { return handle != closedHandle; }
    // 1 when the last open failed only because another holder has the file.
    int lastOpenWasLocked() const { return lastError == heldElsewhere ? 1 : 0; }

private:
    // A file written over: its offset and the end of the bytes written, to
    // be cut there.
    bool writtenOver;
    int64_t writeOffset;
    int64_t writtenEnd;
};

#endif
