// C and C++: MSVC's inline assembler, which clang reads with -fasm-blocks.
// Assembly stands in __asm { } (or _asm { }) blocks, where a statement ends
// at the line's end, a ';' comment, a C comment, the next __asm or the
// closing brace; and in __asm statements, several on a line, in macros too.
// Its bytes are written as _emit statements, one byte each, with the
// statement in a /* */ comment, which ends neither a macro nor a block.
#include <cstdio>
#include <cstring>

#include "hostscanner.h"
#include "jasciicase.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isIdentifierStart(char c) { return (asciiLowered(c) >= 'a' && asciiLowered(c) <= 'z') || c == '_'; }
bool isIdentifierByte(char c) { return isIdentifierStart(c) || (c >= '0' && c <= '9'); }

// The length of the C identifier starting at text[i] (0 when none starts
// there, or when text[i] continues a word).
int identifierAt(const char* text, int i, int end) {
    if (!isIdentifierStart(text[i]) || (i > 0 && isIdentifierByte(text[i - 1]))) return 0;
    int k = 1;
    while (i + k < end && isIdentifierByte(text[i + k])) ++k;
    return k;
}

bool isAsmKeyword(const char* word, int k) {
    return (k == 5 && std::memcmp(word, "__asm", 5) == 0) || (k == 4 && std::memcmp(word, "_asm", 4) == 0);
}

bool isWord(const char* word, int k, const char* name) {
    return static_cast<int>(std::strlen(name)) == k && std::memcmp(word, name, static_cast<size_t>(k)) == 0;
}

// After a string or character literal that starts at text[i].
int afterLiteral(const char* text, int i, int end) {
    const char quote = text[i];
    int j = i + 1;
    while (j < end && text[j] != quote) j += text[j] == '\\' ? 2 : 1;
    return j < end ? j + 1 : end;
}

// A line that a backslash joins to the one before starts a statement of
// its own (or holds none): __asm, a closing brace, a comment to the line's
// end, nothing. (After a /* */ comment the statement may go on.)
bool startsAnew(const char* text, int n) {
    int i = 0;
    while (i < n && isBlank(text[i])) ++i;
    if (i == n || text[i] == '}' || text[i] == ';') return true;
    if (text[i] == '/' && i + 1 < n && text[i + 1] == '/') return true;
    const int k = identifierAt(text, i, n);
    return k > 0 && isAsmKeyword(text + i, k);
}

class CScanner : public JHostScanner {
public:
    explicit CScanner(bool asmBody) : asmBody(asmBody) { restart(); }

    void restart() override {
        inComment = lineCommentGoesOn = inDirective = directiveCode = inStatement = pendingAsm = pendingHere = false;
        inBlock = outerBlock = inRaw = false;
        openQuote = 0;
        if (asmBody) openBlock();
    }

    void scanLine(const char* text, int n, const char* next, int nextLength, JHostEvents& events) override {
        const bool continues = n > 0 && text[n - 1] == '\\';
        const int end = continues ? n - 1 : n;
        bool directiveLine = inDirective;
        const bool commentLine = lineCommentGoesOn;  // a // comment that a backslash continued
        lineCommentGoesOn = commentLine && continues;
        int i = commentLine ? end : 0;
        if (inDirective && !directiveCode) {
            inDirective = continues;
            return;
        }
        if (!commentLine && !inComment && !inDirective && openQuote == 0 && !inRaw) {
            while (i < end && isBlank(text[i])) ++i;
            if (i < end && text[i] == '#') {
                directiveLine = true;
                i = directive(text, i + 1, end);
                if (i < 0) {
                    inDirective = continues;
                    return;
                }
            }
        }
        macroText = directiveLine;  // a #define: other directives' lines hold no statement
        while (i < end) {
            if (inComment) {
                const char* close = findCommentEnd(text + i, end - i);
                if (close == nullptr) break;
                i = static_cast<int>(close - text) + 2;
                inComment = false;
                continue;
            }
            if (openQuote != 0 || inRaw) {
                i = afterOpenLiteral(text, i, n, end);
                continue;
            }
            const char c = text[i];
            if (c == '/' && i + 1 < end && text[i + 1] == '*') {
                inComment = true;
                gatherer.comment();
                i += 2;
                continue;
            }
            if (c == '/' && i + 1 < end && text[i + 1] == '/') {
                lineCommentGoesOn = continues;
                break;
            }
            if (pendingAsm && !isBlank(c)) {
                pendingAsm = false;
                if (c == '{') {
                    openBlock();
                    ++i;
                    continue;
                }
                inStatement = pendingHere;  // __asm and a statement after it; else no assembly
            }
            if (inBlock || inStatement) {
                i = asmByte(text, i, end, events);
                continue;
            }
            if (c == '"' || c == '\'') {
                openQuote = c;
                ++i;
                continue;
            }
            const int k = identifierAt(text, i, end);
            if (k > 0 && isAsmKeyword(text + i, k)) pendingAsm = pendingHere = true;
            i += k > 0 ? k : 1;
            if (k > 0 && text[i] == '"' && isRawPrefix(text + i - k, k)) i = rawStringStart(text, i, end);
        }
        if (!continues) openQuote = 0;  // a literal the line does not continue ends with it
        if (inBlock || inStatement) {
            const bool runsOn = (inComment && gatherer.holdsCode()) ||
                                (continues && next != nullptr && !startsAnew(next, nextLength));
            gatherer.end(text, events, runsOn);
        }
        inStatement = pendingHere = false;
        inDirective = directiveLine && continues;
        if (directiveLine && !continues && directiveCode) {  // a macro ends: none of its assembly stays open
            if (inBlock) closeBlock();
            inBlock = outerBlock;
            pendingAsm = directiveCode = false;
        }
    }

