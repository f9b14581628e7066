// JStreamTokenizer: reads lines, or fields separated by ',', TAB, CR and LF,
// from a JStream. It keeps `position`, the count of bytes consumed since the
// stream was attached; between calls it equals the stream's offset, and every
// look-ahead is undone by seeking back to it.
#ifndef PAKHOD_JSTREAMTOKENIZER_H
#define PAKHOD_JSTREAMTOKENIZER_H

#include <cstdint>
#include <cstring>

#include "jobject.h"
#include "jstream.h"
#include "jstring.h"

class JStreamTokenizer : public JObject {
public:
    JStream* stream;   // not owned
    int32_t position;  // bytes consumed since setStream
    // Whether the last line read ended with an LF (else with the end of
    // input): with the bytes consumed, it tells how the line ended.
    bool lineFeedSeen;

    JStreamTokenizer();
    ~JStreamTokenizer() override;
    JStreamTokenizer(const JStreamTokenizer&) = delete;
    JStreamTokenizer& operator=(const JStreamTokenizer&) = delete;

    // Attaches a stream (may be null), seeks it to its start, position 0.
    void setStream(JStream* s);

    // One line without its LF (and without a CR just before the LF or the
    // end of input). Returns the bytes consumed, 0 at end of input.
    int readLine(JString& line);
    // readLine without a string of the caller's: *text is set to the same
    // text, NUL-terminated, in a buffer the tokenizer reuses from line to
    // line (valid until its next read), and *length to its length. At end
    // of input *text is empty and 0 is returned.
    int readLineText(const char** text, int* length);
    // readLineText without the copy where it can: *text may point into the
    // stream's buffer, and is then NOT NUL-terminated. It holds no NUL byte
    // in [0, *length), and the byte after it, (*text)[*length], is a CR, an
    // LF or a NUL, so scanners can stop there without counting. Valid until
    // the next call on the tokenizer or the stream.
    // Inline: the line loop of a whole source calls it once per line; its
    // usual case (the line whole in the buffer, known to hold no NUL) takes
    // no call but the scan for the LF.
    int readLineView(const char** text, int* length) {
        const char* bytes;
        const int held = stream->peekBuffer(&bytes);
        const char* lf = held > 0 ? static_cast<const char*>(std::memchr(bytes, '\n', static_cast<size_t>(held)))
                                  : nullptr;
        if (lf == nullptr) return readLineViewApart(text, length);
        const int n = static_cast<int>(lf - bytes);
        if (position < plainFrom || position + n > plainUntil) return readLineViewApart(text, length);
        return takeLine(bytes, n, text, length);
    }
    // One field without its delimiter. 1 read, 0 at end (string unchanged).
    int nextField(JString& field);
    int nextInt();
    int skipField();
    int skipLine();
    int nextIsNumber();
    int peekFieldLength();
    int readField(char* buffer);
    int skipLineFeed();

private:
    int readOne(char* byte);
    // readLineView's other cases: a line across buffer refills, bytes not
    // yet known to hold no NUL, an unbuffered stream.
    [[gnu::noinline]] int readLineViewApart(const char** text, int* length);
    // The line bytes[0..n) and its LF, whole in the stream's buffer.
    int takeLine(const char* bytes, int n, const char** text, int* length) {
        *text = bytes;
        *length = (n > 0 && bytes[n - 1] == '\r') ? n - 1 : n;
        lineFeedSeen = true;
        stream->skipBuffered(n + 1);
        position += n + 1;
        return n + 1;
    }
    int readLineInBlocks(JString& line, const char* bytes, int held);
    bool nextFieldInBuffer(JString& field, const char* bytes, int held);
    void rewind();
    char* keepLineText(const char* text, int n);

    bool holdsNoNul(const char* bytes, int n, int held);

    char* lineText;    // readLineText's buffer, owned
    int lineCapacity;  // its size in bytes
    // Stream offsets [plainFrom, plainUntil) already known to hold no NUL.
    int32_t plainFrom;
    int32_t plainUntil;
};

#endif
