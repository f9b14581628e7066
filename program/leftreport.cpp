#include "leftreport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// A line's text as the terminal should show it: control bytes (a CR inside
// the line) in caret notation (^M), TABs as they are.
void printVisible(const char* text, int n) {
    for (int i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\t') {
            std::fputc('^', stderr);
            std::fputc(c + '@', stderr);
        } else {
            std::fputc(c, stderr);
        }
    }
}

}  // namespace

bool warningsWanted() {
    const char* setting = std::getenv("PAKHOD_WARNINGS");
    return setting == nullptr || std::strcmp(setting, "0") != 0;
}

void reportLeftLines(const char* sourceName, JStream& source, const JLeftLines& left) {
    if (left.left == 0) return;
    std::fflush(stdout);  // after the banner, in a terminal too
    LineCounter lines(source);
    for (int i = 0; i < left.listedCount(); ++i) {
        const JLeftLines::Listed& l = left.listed(i);
        std::fprintf(stderr, "%s:%d: warning: left as it was: %s", sourceName, lines.lineEndingAt(l.endOffset),
                     JLeftLines::reasonText(l.reason));
        if (l.detailLength > 0) {
            std::fputs(" (", stderr);
            printVisible(left.texts() + l.detailAt, l.detailLength);
            std::fputc(')', stderr);
        }
        std::fputs(": ", stderr);
        printVisible(left.texts() + l.lineAt, l.lineLength);
        std::fputc('\n', stderr);
    }
    int unlisted = left.left - left.listedCount();
    if (unlisted > 0)
        std::fprintf(stderr, "%s: warning: %d more MMX line%s left as %s, not listed\n", sourceName, unlisted,
                     unlisted == 1 ? "" : "s", unlisted == 1 ? "it was" : "they were");
    std::fprintf(stderr, "%s: %d MMX line%s encoded, %d left as %s\n", sourceName, left.encoded,
                 left.encoded == 1 ? "" : "s", left.left, left.left == 1 ? "it was" : "they were");
}
