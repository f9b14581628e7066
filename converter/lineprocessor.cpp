#include "lineprocessor.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "encoder.h"
#include "jasciicase.h"
#include "jlinecopy.h"
#include "operand.h"
#include "words.h"

namespace {

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

// Eight bytes of a line as one 64-bit word, so that a word's bytes are
// measured and lower-cased together.
namespace lineWords {
constexpr uint64_t ones = 0x0101010101010101u;
constexpr uint64_t highs = 0x8080808080808080u;

uint64_t load(const char* p) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    return x;
}
// The high bit of the bytes of x below c (at most 0x80); exact for the
// first such byte, which is all the scan asks.
uint64_t bytesBelow(uint64_t x, unsigned char c) { return (x - ones * c) & ~x & highs; }
// x with its bytes 'A'..'Z' lower-cased.
uint64_t lowered(uint64_t x) {
    const uint64_t low7 = x & ~highs;
    const uint64_t fromA = low7 + ones * (0x80 - 'A');
    const uint64_t pastZ = low7 + ones * (0x80 - 'Z' - 1);
    return x | (((fromA ^ pastZ) & ~x & highs) >> 2);
}
// The place of the first byte whose high bit is set in mask (not 0).
int firstByte(uint64_t mask) { return __builtin_ctzll(mask) / 8; }
// x's bytes before place k (0..7), the others 0.
uint64_t bytesBefore(uint64_t x, int k) { return x & ((uint64_t{1} << (8 * k)) - 1); }
}  // namespace lineWords

// Every byte that stops the mnemonic scan lies below this one. A word of
// letters ends at its first byte below it.
constexpr unsigned char pastStops = ';' + 1;

