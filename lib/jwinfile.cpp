// What JWinFile does the same on every system; the rest is the platform
// layer's (system/jwinfile_posix.cpp, system/jwinfile_windows.cpp).
#include "jwinfile.h"

JWinFile::JWinFile() : handle(closedHandle), lastError(0), writtenOver(false), writeOffset(0), writtenEnd(0) {}

JWinFile::~JWinFile() { close(); }

char JWinFile::readByte() {
    char byte = 0;
    if (read(&byte, 1) != 1) return 0;
    return byte;
}

int JWinFile::writeByte(char byte) { return write(&byte, 1); }
