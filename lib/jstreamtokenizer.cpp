#include "jstreamtokenizer.h"

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr int linePiece = 255;  // bytes appended to the line at a time

bool isFieldDelimiter(char c) { return c == ',' || c == '\t' || c == CR || c == LF; }

bool isConversionBlank(char c) {
    return c == ' ' || c == '\t' || c == LF || c == '\v' || c == '\f' || c == CR;
}

}  // namespace

JStreamTokenizer::JStreamTokenizer() : stream(nullptr), position(0) {}

JStreamTokenizer::~JStreamTokenizer() {}

void JStreamTokenizer::setStream(JStream* s) {
    stream = s;
    if (stream != nullptr) stream->seek(0, 0);
    position = 0;
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
    int n = peekFieldLength();
    if (n < 0) return 0;
    field.allocate(n + 1);
    readField(field.data);
    field.data[n] = '\0';
    return 1;
}

int JStreamTokenizer::readLine(JString& line) {
    line.allocate(1);
    line.data[0] = '\0';
    char work[linePiece + 1];
    int index = 0;
    int consumed = 0;
    bool heldCR = false;  // a CR that ended a full piece, not yet appended
    char c;
    while (readOne(&c)) {
        ++position;
        ++consumed;
        if (c == LF) break;
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
    if (index > 0 && work[index - 1] == CR) --index;
    work[index] = '\0';
    if (index > 0) line.append(work);
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