    bool bytesMayWriteRegisters() const override { return false; }
    bool inMacro() const override { return macroText; }

    int parameterIn(const char* text, int n, const char** name) const override {
        if (!macroText) return 0;
        for (int i = 0; i < n; ++i) {
            const int k = identifierAt(text, i, n);
            for (int p = 0, length; k > 0 && p < parameters.length(); p += length + 1) {
                const char* each = parameters.data() + p;
                const size_t rest = static_cast<size_t>(parameters.length() - p);
                length = static_cast<int>(static_cast<const char*>(std::memchr(each, ' ', rest)) - each);
                if (length == k && std::memcmp(each, text + i, static_cast<size_t>(k)) == 0) {
                    *name = text + i;
                    return k;
                }
            }
            if (k > 0) i += k - 1;
        }
        return 0;
    }

    void writeCode(JTextBuffer& out, const MachineCode& code, const char* text, int, int start,
                   int stop) const override {
        for (int b = 0; b < code.count; ++b) {
            char item[24];
            std::snprintf(item, sizeof item, "%s_emit 0x%02X", b > 0 ? " __asm " : "", code.bytes[b]);
            out.add(item, static_cast<int>(std::strlen(item)));
        }
        out.add(" /* ", 4);
        out.add(text + start, stop - start);
        out.add(" */", 3);
    }

private:
    bool asmBody;
    bool macroText = false;
    JTextBuffer parameters;  // the parameters of the macro being defined
    bool inComment, lineCommentGoesOn, inDirective, directiveCode, inStatement, pendingAsm, pendingHere;
    static constexpr int maxRawDelimiter = 16;
    char openQuote;  // a string or character literal open at the line's end, continued by a backslash
    bool inRaw;      // a raw string open
    char rawDelimiter[maxRawDelimiter];
    int rawLength = 0;
    bool inBlock;
    bool outerBlock;  // inBlock around a #define, whose text is C (and may hold __asm)
    JStatementGatherer gatherer;

    void openBlock() {
        inBlock = true;
        units.openBlock();
    }

    void closeBlock() {
        inBlock = false;
        units.closeBlock();
    }

    // C++'s raw strings: R"delimiter( ... )delimiter", on several lines
    // perhaps. Their prefixes, and where the text after the '(' at `quote`
    // starts (a string of another kind when there is no such '(').
    static bool isRawPrefix(const char* word, int k) {
        return isWord(word, k, "R") || isWord(word, k, "u8R") || isWord(word, k, "uR") || isWord(word, k, "UR") ||
               isWord(word, k, "LR");
    }

    int rawStringStart(const char* text, int quote, int end) {
        int open = quote + 1;
        while (open < end && open - quote <= maxRawDelimiter && text[open] != '(') ++open;
        openQuote = '"';
        if (open == end || text[open] != '(') return quote + 1;
        openQuote = 0;
        inRaw = true;
        rawLength = open - quote - 1;
        std::memcpy(rawDelimiter, text + quote + 1, static_cast<size_t>(rawLength));
        return open + 1;
    }

