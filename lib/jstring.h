// JString: an owned, heap-held, NUL-terminated byte string with value
// semantics. It stores no length: every operation scans for the terminator.
// Buffers are sized exactly (text length + 1) except after allocate() and the
// size constructor. Passing a string its own text (or a pointer into its own
// buffer) is safe: the argument is read before the old buffer is freed.
//
// The integer forms exist for int and for long. long is 64-bit here; both
// give the same text for every 32-bit value, and the long forms print any
// 64-bit value exactly.
#ifndef PAKHOD_JSTRING_H
#define PAKHOD_JSTRING_H

#include "jobject.h"

class JString : public JObject {
public:
    char* data;

    JString();
    JString(const char* s);
    explicit JString(int size);
    explicit JString(char c);
    JString(const JString& other);
    JString& operator=(const JString& other) { return assign(other); }
    ~JString() override;

    // Frees the current buffer (if any) and takes a new one of n bytes with
    // undefined content; the caller writes the text and its terminator.
    void allocate(int n);
    // New buffer of n bytes (n > text length) holding the current text.
    void grow(int n);
    // Frees the buffer; data becomes null.
    void release();

    JString& assign(const char* s);
    JString& assign(const JString& other);
    JString& assign(int v);
    JString& assign(long v);

    JString& append(const char* s);
    JString& append(const JString& other);
    JString& append(char c);
    JString& append(int v);
    JString& append(long v);

    int equals(const JString& other) const;
    int notEquals(const JString& other) const;

    void toLower();
    void toUpper();

    // Length of the text (scans for the terminator).
    int length() const;

    static JString concat(const JString& a, const JString& b);
    static JString concat(const JString& a, const char* b);
    static JString concat(const char* a, const JString& b);
    static JString concat(const JString& a, char b);
    static JString concat(char a, const JString& b);
    static JString concat(const JString& a, int b);
    static JString concat(int a, const JString& b);
    static JString concat(const JString& a, long b);
    static JString concat(long a, const JString& b);

private:
    void appendBytes(const char* s, int n);
    void assignBytes(const char* s, int n);
    void assignDecimal(long v);
};

inline JString operator+(const JString& a, const JString& b) { return JString::concat(a, b); }
inline JString operator+(const JString& a, const char* b) { return JString::concat(a, b); }
inline JString operator+(const char* a, const JString& b) { return JString::concat(a, b); }
inline JString operator+(const JString& a, char b) { return JString::concat(a, b); }
inline JString operator+(char a, const JString& b) { return JString::concat(a, b); }
inline JString operator+(const JString& a, int b) { return JString::concat(a, b); }
inline JString operator+(int a, const JString& b) { return JString::concat(a, b); }
inline JString operator+(const JString& a, long b) { return JString::concat(a, b); }
inline JString operator+(long a, const JString& b) { return JString::concat(a, b); }

inline int operator==(const JString& a, const JString& b) { return a.equals(b); }
inline int operator!=(const JString& a, const JString& b) { return a.notEquals(b); }

#endif
