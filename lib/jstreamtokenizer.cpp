#include "jstreamtokenizer.h"

#include "jtextbuffer.h"

#include <cstring>

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr int linePiece = 255;  // bytes appended to the line at a time

bool isFieldDelimiter(char c) { return c == ',' || c == '\t' || c == CR || c == LF; }

bool isConversionBlank(char c) {
    return c == ' ' || c == '\t' || c == LF || c == '\v' || c == '\f' || c == CR;
}

// Builds a line's text from its bytes (LF excluded) the way readLine always
// has: in pieces of at most 255 bytes, each appended up to its first NUL; a
// CR that ends a full piece is held back until the next byte shows whether
// the line goes on, and a CR just before the end of the line is dropped.
class LinePieces {
public:
    explicit LinePieces(JString& line) : line(line), index(0), heldCR(false) {}

    void add(char c) {
        if (heldCR) {  // the line goes on: the held CR was ordinary text
            line.append(CR);
            heldCR = false;
        }
        work[index++] = c;
        if (index == linePiece) {
            if (work[index - 1] == CR) {
                --index;
                heldCR = true;
            }
            work[index] = '\0';
            line.append(work);
            index = 0;
        }
    }

    void finish() {
        if (index > 0 && work[index - 1] == CR) --index;
        work[index] = '\0';
        if (index > 0) line.append(work);
    }

private:
    JString& line;
    char work[linePiece + 1];
    int index;
    bool heldCR;
};

// Sets the line to text[0..n) (its LF excluded). Without NUL bytes that is
// the text less a final CR, built in one allocation; with them, the pieces
// above decide, as for byte-at-a-time reading.
void setLineText(JString& line, const char* text, int n) {
    if (std::memchr(text, '\0', static_cast<size_t>(n)) != nullptr) {
        line.allocate(1);
        line.data[0] = '\0';
        LinePieces pieces(line);
        for (int i = 0; i < n; ++i) pieces.add(text[i]);
        pieces.finish();
        return;
    }
    if (n > 0 && text[n - 1] == CR) --n;
    line.allocate(n + 1);
    std::memcpy(line.data, text, static_cast<size_t>(n));
    line.data[n] = '\0';
}

}  // namespace

JStreamTokenizer::JStreamTokenizer()
    : stream(nullptr), position(0), lineFeedSeen(false), lineText(nullptr), lineCapacity(0), plainFrom(0),
      plainUntil(0) {}

JStreamTokenizer::~JStreamTokenizer() { delete[] lineText; }

void JStreamTokenizer::setStream(JStream* s) {
    stream = s;
    if (stream != nullptr) stream->seek(0, 0);
    position = 0;
    plainFrom = plainUntil = 0;
}

// One byte from the stream; 0 at end of input or on failure.
int JStreamTokenizer::readOne(char* byte) { return stream->read(byte, 1) == 1 ? 1 : 0; }

// Undoes a look-ahead: back to the first unconsumed byte.
void JStreamTokenizer::rewind() { stream->seek(position, 0); }

int JStreamTokenizer::peekFieldLength() {
    int count = 0;
    bool ended = false;
    char c;
    for (;;) {
        if (!readOne(&c)) {
            ended = true;
            break;
        }
        if (isFieldDelimiter(c)) break;
        ++count;
    }
    rewind();
    return (ended && count == 0) ? -1 : count;
}

int JStreamTokenizer::skipLineFeed() {
    char c;
    if (!readOne(&c)) return 1;
    if (c == LF)
        ++position;
    else
        stream->seek(-1, 1);
    return 1;
}

int JStreamTokenizer::readField(char* buffer) {
    int index = 0;
    char c;
    while (readOne(&c)) {
        ++position;
        if (isFieldDelimiter(c)) {
            if (c == CR) skipLineFeed();
            break;
        }
        buffer[index++] = c;
    }
    buffer[index] = '\0';
    return index;
}

int JStreamTokenizer::nextField(JString& field) {
    const char* bytes;
    int held = stream->peekBuffer(&bytes);
    if (held > 0 && nextFieldInBuffer(field, bytes, held)) return 1;
    int n = peekFieldLength();
    if (n < 0) return 0;
    field.allocate(n + 1);
    readField(field.data);
    field.data[n] = '\0';
    return 1;
}

// nextField over a stream that offers its buffer, when the field and what
// its delimiter needs (the byte after a CR) lie in it: one scan instead of
// two reads per byte. False, with nothing consumed, when they do not.
bool JStreamTokenizer::nextFieldInBuffer(JString& field, const char* bytes, int held) {
    int n = 0;
    while (n < held && !isFieldDelimiter(bytes[n])) ++n;
    if (n == held || (bytes[n] == CR && n + 1 == held)) return false;
    int used = n + 1 + (bytes[n] == CR && bytes[n + 1] == LF);  // CR LF is one delimiter
    field.allocate(n + 1);
    std::memcpy(field.data, bytes, static_cast<size_t>(n));
    field.data[n] = '\0';
    stream->skipBuffered(used);
    position += used;
    return true;
}