    // Within a literal open before text[i]: where it closes, or the line's
    // end (a raw string, or a literal the line's backslash continues, goes on).
    int afterOpenLiteral(const char* text, int i, int n, int end) {
        if (inRaw) {
            for (int j = i; j + rawLength + 1 < n; ++j)
                if (text[j] == ')' && text[j + rawLength + 1] == '"' &&
                    std::memcmp(text + j + 1, rawDelimiter, static_cast<size_t>(rawLength)) == 0) {
                    inRaw = false;
                    return j + rawLength + 2;
                }
            return n;
        }
        for (int j = i; j < end; j += text[j] == '\\' ? 2 : 1)
            if (text[j] == openQuote) {
                openQuote = 0;
                return j + 1;
            }
        return end;
    }

    static const char* findCommentEnd(const char* text, int n) {
        for (int i = 0; i + 1 < n; ++i)
            if (text[i] == '*' && text[i + 1] == '/') return text + i;
        return nullptr;
    }

    // One byte (or word) of assembly at text[i]; returns where to go on.
    int asmByte(const char* text, int i, int end, JHostEvents& events) {
        const char c = text[i];
        if (isBlank(c)) return i + 1;
        if (c == ';') {  // a comment to the line's end
            gatherer.end(text, events);
            return end;
        }
        if (c == '}' && !asmBody) {
            gatherer.end(text, events);
            if (!inBlock) {  // the brace closes a C block around an __asm statement
                inStatement = false;
                return i;
            }
            closeBlock();
            return i + 1;
        }
        if (c == '"' || c == '\'') {
            const int j = afterLiteral(text, i, end);
            gatherer.code(i, j);
            return j;
        }
        const int k = identifierAt(text, i, end);
        if (k > 0 && isAsmKeyword(text + i, k)) {  // the next statement
            gatherer.end(text, events);
            if (!inBlock) {
                inStatement = false;
                pendingAsm = pendingHere = true;
            }
            return i + k;
        }
        const int stop = i + (k > 0 ? k : 1);
        gatherer.code(i, stop);
        return stop;
    }

    // After "#define" at text[i - 1]: the macro's name, then its parameters
    // (between parentheses right after the name), kept one after another,
    // each followed by a blank. Returns where the macro's text starts.
    int macroParameters(const char* text, int i, int end) {
        parameters.clear();
        while (i < end && isBlank(text[i])) ++i;
        i += identifierAt(text, i, end);
        if (i == end || text[i] != '(') return i;
        while (++i < end && text[i] != ')') {
            const int k = identifierAt(text, i, end);
            if (k == 0) continue;
            parameters.add(text + i, k);
            parameters.add(' ');
            i += k - 1;
        }
        return i;
    }

    // After the '#' at text[i - 1]: conditionals open, switch and close
    // branches; #define's text is read on as code, which may hold __asm;
    // any other directive's line holds no statement (-1).
    int directive(const char* text, int i, int end) {
        while (i < end && isBlank(text[i])) ++i;
        const int k = identifierAt(text, i, end);
        const char* word = text + i;
        const char* rest = word + k;
        int restLength = end - i - k;
        for (int j = 0; j + 1 < restLength; ++j)
            if (rest[j] == '/' && (rest[j + 1] == '/' || rest[j + 1] == '*')) restLength = j;
        const char* name = nullptr;
        int nameLength = 0;
        if (isWord(word, k, "define")) {
            directiveCode = true;
            outerBlock = inBlock;
            inBlock = false;
            return macroParameters(text, i + k, end);
        }
        if (isWord(word, k, "if") || isWord(word, k, "ifdef") || isWord(word, k, "ifndef")) {
            const Condition condition = conditionOf(rest, restLength, isWord(word, k, "ifndef"), &name, &nameLength);
            units.openBranch(condition, name, nameLength);
        } else if (isWord(word, k, "elif") || isWord(word, k, "else")) {
            const Condition condition =
                isWord(word, k, "else") ? Condition::other : conditionOf(rest, restLength, false, &name, &nameLength);
            units.nextBranch(condition, name, nameLength);
        } else if (isWord(word, k, "endif")) {
            units.closeBranch();
        }
        return -1;
    }
};

}  // namespace

std::unique_ptr<JHostScanner> cScanner(bool asmBody) { return std::unique_ptr<JHostScanner>(new CScanner(asmBody)); }
