// What the source reaches beyond its own lines: the files it includes, read
// where they stand as if their text stood there (never converted), within
// limits of depth, count and size; the code size the assembler is told; and
// the warnings about what pakhod could not read, at the file and line they
// concern.
#include <cstring>

#include "expression.h"
#include "jstreamtokenizer.h"
#include "jstring.h"
#include "sourcenames.h"
#include "sourcenames_parts.h"
#include "words.h"

using sourcenames::addText;
using sourcenames::isBlank;

namespace {

// A code size the assembler takes: 16, 32 or 64; 0 for any other value.
int bitsOf(int64_t value) { return value == 16 || value == 32 || value == 64 ? static_cast<int>(value) : 0; }

// The file an include line names: in quotes, in <>, or bare up to a blank
// or a comment. Its length, 0 when there is none.
int includedName(JSourceNames::Line& line, const char** name) {
    line.skipBlanks();
    if (line.p == line.end) return 0;
    char c = *line.p;
    char close = c == '"' || c == '\'' ? c : c == '<' ? '>' : '\0';
    const char* start = close != '\0' ? line.p + 1 : line.p;
    const char* q = start;
    while (q < line.end && (close != '\0' ? *q != close : !isBlank(*q) && *q != ';')) ++q;
    if (close != '\0' && q == line.end) return 0;
    *name = start;
    return static_cast<int>(q - start);
}

void addNumber(JTextBuffer& out, int n) {
    char digits[12];
    int d = sizeof digits;
    do {
        digits[--d] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    out.add(digits + d, static_cast<int>(sizeof digits) - d);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char pastTheLimit[] = "include files past pakhod's limit (65536 files, 256 MiB): no name is resolved: ";

}  // namespace

const JTextBuffer& JSourceNames::placeText() const {
    const Reach::File& at = reach->files[reach->files.size() - 1];
    JTextBuffer& place = reach->place;
    place.clear();
    addText(place, at.path);
    place.add(':');
    addNumber(place, at.line);
    return place;
}

// "file:line: warning: TEXTname", once: in the first reading of the source.
void JSourceNames::warnHere(const char* text, const char* name, int n) const {
    JSourceFiles* files = reach->setting.files;
    if (!wholeFile || files == nullptr) return;
    const JTextBuffer& place = placeText();
    JTextBuffer& message = reach->message;
    message.clear();
    message.add(place.data(), place.length());
    addText(message, ": warning: ");
    addText(message, text);
    message.add(name, n);
    message.add('\0');
    files->warn(message.data());
}

void JSourceNames::include(Line& line) {
    Reach& r = *reach;
    const char* name;
    int k = includedName(line, &name);
    // In a body, an include is read where the body is used.
    if (r.setting.files == nullptr || k == 0 || structure->bodyDepth > 0) return;
    if (r.files.size() > deepestInclusion) {
        r.missed = true;
        return warnHere("include files nested deeper than 32: not read: ", name, k);
    }
    if (r.inclusions == mostInclusions || r.includedBytes > mostIncludedBytes) {
        r.missed = true;
        if (!overflowed) warnHere(pastTheLimit, name, k);
        overflowed = true;
        return;
    }
    ++r.inclusions;
    JString path(k + 1);
    std::memcpy(path.data, name, static_cast<size_t>(k));
    path.data[k] = '\0';
    const Reach::File at = r.files[r.files.size() - 1];
    if (!r.setting.files->include(path.data, at.path, at.line, wholeFile, *this)) r.missed = true;
}

// Reads an include file's lines as the source's own; past the limit of
// bytes included, it stops (as meant: 1).
int JSourceNames::readIncluded(JStream& file, const char* path) {
    Reach& r = *reach;
    r.files.push(Reach::File{path, 0});
    const int level = r.files.size() - 1;
    JStreamTokenizer lines;
    JString line;
    lines.setStream(&file);
    int read;
    while ((read = lines.readLine(line)) > 0) {
        r.includedBytes += read;
        if (r.includedBytes > mostIncludedBytes) {
            if (!overflowed) warnHere(pastTheLimit, path, static_cast<int>(std::strlen(path)));
            overflowed = r.missed = true;
            break;
        }
        ++r.files[level].line;
        passLine(line.data, line.length());
    }
    bool whole = read > 0 || static_cast<uint32_t>(lines.position) == file.size();
    r.files.shrink(level);
    return whole ? 1 : 0;
}

// A code-size directive: in an undecided branch or a body, the size after
// it is known only when it names the size before.
void JSourceNames::setCodeBits(int size) {
    const Structure& s = *structure;
    if (s.branches.size() > 0 || s.bodyDepth > 0) {
        if (size != bits) bits = 0;
    } else {
        bits = static_cast<uint8_t>(size);
    }
}

// bits N: N may be a name.
void JSourceNames::readCodeSize(const char* text, int n) {
    int64_t value = 0;
    bool read = resolve(text, n, scratch, true) && readConstantExpression(scratch.data(), scratch.length(), &value);
    setCodeBits(read ? bitsOf(value) : 0);
}

void JSourceNames::lineEncoded(const char* dd, int ddLength, const char* db, int dbLength) {
    Decisions& ds = *decisions;
    for (int i = 0; i < ds.tried.size(); ++i) {
        for (uint32_t c = ds.tried[i]; c != 0;) {  // a decision, and those it rests on
            Decisions::Decision& d = ds.made[static_cast<int>(c) - 1];
            if (d.used) break;
            d.used = true;
            c = d.parent;
        }
    }
    if (!reach->missed || reach->setting.files == nullptr) return;
    warnHandedOver(dd, ddLength, "dd");
    warnHandedOver(db, dbLength, "db");
}

// A name the line hands to the assembler that no file pakhod read defines
// may be a register alias of an include file it did not read: the
// assembler then refuses the line.
void JSourceNames::warnHandedOver(const char* text, int n, const char* directive) const {
    for (int i = 0; i < n;) {
        int k = nameLength(text + i, n - i);
        if (isDigit(text[i])) {
            k = 1;
            while (i + k < n && continuesName(text[i + k])) ++k;
        } else if (k > 0 && !isAnyRegister(text + i, k) && !isOperandKeyword(text + i, k) &&
                   meaning(text + i, k).kind == NameKind::none) {
            int found = lookup(text + i, k);
            if (found < 0 || (*entries)[found].fileDefinitions == 0) {
                JTextBuffer& message = reach->message;
                message.clear();
                const JTextBuffer& place = placeText();
                message.add(place.data(), place.length());
                addText(message, ": warning: handed to the assembler: ");
                message.add(text + i, k);
                addText(message, ", which no file pakhod read defines; if it is a register, the assembler will refuse the ");
                addText(message, directive);
                addText(message, " line");
                message.add('\0');
                reach->setting.files->warn(message.data());
            }
        }
        i += k > 0 ? k : 1;
    }
}
