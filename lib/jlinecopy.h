// Copies of a line's text, which is short: most are 8 to 64 bytes. Done in
// place with two overlapping moves per size class instead of a library
// call, whose set-up costs as much as the copy.
#ifndef PAKHOD_JLINECOPY_H
#define PAKHOD_JLINECOPY_H

#include <cstddef>
#include <cstring>

// Copies n bytes from in to out (not overlapping).
inline void copyLineBytes(char* out, const char* in, size_t n) {
    if (n >= 16 && n <= 32) {
        char head[16], tail[16];
        std::memcpy(head, in, 16);
        std::memcpy(tail, in + n - 16, 16);
        std::memcpy(out, head, 16);
        std::memcpy(out + n - 16, tail, 16);
    } else if (n >= 8 && n < 16) {
        char head[8], tail[8];
        std::memcpy(head, in, 8);
        std::memcpy(tail, in + n - 8, 8);
        std::memcpy(out, head, 8);
        std::memcpy(out + n - 8, tail, 8);
    } else {
        std::memcpy(out, in, n);
    }
}

#endif
