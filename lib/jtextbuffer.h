// JTextBuffer: bytes gathered piece by piece in a buffer that doubles as it
// grows, so building a text of n bytes costs O(n) whatever the pieces.
#ifndef PAKHOD_JTEXTBUFFER_H
#define PAKHOD_JTEXTBUFFER_H

class JTextBuffer {
public:
    JTextBuffer() : bytes(nullptr), used(0), capacity(0) {}
    ~JTextBuffer() { delete[] bytes; }
    JTextBuffer(const JTextBuffer&) = delete;
    JTextBuffer& operator=(const JTextBuffer&) = delete;

    void clear() { used = 0; }
    void add(const char* text, int n);
    void add(char c) { add(&c, 1); }
    // The bytes so far (not terminated); null before the first.
    const char* data() const { return bytes; }
    int length() const { return used; }

private:
    char* bytes;
    int used;
    int capacity;
};

#endif
