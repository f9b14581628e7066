#include "leftreport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "jtextbuffer.h"

namespace {

constexpr int countBlock = 1 << 16;

// Line numbers of the listed lines, from their end offsets (ascending):
// a line's number is one more than the line ends before its own.
class LineCounter {
public:
    explicit LineCounter(JStream& source) : source(source), counted(0), lineEnds(0) { source.seek(0, 0); }

    int lineEndingAt(int32_t endOffset) {
        countUpTo(endOffset - 1);
        return lineEnds + 1;
    }

private:
    JStream& source;
    int32_t counted;  // bytes looked at
    int lineEnds;     // LFs among them

    void countUpTo(int32_t offset) {
        char block[countBlock];
        while (counted < offset) {
            int want = offset - counted < countBlock ? offset - counted : countBlock;
            int got = source.read(block, want);
            if (got <= 0) return;
            for (const char* p = block; (p = static_cast<const char*>(std::memchr(p, '\n', block + got - p))) != nullptr; ++p)
                ++lineEnds;
            counted += got;
        }
    }
};

// Adds text as the terminal should show it: control bytes (a CR inside
// the line) in caret notation (^M), TABs as they are; past `most` bytes
// it is cut, and "..." says so.
void addVisible(JTextBuffer& out, const char* text, int n, int most) {
    for (int i = 0; i < n && i < most; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\t') {
            out.add('^');
            out.add(static_cast<char>(c + '@'));
        } else {
            out.add(static_cast<char>(c));
        }
    }
    if (n > most) out.add("...", 3);
}

void add(JTextBuffer& out, const char* text) { out.add(text, static_cast<int>(std::strlen(text))); }

void addNumber(JTextBuffer& out, int n) {
    char digits[16];
    add(out, (std::snprintf(digits, sizeof digits, "%d", n), digits));
}

// " MMX lines " or " MMX line ", as n asks.
const char* mmxLines(int n) { return n == 1 ? " MMX line " : " MMX lines "; }

// One line of standard error in one write, so that the lines of runs side
// by side (make -j) never mix.
void writeErrorLine(JTextBuffer& line) {
    line.add('\n');
    std::fwrite(line.data(), 1, static_cast<size_t>(line.length()), stderr);
    line.clear();
}

const char* asItWas(int n) { return n == 1 ? "left as it was" : "left as they were"; }

// A line per listed line, then the count of the lines not listed and a
// summary.
void reportListed(const char* sourceName, JStream& source, const JLeftLines& left, JTextBuffer& line) {
    std::fflush(stdout);  // after the banner, in a terminal too
    LineCounter lines(source);
    for (int i = 0; i < left.listedCount(); ++i) {
        const JLeftLines::Listed& l = left.listed(i);
        add(line, sourceName);
        line.add(':');
        addNumber(line, lines.lineEndingAt(l.endOffset));
        add(line, ": warning: left as it was: ");
        add(line, JLeftLines::reasonText(l.reason));
        if (l.detailLength > 0) {
            add(line, " (");
            addVisible(line, left.texts() + l.detailAt, l.detailLength, JLeftLines::mostShownDetail);
            line.add(')');
        }
        add(line, ": ");
        addVisible(line, left.texts() + l.lineAt, l.lineLength, JLeftLines::mostShownLine);
        writeErrorLine(line);
    }
    int unlisted = left.left - left.listedCount();
    if (unlisted > 0) {  // "a.asm: warning: 5 more MMX lines left as they were, not listed"
        add(line, sourceName);
        add(line, ": warning: ");
        addNumber(line, unlisted);
        add(line, " more");
        add(line, mmxLines(unlisted));
        add(line, asItWas(unlisted));
        add(line, ", not listed");
        writeErrorLine(line);
    }
    // "a.asm: 112 MMX lines encoded, 3 left as they were"
    add(line, sourceName);
    add(line, ": ");
    addNumber(line, left.encoded);
    add(line, mmxLines(left.encoded));
    add(line, "encoded, ");
    addNumber(line, left.left);
    line.add(' ');
    add(line, asItWas(left.left));
    writeErrorLine(line);
}

}  // namespace

bool warningsWanted() {
    const char* setting = std::getenv("PAKHOD_WARNINGS");
    if (setting == nullptr) return true;
    for (const char* off : {"0", "no", "off", "false"})
        if (std::strcmp(setting, off) == 0) return false;
    return true;
}

void reportLeftLines(const char* sourceName, JStream& source, const JLeftLines& left) {
    JTextBuffer line;
    if (left.left > 0) reportListed(sourceName, source, left, line);
    if (left.skipped > 0) {  // "a.asm: 4 MMX lines in branches the assembler skips, copied as they were"
        add(line, sourceName);
        add(line, ": ");
        addNumber(line, left.skipped);
        add(line, mmxLines(left.skipped));
        add(line, "in branches the assembler skips, copied as they were");
        writeErrorLine(line);
    }
}
