#include "lineprocessor.h"

#include "encoder.h"

namespace {

const char lineEnd[] = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Writes the line as it was read, then CR LF. 1 when both went out whole.
int copyLine(JStream* dst, const JString& line) {
    int n = line.length();
    if (n > 0 && dst->write(line.data, n) != n) return -1;
    return dst->write(lineEnd, 2) == 2 ? 1 : -1;
}

// Scans the mnemonic from the start of the line. Returns its length (0 when
// the line holds only blanks) and its start in *start, or -1 when a ';' comes
// before the mnemonic is complete (the line is a comment).
int scanMnemonic(const char* text, int* start) {
    int i = 0;
    while (isBlank(text[i])) ++i;
    *start = i;
    while (text[i] != '\0' && !isBlank(text[i])) {
        if (text[i] == ';') return -1;
        ++i;
    }
    return i - *start;
}

// Splits the operands that follow the mnemonic. The first operand ends at a
// blank or ',' outside brackets, the second also at ';'. A ';' outside
// brackets ends the operands wherever it stands, so a commented-out second
// operand is never taken. Text after the second operand (other than blanks
// and a comment) is kept in it, which makes it unreadable: a line with more
// than two operands is copied, not encoded as if it had two.
class OperandSplitter {
public:
    explicit OperandSplitter(const char* text) : text(text), commentSeen(false) {}

    void split(int from, JString& op1, JString& op2) {
        int i = scan(from, op1);
        if (commentSeen) return;
        int end = scan(i, op2);
        if (commentSeen || op2.length() == 0) return;
        int rest = end;
        while (isBlank(text[rest])) ++rest;
        if (text[rest] == '\0' || text[rest] == ';') return;
        int start = end - op2.length();
        int stop = lastOperandByte(rest);
        take(start, stop, op2);
    }

private:
    const char* text;
    bool commentSeen;

    static bool isSeparator(char c) { return isBlank(c) || c == ','; }

    // One operand from position i; returns where the scan stopped.
    int scan(int i, JString& op) {
        while (isSeparator(text[i])) ++i;
        int start = i;
        bool inBrackets = false;
        for (; text[i] != '\0'; ++i) {
            char c = text[i];
            if (c == '[') inBrackets = true;
            else if (c == ']') inBrackets = false;
            else if (!inBrackets && c == ';') {
                commentSeen = true;
                break;
            } else if (!inBrackets && isSeparator(c)) {
                break;
            }
        }
        take(start, i, op);
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

    // op = the lower-cased bytes [start, stop) of the line.
    void take(int start, int stop, JString& op) {
        op.allocate(stop - start + 1);
        for (int k = start; k < stop; ++k) op.data[k - start] = text[k];
        op.data[stop - start] = '\0';
        op.toLower();
    }
};

}  // namespace

int processLine(JStream* dst, JStreamTokenizer* src, JMMXSet* table) {
    JString line;
    if (src->readLine(line) == 0) return 0;
    if (line.data[0] == '\0') return dst->write(lineEnd, 2) == 2 ? 1 : -1;

    int start = 0;
    int length = scanMnemonic(line.data, &start);
    if (length <= 0) return copyLine(dst, line);  // a comment, or only blanks

    JString mnemonic(length + 1);
    for (int k = 0; k < length; ++k) mnemonic.data[k] = line.data[start + k];
    mnemonic.data[length] = '\0';
    mnemonic.toLower();

    JString op1;
    JString op2;
    bool split = false;
    for (JMMXSet* def = table->nextRecord(); def != table; def = def->nextRecord()) {
        if (!def->mnemonic.equals(mnemonic)) continue;
        if (!split) {
            OperandSplitter(line.data).split(start + length, op1, op2);
            split = true;
        }
        int written = encodeInstruction(dst, line, def, op1, op2);
        if (written != 0) return written;
    }
    return copyLine(dst, line);
}
