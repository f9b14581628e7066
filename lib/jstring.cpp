#include "jstring.h"

#include <cstdint>
#include <cstring>

#include "jasciicase.h"

namespace {

int textLength(const char* s) { return static_cast<int>(std::strlen(s)); }

// Decimal digits of v, most significant first, into out (at least 21 bytes).
// The magnitude is taken unsigned so that the most negative value works.
int formatDecimal(long v, char* out) {
    unsigned long magnitude = v < 0 ? 0UL - static_cast<unsigned long>(v)
                                    : static_cast<unsigned long>(v);
    int digits = 1;
    for (unsigned long m = magnitude; m >= 10; m /= 10) ++digits;
    int n = 0;
    if (v < 0) out[n++] = '-';
    for (int i = digits - 1; i >= 0; --i) {
        out[n + i] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    n += digits;
    out[n] = '\0';
    return n;
}

}  // namespace

JString::JString() : data(new char[1]) { data[0] = '\0'; }

JString::JString(const char* s) : data(nullptr) { assignBytes(s, textLength(s)); }

JString::JString(int size) : data(new char[size > 0 ? size : 1]) { data[0] = '\0'; }

JString::JString(char c) : data(new char[2]) {
    data[0] = c;
    data[1] = '\0';
}

JString::JString(const JString& other) : JObject(), data(nullptr) {
    assignBytes(other.data, textLength(other.data));
}

JString::~JString() { delete[] data; }

void JString::allocate(int n) {
    delete[] data;
    data = new char[n > 0 ? n : 1];
}

void JString::grow(int n) {
    char* bigger = new char[n];
    std::memcpy(bigger, data, static_cast<size_t>(textLength(data)) + 1);
    delete[] data;
    data = bigger;
}

void JString::release() {
    delete[] data;
    data = nullptr;
}

// Copies first, frees after: s may point into this string's own buffer.
void JString::assignBytes(const char* s, int n) {
    char* fresh = new char[n + 1];
    std::memcpy(fresh, s, static_cast<size_t>(n));
    fresh[n] = '\0';
    delete[] data;
    data = fresh;
}

// Grows to exactly the new size (grow keeps the text), then adds s. s may
// point into our own buffer: it is found again at the same offset.
void JString::appendBytes(const char* s, int n) {
    if (n == 0) return;
    int l1 = textLength(data);
    std::uintptr_t at = reinterpret_cast<std::uintptr_t>(s), own = reinterpret_cast<std::uintptr_t>(data);
    bool inOwnBuffer = at >= own && at <= own + static_cast<std::uintptr_t>(l1);
    grow(l1 + n + 1);
    if (inOwnBuffer) s = data + (at - own);
    std::memcpy(data + l1, s, static_cast<size_t>(n));
    data[l1 + n] = '\0';
}

void JString::assignDecimal(long v) {
    char digits[24];
    assignBytes(digits, formatDecimal(v, digits));
}

JString& JString::assign(const char* s) {
    assignBytes(s, textLength(s));
    return *this;
}

JString& JString::assign(const JString& other) {
    if (&other != this) assignBytes(other.data, textLength(other.data));
    return *this;
}

JString& JString::assign(int v) {
    assignDecimal(v);
    return *this;
}

JString& JString::assign(long v) {
    assignDecimal(v);
    return *this;
}

JString& JString::append(const char* s) {
    appendBytes(s, textLength(s));
    return *this;
}

JString& JString::append(const JString& other) {
    appendBytes(other.data, textLength(other.data));
    return *this;
}

JString& JString::append(char c) {
    if (c != '\0') appendBytes(&c, 1);
    return *this;
}

JString& JString::append(int v) { return append(static_cast<long>(v)); }

JString& JString::append(long v) {
    char digits[24];
    appendBytes(digits, formatDecimal(v, digits));
    return *this;
}

int JString::equals(const JString& other) const {
    int n = textLength(data);
    if (n != textLength(other.data)) return 0;
    return std::memcmp(data, other.data, static_cast<size_t>(n)) == 0 ? 1 : 0;
}

int JString::notEquals(const JString& other) const { return equals(other) ? 0 : 1; }

void JString::toLower() {
    for (char* p = data; *p; ++p) *p = asciiLowered(*p);
}

void JString::toUpper() {
    for (char* p = data; *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
}

int JString::length() const { return textLength(data); }

JString JString::concat(const JString& a, const JString& b) { return JString(a).append(b); }
JString JString::concat(const JString& a, const char* b) { return JString(a).append(b); }
JString JString::concat(const char* a, const JString& b) { return JString(a).append(b); }
JString JString::concat(const JString& a, char b) { return JString(a).append(b); }
JString JString::concat(char a, const JString& b) { return JString(a).append(b); }
JString JString::concat(const JString& a, int b) { return JString(a).append(b); }
JString JString::concat(int a, const JString& b) { return JString().assign(a).append(b); }
JString JString::concat(const JString& a, long b) { return JString(a).append(b); }
JString JString::concat(long a, const JString& b) { return JString().assign(a).append(b); }