int JStreamTokenizer::readLine(JString& line) {
    const char* bytes;
    int held = stream->peekBuffer(&bytes);
    if (held > 0) return readLineInBlocks(line, bytes, held);
    line.allocate(1);
    line.data[0] = '\0';
    LinePieces pieces(line);
    int consumed = 0;
    char c;
    lineFeedSeen = false;
    while (readOne(&c)) {
        ++position;
        ++consumed;
        if ((lineFeedSeen = c == LF)) break;
        pieces.add(c);
    }
    pieces.finish();
    return consumed;
}

// readLine over a stream that offers its buffer: the LF is found with one
// scan per block instead of one call per byte. Same text, same count.
int JStreamTokenizer::readLineInBlocks(JString& line, const char* bytes, int held) {
    const char* lf = static_cast<const char*>(std::memchr(bytes, LF, static_cast<size_t>(held)));
    lineFeedSeen = true;
    if (lf != nullptr) {  // the whole line is in the buffer
        int n = static_cast<int>(lf - bytes);
        setLineText(line, bytes, n);
        stream->skipBuffered(n + 1);
        position += n + 1;
        return n + 1;
    }
    JTextBuffer text;  // a line that runs across buffer refills
    int consumed = 0;
    for (;;) {
        int n = lf != nullptr ? static_cast<int>(lf - bytes) : held;
        text.add(bytes, n);
        int used = lf != nullptr ? n + 1 : n;
        stream->skipBuffered(used);
        consumed += used;
        if (lf != nullptr) break;
        held = stream->peekBuffer(&bytes);
        if (held <= 0) {  // nothing more on offer: finish byte by byte
            char c;
            lineFeedSeen = false;
            while (readOne(&c)) {
                ++consumed;
                if ((lineFeedSeen = c == LF)) break;
                text.add(c);
            }
            break;
        }
        lf = static_cast<const char*>(std::memchr(bytes, LF, static_cast<size_t>(held)));
    }
    setLineText(line, text.data(), text.length());
    position += consumed;
    return consumed;
}

// Copies text[0..n) into the reused line buffer, NUL-terminated.
char* JStreamTokenizer::keepLineText(const char* text, int n) {
    if (n + 1 > lineCapacity) {
        int bigger = lineCapacity * 2 > n + 1 ? lineCapacity * 2 : n + 1;
        if (bigger < 256) bigger = 256;
        delete[] lineText;
        lineText = new char[bigger];
        lineCapacity = bigger;
    }
    std::memcpy(lineText, text, static_cast<size_t>(n));
    lineText[n] = '\0';
    return lineText;
}

// 1 when the n bytes at the current position hold no NUL. The whole of
// what the stream holds (held bytes) is checked at once and remembered by
// offset, so most lines need no scan of their own.
bool JStreamTokenizer::holdsNoNul(const char* bytes, int n, int held) {
    if (position >= plainFrom && position + n <= plainUntil) return true;
    if (std::memchr(bytes, '\0', static_cast<size_t>(held)) == nullptr) {
        plainFrom = position;
        plainUntil = position + held;
        return true;
    }
    return std::memchr(bytes, '\0', static_cast<size_t>(n)) == nullptr;
}

int JStreamTokenizer::readLineViewApart(const char** text, int* length) {
    const char* bytes;
    int held = stream->peekBuffer(&bytes);
    const char* lf = held > 0 ? static_cast<const char*>(std::memchr(bytes, LF, static_cast<size_t>(held)))
                              : nullptr;
    if (lf != nullptr) {
        int n = static_cast<int>(lf - bytes);
        if (holdsNoNul(bytes, n, held)) return takeLine(bytes, n, text, length);
    }
    // Lines across blocks, with NUL bytes, or from an unbuffered stream.
    JString line;
    int consumed = readLine(line);
    *length = line.length();
    *text = keepLineText(line.data, *length);
    return consumed;
}

int JStreamTokenizer::readLineText(const char** text, int* length) {
    const char* view;
    int consumed = readLineView(&view, length);
    *text = view == lineText ? lineText : keepLineText(view, *length);
    return consumed;
}

int JStreamTokenizer::nextInt() {
    int n = peekFieldLength();
    if (n < 0) return 0;
    char* buffer = new char[n + 1];
    readField(buffer);
    const char* p = buffer;
    while (isConversionBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    uint32_t value = 0;  // wraps on overflow instead of being undefined
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
    delete[] buffer;
    if (negative) value = 0u - value;
    return static_cast<int>(value);
}

int JStreamTokenizer::skipField() {
    int any = 0;
    char c;
    while (readOne(&c)) {
        ++position;
        any = 1;
        if (isFieldDelimiter(c)) {
            if (c == CR) skipLineFeed();
            break;
        }
    }
    return any;
}

int JStreamTokenizer::skipLine() {
    int any = 0;
    char c;
    while (readOne(&c)) {
        ++position;
        any = 1;
        if (c == LF) break;
    }
    return any;
}

int JStreamTokenizer::nextIsNumber() {
    int n = peekFieldLength();
    if (n <= 0) return 0;
    char c;
    for (int i = 0; i < n; ++i) {
        if (!readOne(&c) || c < '0' || c > '9') {
            rewind();
            return 0;
        }
    }
    rewind();
    return 1;
}
