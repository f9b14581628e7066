#include "lineprocessor.h"

#include <climits>
#include <cstring>
#include <initializer_list>

#include "encoder.h"
#include "jasciicase.h"
#include "operand.h"

namespace {

const char lineEnd[] = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Bytes that stop the mnemonic scan: a blank, a ';' (which makes the line a
// comment) and the bytes that can follow a line's text (CR, LF, NUL). One
// table look-up per byte.
struct MnemonicStops {
    bool stops[256];
    constexpr MnemonicStops() : stops() {
        for (const char c : {' ', '\t', ';', '\r', '\n', '\0'}) stops[static_cast<unsigned char>(c)] = true;
    }
};
constexpr MnemonicStops mnemonicStops;

bool endsMnemonic(char c) { return mnemonicStops.stops[static_cast<unsigned char>(c)]; }

// Length of the word at first, which lies in a line ending at end (followed
// by a CR, LF or NUL); 0 when the line holds nothing more, or when a ';'
// comes before the word is complete (the line is a comment).
int wordLength(const char* first, const char* end) {
    const char* p = first;
    for (;;) {
        while (!endsMnemonic(*p)) ++p;
        if (p == end || *p != '\r') break;
        ++p;  // a CR inside the line is part of the word
    }
    if (p < end && *p == ';') return 0;
    return static_cast<int>(p - first);
}

// What each byte of a mnemonic is in an index key: itself lower-cased, or
// 0 for the bytes that stop the mnemonic scan. One look-up per byte.
struct KeyBytes {
    char of[256];
    constexpr KeyBytes() : of() {
        for (int c = 0; c < 256; ++c) of[c] = mnemonicStops.stops[c] ? '\0' : asciiLowerCase.of[c];
    }
};
constexpr KeyBytes keyBytes;

char keyByteOf(char c) { return keyBytes.of[static_cast<unsigned char>(c)]; }

// wordLength that also makes the word into an index key as it scans, so
// the word is read once: lower-cased, zero-padded. A word too long for a
// key is measured by wordLength; then the key holds nothing of use.
[[gnu::always_inline]] inline int wordLength(const char* first, const char* end, JMnemonicIndex::Key* key) {
    constexpr int keySize = JMnemonicIndex::keySize;
    *key = JMnemonicIndex::Key{};
    int i = 0;
    for (;;) {
        for (char k; i < keySize && (k = keyByteOf(first[i])) != '\0'; ++i) key->bytes[i] = k;
        if (i == keySize) return wordLength(first, end);
        if (first + i == end || first[i] != '\r') break;
        key->bytes[i++] = '\r';  // a CR inside the line is part of the word
    }
    if (first + i < end && first[i] == ';') return 0;
    return i;
}

[[gnu::always_inline]] inline const char* skipBlanks(const char* p) {
    while (isBlank(*p)) ++p;
    return p;
}

// What a byte means to the operand scan, by table. A CR may end the line's
// text or stand inside it; the scan tells which by the position.
enum class OperandByte : unsigned char { plain, separator, open, close, semicolon, lineEnd };

struct OperandBytes {
    OperandByte of[256];
    constexpr OperandBytes() : of() {
        of[static_cast<unsigned char>(' ')] = of[static_cast<unsigned char>('\t')] = OperandByte::separator;
        of[static_cast<unsigned char>(',')] = OperandByte::separator;
        of[static_cast<unsigned char>('[')] = OperandByte::open;
        of[static_cast<unsigned char>(']')] = OperandByte::close;
        of[static_cast<unsigned char>(';')] = OperandByte::semicolon;
        for (const char c : {'\r', '\n', '\0'}) of[static_cast<unsigned char>(c)] = OperandByte::lineEnd;
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
// operand is never taken. A ',' after the second operand starts the third,
// which runs to a ';' outside brackets or the end of the line. Other text
// after the second operand (not blanks or a comment) is kept in it, which
// makes it unreadable: such a line is copied, not encoded as if it had two.
class OperandSplitter {
public:
    OperandSplitter(const char* text, int n) : text(text), n(n), commentSeen(false) {}

    [[gnu::always_inline]] void split(int from, Span& op1, Span& op2, Span& op3) {
        op1 = op2 = op3 = Span{from, from};
        int i = scan(from, op1);
        if (commentSeen) return;
        int end = scan(i, op2);
        if (commentSeen || op2.stop == op2.start) return;
        int rest = end;
        while (isBlank(text[rest])) ++rest;
        if (rest == n || text[rest] == ';') return;
        if (text[rest] == ',') {  // a third operand, unless nothing follows the comma
            int third = rest + 1;
            while (isBlank(text[third])) ++third;
            op3 = Span{third, lastOperandByte(third)};
            if (op3.stop > op3.start) return;
        }
        op2.stop = lastOperandByte(rest);
    }

private:
    const char* text;
    int n;  // the line's length; text[n] is a CR, LF or NUL
    bool commentSeen;

    static bool isSeparator(char c) { return operandByteOf(c) == OperandByte::separator; }

    // One operand from position i; returns where the scan stopped.
    [[gnu::always_inline]] int scan(int from, Span& op) {
        const char* p = text + from;
        while (isSeparator(*p)) ++p;
        const char* start = p;
        const char* end = text + n;
        bool inBrackets = false;
        for (;; ++p) {
            OperandByte kind = operandByteOf(*p);
            if (kind == OperandByte::plain) continue;  // most bytes: one look-up
            if (kind == OperandByte::lineEnd) {
                if (p == end) break;
                continue;  // a CR inside the line
            }
            if (kind == OperandByte::open) {
                inBrackets = true;
            } else if (kind == OperandByte::close) {
                inBrackets = false;
            } else if (!inBrackets) {  // ';' or a separator outside brackets
                if (kind == OperandByte::semicolon) commentSeen = true;
                if (kind == OperandByte::semicolon || *p == ',' || !mayEndMemoryPrefixWord(p[-1]) ||
                    !goesOnToBracket(start, p))
                    break;
                while (isBlank(p[1])) ++p;
            }
        }
        op = Span{static_cast<int>(start - text), static_cast<int>(p - text)};
        return op.stop;
    }

    // The last byte of a size keyword, "ptr" or a segment override ("es:"):
    // most operands end otherwise, and need no closer look.
    static bool mayEndMemoryPrefixWord(char c) {
        c = asciiLowered(c);
        return c == 'd' || c == 'e' || c == 'r' || c == ':';
    }

    // The words before a memory operand's bracket belong to it, blanks and
    // all ("qword ptr es:[edi]"): true when the word that ends at p is one.
    // The words before it passed this test at their own blanks, and a blank
    // after a closing bracket always ends the operand, so only the last word
    // needs a look and the scan stays linear in the line's length.
    [[gnu::noinline]] static bool goesOnToBracket(const char* start, const char* p) {
        const char* word = p;
        while (word > start && !isBlank(word[-1])) --word;
        return isMemoryPrefixWord(word, static_cast<int>(p - word));
    }

    // End (exclusive) of the operand text that starts before `from`: up to a
    // ';' outside brackets or the end of the line, trailing blanks dropped.
    int lastOperandByte(int from) {
        bool inBrackets = false;
        int i = from;
        for (; i < n; ++i) {
            if (text[i] == '[') inBrackets = true;
            else if (text[i] == ']') inBrackets = false;
            else if (text[i] == ';' && !inBrackets) break;
        }
        while (i > from && isBlank(text[i - 1])) --i;
        return i;
    }
};

// Splits the operands of text[0..n) that follow the mnemonic and
// classifies them for the encoder, where they stand.
[[gnu::always_inline]] inline SourceInstruction candidateOf(const char* text, int n, int operandsFrom) {
    Span first, second, third;
    OperandSplitter(text, n).split(operandsFrom, first, second, third);
    return sourceInstruction(text, n, text + first.start, first.stop - first.start, text + second.start,
                             second.stop - second.start, text + third.start, third.stop - third.start);
}

// The line and CR LF by two writes, for a destination that offers no room.
[[gnu::noinline]] int copyLineByWrites(JStream* dst, const char* text, int n) {
    if (dst->write(text, n) != n) return -1;
    return dst->write(lineEnd, 2) == 2 ? 1 : -1;
}

// Writes the line as it was read, then CR LF. 1 when both went out whole.
// Where the destination offers room, the line is built there in one piece.
inline int copyLine(JStream* dst, const char* text, int n) {
    char* out = n <= INT_MAX - 2 ? dst->claim(n + 2) : nullptr;
    if (out == nullptr) return copyLineByWrites(dst, text, n);
    std::memcpy(out, text, static_cast<size_t>(n));
    out[n] = '\r';
    out[n + 1] = '\n';
    return 1;
}

// A candidate line no record fits as written, or (with the left lines
// reported) a line whose first word is a label with more after it.
constexpr int notEncoded = 2;
// A line that needs the names read before the next one (an include, a
// conditional, a code size other than 32 bits): copied, then they are.
constexpr int learnAfter = 3;

// The first word ends in ':' and something other than a comment follows.
bool labelThenMore(const char* first, const char* end) {
    const char* p = first;
    while (!endsMnemonic(*p)) ++p;
    if (p == first || p[-1] != ':') return false;
    p = skipBlanks(p);
    return p < end && *p != ';';
}

// A line whose first word is no mnemonic is copied, but for a label that
// may stand before one, when such lines are reported.
inline int copyOther(JStream* dst, const char* text, int n, const char* first, const JLineContext* context) {
    if (context->named.names.state() == JSourceNames::unread && JSourceNames::needsLearning(text, first, n))
        return learnAfter;
    if (context->left != nullptr && labelThenMore(first, text + n)) return notEncoded;
    return copyLine(dst, text, n);
}

// The definitions named by the mnemonic, found through the index; a line
// whose mnemonic has none costs one lookup and no allocation, and a line
// whose first word cannot start a mnemonic (most labels, comments and
// ordinary instructions) is copied before the word is even scanned.
int encodeWithIndex(JStream* dst, const char* text, int n, JLineContext* context) {
    const char* first = skipBlanks(text);
    if (!context->index.mayStart(*first)) return copyOther(dst, text, n, first, context);
    int start = static_cast<int>(first - text);
    JMnemonicIndex::Key key;
    int length = wordLength(first, text + n, &key);
    if (length == 0) return copyLine(dst, text, n);  // a comment, or only blanks
    const JMnemonicIndex::Entry* entry = length < JMnemonicIndex::keySize ? context->index.findKey(key, length)
                                                                          : context->index.find(first, length);
    if (entry == nullptr) return copyOther(dst, text, n, first, context);
    SourceInstruction source = candidateOf(text, n, start + length);
    if (context->named.names.codeBits() != 32 && (source.first.kind == kindMemory || source.second.kind == kindMemory))
        return notEncoded;  // the address would need other bytes
    for (const JMnemonicIndex::Entry* e = entry; e != nullptr; e = e->nextSame) {
        int written = encodeSource(dst, source, context->definitions[e->number]);
        if (written != 0) {
            context->encodedLines += written > 0;
            return written;
        }
    }
    return notEncoded;
}

// A candidate line no record fitted as written: read again, with names and
// MASM's spellings, else copied, and reported with its reason. A label
// that stands before a mnemonic is reported too.
[[gnu::noinline]] int encodeNamedOrCopy(JStream* dst, JStreamTokenizer* src, const char* text, int n,
                                        JLineContext* context) {
    const char* first = skipBlanks(text);
    JMnemonicIndex::Key key;
    const int length = wordLength(first, text + n, &key);
    const JMnemonicIndex::Entry* entry = context->index.find(first, length);
    if (entry == nullptr) {
        if (context->left != nullptr && labelBeforeMnemonic(text, n, context->index))
            context->left->add(src->position, LeftReason::labelFirst, nullptr, 0, text, n);
        return copyLine(dst, text, n);
    }
    const SourceInstruction source = candidateOf(text, n, static_cast<int>(first - text) + length);
    const JNamedLines::Spans spans = {{static_cast<int>(source.op1 - text), static_cast<int>(source.op2 - text),
                                       static_cast<int>(source.op3 - text)},
                                      {source.op1Length, source.op2Length, source.op3Length}};
    int written = context->named.encode(dst, src, text, n, spans, entry, context->definitions.get());
    if (written != 0) {
        context->encodedLines += written > 0;
        return written;
    }
    if (context->left != nullptr) {
        const char* detail;
        int detailLength;
        const OperandSpans operands = {{spans.at[0], spans.at[1], spans.at[2]},
                                       {spans.length[0], spans.length[1], spans.length[2]}};
        LeftReason reason = whyLeft(text, n, operands, entry, context->definitions.get(), context->named.names,
                                    &detail, &detailLength);
        context->left->add(src->position, reason, detail, detailLength, text, n);
    }
    return copyLine(dst, text, n);
}

}  // namespace

JLineContext::JLineContext(JMMXSet* table)
    : index(table), definitions(new Definition[index.recordCount() > 0 ? index.recordCount() : 1]) {
    int n = 0;
    for (JMMXSet* r = table->nextRecord(); r != table; r = r->nextRecord()) definitions[n++] = definitionOf(r);
}

namespace {

// processLine for callers without a context: they pay for an index per
// line, and see no names.
[[gnu::noinline]] int processLineOnce(JStream* dst, JStreamTokenizer* src, JMMXSet* table, const char* text, int n) {
    JLineContext once(table);
    once.named.names.giveUp();
    if (n == 0) return dst->write(lineEnd, 2) == 2 ? 1 : -1;
    int written = encodeWithIndex(dst, text, n, &once);
    return written != notEncoded ? written : encodeNamedOrCopy(dst, src, text, n, &once);
}

// A line that needs the names known from the next line on: copied, then
// the names are read.
[[gnu::noinline]] int copyThenLearn(JStream* dst, JStreamTokenizer* src, const char* text, int n, JSourceNames& names) {
    int written = copyLine(dst, text, n);
    if (written > 0) names.learn(src->stream, src->position);
    return written;
}

}  // namespace

int processLine(JStream* dst, JStreamTokenizer* src, JMMXSet* table, JLineContext* context) {
    const char* text;
    int n;
    if (src->readLineView(&text, &n) == 0) return 0;
    if (context == nullptr) return processLineOnce(dst, src, table, text, n);
    // Once the names are known, every line passes them on its way: what it
    // defines counts from there on, what it includes is read. (An
    // instruction line defines nothing.) A line the assembler skips is
    // copied.
    JSourceNames& names = context->named.names;
    if (names.state() == JSourceNames::ready) {
        names.pass(text, n);
        if (names.skipping()) return copyLine(dst, text, n);
    }
    if (n == 0) return dst->write(lineEnd, 2) == 2 ? 1 : -1;
    int written = encodeWithIndex(dst, text, n, context);
    if (written == learnAfter) return copyThenLearn(dst, src, text, n, names);
    return written != notEncoded ? written : encodeNamedOrCopy(dst, src, text, n, context);
}
