// Pascal (Delphi, Free Pascal, Turbo Pascal): assembly stands between asm
// and end, where ';' and the line's end separate statements and comments
// are //, { } and (* *). Its bytes are written as a DB list ($0F,$6F,...),
// with the statement in a // comment, or in { } where code follows it on
// the line. Conditional directives ({$IFDEF ...}) open and close branches;
// {$ASMMODE ATT} blocks are Free Pascal's AT&T syntax, not read.
#include <cstdio>
#include <cstring>

#include "hostscanner.h"
#include "jasciicase.h"
#include "words.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isIdentifierStart(char c) { return (asciiLowered(c) >= 'a' && asciiLowered(c) <= 'z') || c == '_'; }
bool isIdentifierByte(char c) { return isIdentifierStart(c) || (c >= '0' && c <= '9'); }
bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (asciiLowered(c) >= 'a' && asciiLowered(c) <= 'f'); }

// The length of the word starting at text[i]: 0 when none starts there, or
// when text[i] continues a word, a label (@@end) or a qualified name (&asm).
int wordAt(const char* text, int i, int n) {
    if (!isIdentifierStart(text[i])) return 0;
    if (i > 0 && (isIdentifierByte(text[i - 1]) || text[i - 1] == '@' || text[i - 1] == '&' || text[i - 1] == '.'))
        return 0;
    int k = 1;
    while (i + k < n && isIdentifierByte(text[i + k])) ++k;
    return k;
}

// After the string that starts with the quote at text[i] (a doubled quote
// inside it reads as two strings, which comes to the same).
int afterQuoted(const char* text, int i, int n) {
    const char* close = static_cast<const char*>(std::memchr(text + i + 1, text[i], static_cast<size_t>(n - i - 1)));
    return close != nullptr ? static_cast<int>(close - text) + 1 : n;
}

enum class Comment : uint8_t { none, brace, parenStar };

class PascalScanner : public JHostScanner {
public:
    PascalScanner() { restart(); }

    void restart() override {
        comment = Comment::none;
        inAsm = att = false;
    }

    void scanLine(const char* text, int n, const char*, int, JHostEvents& events) override {
        for (int i = 0; i < n;) {
            if (comment != Comment::none) {
                i = afterComment(text, i, n);
                continue;
            }
            const char c = text[i];
            if (c == '{' || (c == '(' && i + 1 < n && text[i + 1] == '*')) {
                const int opening = c == '{' ? 1 : 2;  // { or (*, then $ for a directive
                if (i + opening < n && text[i + opening] == '$') directive(text + i + opening + 1, n - i - opening - 1);
                comment = c == '{' ? Comment::brace : Comment::parenStar;
                gatherer.comment();
                i += opening;
                continue;
            }
            if (c == '/' && i + 1 < n && text[i + 1] == '/') break;
            if (inAsm) {
                i = asmByte(text, i, n, events);
                continue;
            }
            if (c == '\'') {
                i = afterQuoted(text, i, n);
                continue;
            }
            const int k = wordAt(text, i, n);
            if (k == 3 && sameWordFolded(text + i, k, "asm")) {
                inAsm = true;
                units.openBlock();
            }
            i += k > 0 ? k : 1;
        }
        if (inAsm) gatherer.end(text, events, comment != Comment::none && gatherer.holdsCode());
    }

    void writeCode(JTextBuffer& out, const MachineCode& code, const char* text, int n, int start,
                   int stop) const override {
        out.add("DB ", 3);
        for (int b = 0; b < code.count; ++b) {
            char item[8];
            std::snprintf(item, sizeof item, "%s$%02X", b > 0 ? "," : "", code.bytes[b]);
            out.add(item, static_cast<int>(std::strlen(item)));
        }
        int rest = stop;
        while (rest < n && isBlank(text[rest])) ++rest;
        const bool lineComment = rest == n || (text[rest] == '/' && rest + 1 < n && text[rest + 1] == '/');
        out.add(lineComment ? " // " : " { ", lineComment ? 4 : 3);
        out.add(text + start, stop - start);
        if (!lineComment) out.add(" }", 2);
    }

    // $0F, Pascal's hexadecimal number, is 0Fh; a '$' alone stays.
    void respell(const char* text, int n, JTextBuffer& out) const override {
        out.clear();
        for (int i = 0; i < n; ++i) {
            const bool number = text[i] == '$' && i + 1 < n && isHexDigit(text[i + 1]) &&
                                (i == 0 || !(isIdentifierByte(text[i - 1]) || text[i - 1] == '@'));
            if (!number) {
                out.add(text[i]);
                continue;
            }
            out.add('0');
            while (i + 1 < n && isHexDigit(text[i + 1])) out.add(text[++i]);
            out.add('h');
        }
    }

private:
    Comment comment;
    bool inAsm, att;
    JStatementGatherer gatherer;

    int afterComment(const char* text, int i, int n) {
        for (; i < n; ++i) {
            if (comment == Comment::brace && text[i] == '}') break;
            if (comment == Comment::parenStar && text[i] == '*' && i + 1 < n && text[i + 1] == ')') {
                ++i;
                break;
            }
        }
        if (i == n) return n;
        comment = Comment::none;
        return i + 1;
    }

    // One byte (or word) of assembly at text[i]; returns where to go on.
    int asmByte(const char* text, int i, int n, JHostEvents& events) {
        const char c = text[i];
        if (isBlank(c)) return i + 1;
        if (c == ';') {
            gatherer.end(text, events);
            return i + 1;
        }
        int stop = c == '\'' || c == '"' ? afterQuoted(text, i, n) : i + 1;
        const int k = wordAt(text, i, n);
        if (k == 3 && gatherer.holdsLabelAtMost(text) && sameWordFolded(text + i, k, "end")) {
            gatherer.end(text, events);  // a label before the end stays
            inAsm = false;
            units.closeBlock();
            return i + k;
        }
        if (k > 0) stop = i + k;
        if (!att) gatherer.code(i, stop);
        return stop;
    }

    // {$...} or (*$...*) at text[0..n): the directive's word and what
    // follows it, to the comment's end.
    void directive(const char* text, int n) {
        for (int i = 0; i < n; ++i)
            if (text[i] == '}' || (text[i] == '*' && i + 1 < n && text[i + 1] == ')')) n = i;
        int k = 0;
        while (k < n && isIdentifierByte(text[k])) ++k;
        const char* rest = text + k;
        const int restLength = n - k;
        const char* name = nullptr;
        int nameLength = 0;
        const auto is = [&](const char* word) { return sameWordFolded(text, k, word); };
        if (is("ifdef") || is("ifndef") || is("if")) {
            const Condition c = conditionOf(rest, restLength, is("ifndef"), &name, &nameLength);
            units.openBranch(c, name, nameLength);
        } else if (is("ifopt")) {
            units.openBranch(Condition::other, nullptr, 0);
        } else if (is("elseif") || is("else")) {
            Condition c = Condition::other;
            if (is("elseif")) c = conditionOf(rest, restLength, false, &name, &nameLength);
            units.nextBranch(c, name, nameLength);
        } else if (is("endif") || is("ifend")) {
            units.closeBranch();
        } else if (is("asmmode")) {
            int w = 0;
            while (w < restLength && isBlank(rest[w])) ++w;
            att = restLength - w >= 3 && sameWordFolded(rest + w, 3, "att");
        }
    }
};

}  // namespace

std::unique_ptr<JHostScanner> pascalScanner() { return std::unique_ptr<JHostScanner>(new PascalScanner()); }
