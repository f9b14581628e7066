// ASCII lower case by table: one load per byte. Only 'A'..'Z' change; every
// other byte (digits, punctuation, bytes above 127) stays as it is.
#ifndef PAKHOD_JASCIICASE_H
#define PAKHOD_JASCIICASE_H

struct JAsciiLowerCase {
    char of[256];
    constexpr JAsciiLowerCase() : of() {
        for (int c = 0; c < 256; ++c) of[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
};

inline constexpr JAsciiLowerCase asciiLowerCase;

constexpr char asciiLowered(char c) { return asciiLowerCase.of[static_cast<unsigned char>(c)]; }

#endif
