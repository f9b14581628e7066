#include "lineprocessor.h"

#include <cstring>

#include "encoder.h"

namespace {

const char lineEnd[] = "\r\n";
constexpr int shortLine = 254;  // longest line copied with one write

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// ASCII lower case (letters only, as JString::toLower), by table.
struct LowerCase {
    char of[256];
    constexpr LowerCase() : of() {
        for (int c = 0; c < 256; ++c) of[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
};
constexpr LowerCase lowerCase;

char asciiLower(char c) { return lowerCase.of[static_cast<unsigned char>(c)]; }

// Bytes that stop the mnemonic scan: the end of the line, a blank, or a ';'
// (which makes the line a comment). One table look-up per byte.
struct MnemonicStops {
    bool stops[256];
    constexpr MnemonicStops() : stops() {
        stops[0] = stops[static_cast<unsigned char>(' ')] = stops[static_cast<unsigned char>('\t')] = true;
        stops[static_cast<unsigned char>(';')] = true;
    }
};
constexpr MnemonicStops mnemonicStops;

bool endsMnemonic(char c) { return mnemonicStops.stops[static_cast<unsigned char>(c)]; }

// Scans the mnemonic from the start of the line. Returns its length (0 when
// the line holds only blanks) and its start in *start, or -1 when a ';' comes
// before the mnemonic is complete (the line is a comment).
int scanMnemonic(const char* text, int* start) {
    int i = 0;
    while (isBlank(text[i])) ++i;
    *start = i;
    while (!endsMnemonic(text[i])) ++i;
    if (text[i] == ';') return -1;
    return i - *start;
}

// What a byte means to the operand scan, by table.
enum class OperandByte : unsigned char { plain, separator, open, close, semicolon, end };

struct OperandBytes {
    OperandByte of[256];
    constexpr OperandBytes() : of() {
        of[0] = OperandByte::end;
        of[static_cast<unsigned char>(' ')] = of[static_cast<unsigned char>('\t')] = OperandByte::separator;
        of[static_cast<unsigned char>(',')] = OperandByte::separator;
        of[static_cast<unsigned char>('[')] = OperandByte::open;
        of[static_cast<unsigned char>(']')] = OperandByte::close;
        of[static_cast<unsigned char>(';')] = OperandByte::semicolon;
    }
};
constexpr OperandBytes operandBytes;

OperandByte operandByteOf(char c) { return operandBytes.of[static_cast<unsigned char>(c)]; }

// Bytes [start, stop) of the line.
struct Span {
    int start;
    int stop;
};

// Splits the operands that follow the mnemonic. The first operand ends at a
// blank or ',' outside brackets, the second also at ';'. A ';' outside
// brackets ends the operands wherever it stands, so a commented-out second
// operand is never taken. Text after the second operand (other than blanks
// and a comment) is kept in it, which makes it unreadable: a line with more
// than two operands is copied, not encoded as if it had two.
class OperandSplitter {
public:
    explicit OperandSplitter(const char* text) : text(text), commentSeen(false) {}

    void split(int from, Span& op1, Span& op2) {
        op1 = op2 = Span{from, from};
        int i = scan(from, op1);
        if (commentSeen) return;
        int end = scan(i, op2);
        if (commentSeen || op2.stop == op2.start) return;
        int rest = end;
        while (isBlank(text[rest])) ++rest;
        if (text[rest] == '\0' || text[rest] == ';') return;
        op2.stop = lastOperandByte(rest);
    }

private:
    const char* text;
    bool commentSeen;

    static bool isSeparator(char c) { return isBlank(c) || c == ','; }

    // One operand from position i; returns where the scan stopped.
    int scan(int i, Span& op) {
        while (isSeparator(text[i])) ++i;
        int start = i;
        bool inBrackets = false;
        for (;; ++i) {
            OperandByte kind = operandByteOf(text[i]);
            if (kind == OperandByte::plain) continue;  // most bytes: one look-up
            if (kind == OperandByte::end) break;
            if (kind == OperandByte::open) {
                inBrackets = true;
            } else if (kind == OperandByte::close) {
                inBrackets = false;
            } else if (!inBrackets) {  // ';' or a separator outside brackets
                if (kind == OperandByte::semicolon) commentSeen = true;
                break;
            }
        }
        op = Span{start, i};
        return i;
    }

    // End (exclusive) of the operand text that starts before `from`: up to a
    // ';' outside brackets or the end of the line, trailing blanks dropped.
    int lastOperandByte(int from) {
        bool inBrackets = false;
        int i = from;
        for (; text[i] != '\0'; ++i) {
            if (text[i] == '[') inBrackets = true;
            else if (text[i] == ']') inBrackets = false;
            else if (text[i] == ';' && !inBrackets) break;
        }
        while (i > from && isBlank(text[i - 1])) --i;
        return i;
    }
};

struct Operands {
    Span first;
    Span second;
};

Operands splitOperands(const char* text, int from) {
    Operands ops;
    OperandSplitter(text).split(from, ops.first, ops.second);
    return ops;
}

// Fills the encoder's strings for a line whose mnemonic has definitions:
// the line itself and its operands, split once, lower-cased.
void fillCandidate(JLineStrings& strings, const char* text, int n, int operandsFrom) {
    Operands ops = splitOperands(text, operandsFrom);
    strings.line.set(text, n, false);
    strings.op1.set(text + ops.first.start, ops.first.stop - ops.first.start, true);
    strings.op2.set(text + ops.second.start, ops.second.stop - ops.second.start, true);
}

// Writes the line as it was read, then CR LF. 1 when both went out whole.
// A short line goes out with its CR LF in one write.
int copyLine(JStream* dst, const char* text, int n) {
    char joined[shortLine + 2];
    if (n <= shortLine) {
        std::memcpy(joined, text, static_cast<size_t>(n));
        joined[n] = '\r';
        joined[n + 1] = '\n';
        return dst->write(joined, n + 2) == n + 2 ? 1 : -1;
    }
    if (dst->write(text, n) != n) return -1;
    return dst->write(lineEnd, 2) == 2 ? 1 : -1;
}

// The definitions named by the mnemonic, found through the index; a line
// whose mnemonic has none costs one lookup and no allocation.
int encodeWithIndex(JStream* dst, const char* text, int n, int start, int length, JLineContext* context) {
    const JMnemonicIndex::Entry* entry = context->index.find(text + start, length);
    if (entry == nullptr) return copyLine(dst, text, n);
    JLineStrings& strings = context->strings;
    fillCandidate(strings, text, n, start + length);
    for (; entry != nullptr; entry = entry->nextSame) {
        int written = encodeInstruction(dst, strings.line.text, entry->record, strings.op1.text, strings.op2.text);
        if (written != 0) return written;
    }
    return copyLine(dst, text, n);
}

}  // namespace


void JReusedString::set(const char* bytes, int n, bool lower) {
    if (n + 1 > capacity) {
        capacity = n + 1 > 128 ? n + 1 : 128;
        text.allocate(capacity);
    }
    if (lower) {
        for (int k = 0; k < n; ++k) text.data[k] = asciiLower(bytes[k]);
    } else {
        std::memcpy(text.data, bytes, static_cast<size_t>(n));
    }
    text.data[n] = '\0';
}

int processLine(JStream* dst, JStreamTokenizer* src, JMMXSet* table, JLineContext* context) {
    const char* text;
    int n;
    if (src->readLineText(&text, &n) == 0) return 0;
    if (n == 0) return dst->write(lineEnd, 2) == 2 ? 1 : -1;

    int start = 0;
    int length = scanMnemonic(text, &start);
    if (length <= 0) return copyLine(dst, text, n);  // a comment, or only blanks
    if (context != nullptr) return encodeWithIndex(dst, text, n, start, length, context);

    JString mnemonic(length + 1);
    for (int k = 0; k < length; ++k) mnemonic.data[k] = text[start + k];
    mnemonic.data[length] = '\0';
    mnemonic.toLower();

    JMMXSet* def = table->nextRecord();
    while (def != table && !def->mnemonic.equals(mnemonic)) def = def->nextRecord();
    if (def == table) return copyLine(dst, text, n);
    JLineStrings strings;
    fillCandidate(strings, text, n, start + length);
    for (; def != table; def = def->nextRecord()) {
        if (!def->mnemonic.equals(mnemonic)) continue;
        int written = encodeInstruction(dst, strings.line.text, def, strings.op1.text, strings.op2.text);
        if (written != 0) return written;
    }
    return copyLine(dst, text, n);
}