// wordLength that also makes the word into an index key as it scans, so
// the word is read once: lower-cased, zero-padded. A word too long for a
// key is measured by wordLength; then the key holds nothing of use. The
// usual word (letters, then a blank) is read as one or two 64-bit words
// where the line holds them; others byte by byte.
[[gnu::always_inline]] inline int wordLength(const char* first, const char* end, JMnemonicIndex::Key* key) {
    constexpr int keySize = JMnemonicIndex::keySize;
    if (end - first >= 8) {  // first[0..7] lie in the line or are its end
        using namespace lineWords;
        const uint64_t head = load(first);
        uint64_t below = bytesBelow(head, pastStops);
        uint64_t words[2] = {lowered(head), 0};
        int length = -1;  // no end among the bytes read: the byte loop decides
        if (below != 0) {
            length = firstByte(below);
            words[0] = bytesBefore(words[0], length);
        } else if (end - first >= 16) {
            const uint64_t tail = load(first + 8);
            below = bytesBelow(tail, pastStops);
            if (below != 0) {
                length = 8 + firstByte(below);
                words[1] = bytesBefore(lowered(tail), length - 8);
            }
        }
        // A byte below the stops that is none (a digit, ':') or a CR inside
        // the line leaves the word to the byte loop.
        const char stop = length >= 0 ? first[length] : '\0';
        if (length >= 0 && endsMnemonic(stop) && (stop != '\r' || first + length == end)) {
            std::memcpy(key->bytes, words, sizeof words);
            return stop == ';' ? 0 : length;
        }
    }
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
    static bool isPlain(char c) { return operandByteOf(c) == OperandByte::plain; }

    // One operand from position i; returns where the scan stopped.
    [[gnu::always_inline]] int scan(int from, Span& op) {
        const char* p = text + from;
        while (isSeparator(*p)) ++p;
        const char* start = p;
        const char* end = text + n;
        // The usual operand, a register (or a short number), ends at a ','
        // or the line's end: three plain bytes, then one of those, read at
        // once. (Each byte read is in the line or its end: the one before
        // it is plain.)
        if (isPlain(p[0]) && isPlain(p[1]) && isPlain(p[2]) && (p[3] == ',' || p + 3 == end)) {
            op = Span{static_cast<int>(start - text), static_cast<int>(start - text) + 3};
            return op.stop;
        }
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

// The line and its end by two writes, for a destination that offers no room.
[[gnu::noinline]] int copyLineByWrites(JStream* dst, const char* text, int n, const LineEnds& ends) {
    if (dst->write(text, n) != n) return -1;
    return dst->write(ends.last, ends.lastLength) == ends.lastLength ? 1 : -1;
}

// Writes the line as it was read, then its end (CR LF unless line ends are
// kept). 1 when both went out whole. Where the destination offers room,
// the line is built there in one piece.
inline int copyLine(JStream* dst, const char* text, int n, const LineEnds& ends) {
    const int total = n + ends.lastLength;
    char* out = n <= INT_MAX - 2 ? dst->claim(total) : nullptr;
    if (out == nullptr) return copyLineByWrites(dst, text, n, ends);
    copyLineBytes(out, text, static_cast<size_t>(n));
    if (ends.lastLength == 2 && ends.last[0] == '\r') {  // CR LF, as most lines end
        out[n] = '\r';
        out[n + 1] = '\n';
    } else {
        std::memcpy(out + n, ends.last, static_cast<size_t>(ends.lastLength));
    }
    return 1;
}

// A candidate line no record fits as written, or a line whose first word
// may be a label before a mnemonic.
constexpr int notEncoded = 2;
// A line that needs the names read before the next one (an include, a
// conditional, a code size other than 32 bits): copied, then they are.
constexpr int learnAfter = 3;

// A mnemonic of the index is the word at p. (Out of the line loop's way:
// few lines ask.)
[[gnu::noinline]] bool mnemonicAt(const char* p, const char* end, const JMnemonicIndex& index) {
    if (!index.mayStart(*p)) return false;
    int length = wordLength(p, end);
    return length > 0 && index.find(p, length) != nullptr;
}

// The first word ends in ':' and something other than a comment follows;
// or, where left lines are told, a word stands at the start of the line (as
// labels do, instructions being indented) and a mnemonic after it.
// `wordEnd`, when known, is where the first word ends.
inline bool mayBeLabelled(const char* text, const char* first, const char* wordEnd, const char* end,
                          const JLineContext* context) {
    const char* p = wordEnd;
    if (p == nullptr)
        for (p = first; !endsMnemonic(*p); ++p) {
        }
    if (p == first) return false;
    const bool colon = p[-1] == ':';
    if (!colon && (context->left == nullptr || first != text)) return false;
    p = skipBlanks(p);
    if (p == end || *p == ';') return false;
    return colon || mnemonicAt(p, end, context->index);
}

// A line whose first word is no mnemonic is copied, but for one that may
// have a label before its mnemonic.
inline int copyOther(JStream* dst, const char* text, int n, const char* first, const JLineContext* context,
                     const char* wordEnd = nullptr) {
    if (context->named.names.state() == JSourceNames::unread && JSourceNames::needsLearning(text, first, n))
        return learnAfter;
    if (mayBeLabelled(text, first, wordEnd, text + n, context)) return notEncoded;
    return copyLine(dst, text, n, context->ends);
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
    if (length == 0) return copyLine(dst, text, n, context->ends);  // a comment, or only blanks
    const JMnemonicIndex::Entry* entry = length < JMnemonicIndex::keySize ? context->index.findKey(key, length)
                                                                          : context->index.find(first, length);
    if (entry == nullptr) return copyOther(dst, text, n, first, context, first + length);
    SourceInstruction source = candidateOf(text, n, start + length);
    source.ends = &context->ends;
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

// Words that stand first on a line and name something after them, so that
// the name is no mnemonic in an instruction's place.
constexpr const char* namingWords[] = {"extern", "extrn", "externdef", "global", "public", "common", "call", "jmp"};

// A label before the mnemonic: where the mnemonic starts, and whether the
// label ends in ':' and is one every assembler takes there (a name, or
// digits as GNU's local labels).
struct Label {
    int mnemonicAt;
    int at;      // where the label starts
    int length;  // the line up to the label's end: blanks before it, the label and its colons
    bool colon;
    bool usable;
};

// The line's first word is a label and its second a mnemonic of the index.
bool labelBeforeMnemonic(const char* text, int n, const JMnemonicIndex& index, Label* label) {
    const char* end = text + n;
    const char* word = skipBlanks(text);
    const char* p = word;
    while (p < end && !isBlank(*p) && *p != ';') ++p;
    if (p == word || p == end) return false;
    const char* mnemonic = skipBlanks(p);
    const char* q = mnemonic;
    while (q < end && !isBlank(*q) && *q != ';') ++q;
    if (q == mnemonic || index.find(mnemonic, static_cast<int>(q - mnemonic)) == nullptr) return false;
    int colons = 0;
    while (colons < 2 && p - colons > word && p[-1 - colons] == ':') ++colons;
    const int k = static_cast<int>(p - word) - colons;
    const bool name = k > 0 && nameLength(word, k) == k && !isAnyRegister(word, k);
    bool digits = k > 0;
    for (int i = 0; i < k; ++i) digits = digits && word[i] >= '0' && word[i] <= '9';
    if (colons == 0) {
        for (const char* w : namingWords)
            if (sameWordFolded(word, k, w)) return false;
        if (!name) return false;
    }
    *label = Label{static_cast<int>(mnemonic - text), static_cast<int>(word - text), static_cast<int>(p - text),
                   colons > 0, colons > 0 && (name || digits)};
    return true;
}

// The second try at a candidate: the records of its mnemonic with names
// and MASM's spellings (which read whatever the plain readers do, so a
// labelled line, which the line loop passed by, needs no other try).
int encodeCandidate(JStream* dst, JStreamTokenizer* src, const char*& text, int n, int start, int labelLength,
                    const JMnemonicIndex::Entry* entry, int length, JLineContext* context, SourceInstruction* source) {
    *source = candidateOf(text, n, start + length);
    const char* before = text;
    const JNamedLines::Spans spans = {{static_cast<int>(source->op1 - text), static_cast<int>(source->op2 - text),
                                       static_cast<int>(source->op3 - text)},
                                      {source->op1Length, source->op2Length, source->op3Length}};
    int written = context->named.encode(dst, src, text, n, labelLength, context->ends, spans, entry,
                                        context->definitions.get());
    if (text != before) {  // the line moved to a copy: its operands with it
        source->line = text;
        source->op1 = text + (source->op1 - before);
        source->op2 = text + (source->op2 - before);
        source->op3 = text + (source->op3 - before);
    }
    return written;
}

// A candidate line no record fitted as written: read again, with names and
// MASM's spellings, else copied, and reported with its reason. A line
// whose label stands before its mnemonic is encoded with the label kept in
// front, when it ends in ':' (a name without one would make a data label
// in MASM).
[[gnu::noinline]] int encodeNamedOrCopy(JStream* dst, JStreamTokenizer* src, const char* text, int n,
                                        JLineContext* context) {
    int start = static_cast<int>(skipBlanks(text) - text);
    Label label = {start, start, 0, false, true};
    JMnemonicIndex::Key key;
    int length = wordLength(text + start, text + n, &key);
    const JMnemonicIndex::Entry* entry = context->index.find(text + start, length);
    if (entry == nullptr) {
        if (!labelBeforeMnemonic(text, n, context->index, &label)) return copyLine(dst, text, n, context->ends);
        start = label.mnemonicAt;
        length = wordLength(text + start, text + n, &key);
        entry = context->index.find(text + start, length);
    }
    SourceInstruction source;
    if (label.usable) {
        int written = encodeCandidate(dst, src, text, n, start, label.length, entry, length, context, &source);
        if (written != 0) {
            context->encodedLines += written > 0;
            return written;
        }
    }
    if (context->left != nullptr) {
        const char* detail = text + label.at;
        int detailLength = label.length - label.at;
        LeftReason reason = label.colon ? LeftReason::labelFirst : LeftReason::labelWithoutColon;
        if (label.usable) {
            const OperandSpans operands = {{static_cast<int>(source.op1 - text), static_cast<int>(source.op2 - text),
                                            static_cast<int>(source.op3 - text)},
                                           {source.op1Length, source.op2Length, source.op3Length}};
            reason = whyLeft(text, n, operands, entry, context->definitions.get(), context->named.names, &detail,
                             &detailLength);
        }
        context->left->add(src->position, reason, detail, detailLength, text, n);
    }
    return copyLine(dst, text, n, context->ends);
}

}  // namespace

JLineContext::JLineContext(JMMXSet* table)
    : index(table), definitions(new Definition[index.recordCount() > 0 ? index.recordCount() : 1]) {
    int n = 0;
    for (JMMXSet* r = table->nextRecord(); r != table; r = r->nextRecord()) definitions[n++] = definitionOf(r);
}

namespace {

// processLine for callers without a context: they pay for an index per
// line, and see no names; every line ends in CR LF.
[[gnu::noinline]] int processLineOnce(JStream* dst, JStreamTokenizer* src, JMMXSet* table, const char* text, int n) {
    JLineContext once(table);
    once.named.names.giveUp();
    if (n == 0) return dst->write("\r\n", 2) == 2 ? 1 : -1;
    int written = encodeWithIndex(dst, text, n, &once);
    return written != notEncoded ? written : encodeNamedOrCopy(dst, src, text, n, &once);
}

// The line just read ends as it did in the source: `length` bytes after
// its text, an LF among them or not. The lines written between the lines
// of one source line (a db line, its dd line) take the last end met.
[[gnu::noinline]] void keepLineEnd(JLineContext* context, int length, bool lineFeed) {
    const char* end = length == 2 ? "\r\n" : length == 0 ? "" : lineFeed ? "\n" : "\r";
    LineEnds& ends = context->ends;
    ends.last = end;
    ends.lastLength = length;
    if (length == 0) return;
    ends.inner = end;
    ends.innerLength = length;
}

// A UTF-8 byte order mark: kept in front of the first line, which is read
// without it.
[[gnu::noinline]] bool skippedByteOrderMark(JStream* dst, const char** text, int* n) {
    static constexpr char mark[] = "\xEF\xBB\xBF";
    if (*n < 3 || std::memcmp(*text, mark, 3) != 0) return true;
    *text += 3;
    *n -= 3;
    return dst->write(mark, 3) == 3;
}

// A line in a branch the assembler skips: copied, and counted when it is an
// MMX line, so that the run can say how many it did not read.
[[gnu::noinline]] int copySkipped(JStream* dst, const char* text, int n, JLineContext* context) {
    if (context->left != nullptr) {
        const char* first = skipBlanks(text);
        const int length = wordLength(first, text + n);
        Label label;
        if ((length > 0 && context->index.find(first, length) != nullptr) ||
            labelBeforeMnemonic(text, n, context->index, &label))
            ++context->left->skipped;
    }
    return copyLine(dst, text, n, context->ends);
}

// A line that needs the names known from the next line on: copied, then
// the names are read.
[[gnu::noinline]] int copyThenLearn(JStream* dst, JStreamTokenizer* src, const char* text, int n,
                                    JLineContext* context) {
    int written = copyLine(dst, text, n, context->ends);
    if (written > 0) context->named.names.learn(src->stream, src->position);
    return written;
}

}  // namespace

int processLine(JStream* dst, JStreamTokenizer* src, JMMXSet* table, JLineContext* context) {
    const char* text;
    int n;
    const int consumed = src->readLineView(&text, &n);
    if (consumed == 0) return 0;
    if (context != nullptr && context->keepLineEnds) keepLineEnd(context, consumed - n, src->lineFeedSeen);
    if (src->position == consumed && !skippedByteOrderMark(dst, &text, &n)) return -1;
    if (context == nullptr) return processLineOnce(dst, src, table, text, n);
    // Once the names are known, every line passes them on its way: what it
    // defines counts from there on, what it includes is read. (An
    // instruction line defines nothing.) A line the assembler skips is
    // copied.
    JSourceNames& names = context->named.names;
    if (names.state() == JSourceNames::ready) {
        names.pass(text, n);
        if (names.skipping()) return copySkipped(dst, text, n, context);
    }
    if (n == 0) return dst->write(context->ends.last, context->ends.lastLength) == context->ends.lastLength ? 1 : -1;
    int written = encodeWithIndex(dst, text, n, context);
    if (written == learnAfter) return copyThenLearn(dst, src, text, n, context);
    return written != notEncoded ? written : encodeNamedOrCopy(dst, src, text, n, context);
}

const JMnemonicIndex::Entry* splitStatement(const char* text, int n, const JLineContext& context,
                                            SourceInstruction* source) {
    const char* first = skipBlanks(text);
    const int length = wordLength(first, text + n);
    const JMnemonicIndex::Entry* entry = length > 0 ? context.index.find(first, length) : nullptr;
    if (entry != nullptr) *source = candidateOf(text, n, static_cast<int>(first - text) + length);
    return entry;
}
