// What a source line does to the names: the directives that define,
// undefine, open and close, include files and set the code size, in NASM's,
// MASM's, GNU's and the C preprocessor's spellings, read from the line's
// first two words.
#include "sourcenames.h"

#include <cstring>

#include "expression.h"
#include "jasciicase.h"
#include "sourcenames_parts.h"
#include "words.h"

using sourcenames::isBlank;

namespace {

// What a directive does to the names and to the structure around them.
enum class Action : uint8_t {
    openBranch, nextBranch, closeBranch, openBody, closeBody, openStruct, closeStruct,
    defineText,          // %define NAME text, #define NAME text
    defineTextExpanded,  // %xdefine: the text's names are put in place now
    defineValue,         // %assign NAME expression
    defineListed,        // .equ NAME, expression
    undefine,            // %undef NAME
    defineOther,         // a definition pakhod does not read (%defstr, %strlen, ...)
    declareExternal,     // EXTRN NAME:TYPE, ...
    include,             // %include "file", INCLUDE file, .include "file"
    codeSize,            // bits 16, [bits 64], use16, .code16, ...
    section,             // NASM's section or segment, perhaps with use16
};

struct DirectiveWord {
    const char* word;  // lower case
    Action action;
    uint8_t flags = 0;  // definitionFlags of what it defines
};

constexpr uint8_t macro = definitionFlags::macro;
constexpr uint8_t caselessMacro = definitionFlags::macro | definitionFlags::caseless;

// Directives that stand first on their line.
const DirectiveWord firstWords[] = {
    {"%define", Action::defineText, macro},   {"%idefine", Action::defineText, caselessMacro},
    {"%xdefine", Action::defineTextExpanded, macro}, {"%ixdefine", Action::defineTextExpanded, caselessMacro},
    {"%assign", Action::defineValue, macro},  {"%iassign", Action::defineValue, caselessMacro},
    {"%undef", Action::undefine},         {"%defstr", Action::defineOther},
    {"%idefstr", Action::defineOther},    {"%deftok", Action::defineOther},
    {"%ideftok", Action::defineOther},    {"%strlen", Action::defineOther},
    {"%substr", Action::defineOther},     {"%strcat", Action::defineOther},
    {"%defalias", Action::defineOther},   {"%idefalias", Action::defineOther},
    {"%pathsearch", Action::defineOther}, {"%else", Action::nextBranch},
    {"%endif", Action::closeBranch},      {"%macro", Action::openBody},
    {"%imacro", Action::openBody},        {"%rmacro", Action::openBody},
    {"%irmacro", Action::openBody},       {"%rep", Action::openBody},
    {"%endmacro", Action::closeBody},     {"%endm", Action::closeBody},
    {"%endrep", Action::closeBody},       {"%endr", Action::closeBody},
    {"#if", Action::openBranch},          {"#ifdef", Action::openBranch},
    {"#ifndef", Action::openBranch},      {"#elif", Action::nextBranch},
    {"#else", Action::nextBranch},        {"#endif", Action::closeBranch},
    {"#define", Action::defineText, macro}, {"#undef", Action::undefine},
    {"if", Action::openBranch},           {"ife", Action::openBranch},
    {"ifdef", Action::openBranch},        {"ifndef", Action::openBranch},
    {"ifb", Action::openBranch},          {"ifnb", Action::openBranch},
    {"ifidn", Action::openBranch},        {"ifidni", Action::openBranch},
    {"ifdif", Action::openBranch},        {"ifdifi", Action::openBranch},
    {"if1", Action::openBranch},          {"if2", Action::openBranch},
    {"else", Action::nextBranch},         {"endif", Action::closeBranch},
    {"rept", Action::openBody},           {"repeat", Action::openBody},
    {"irp", Action::openBody},            {"irpc", Action::openBody},
    {"for", Action::openBody},            {"forc", Action::openBody},
    {"while", Action::openBody},          {"endm", Action::closeBody},
    {"extrn", Action::declareExternal},   {"extern", Action::declareExternal},
    {"externdef", Action::declareExternal}, {".else", Action::nextBranch},
    {".endif", Action::closeBranch},      {".macro", Action::openBody},
    {".rept", Action::openBody},          {".irp", Action::openBody},
    {".irpc", Action::openBody},          {".endm", Action::closeBody},
    {".endr", Action::closeBody},         {".equ", Action::defineListed, definitionFlags::symbol},
    {".set", Action::defineListed, definitionFlags::symbol}, {".equiv", Action::defineListed, definitionFlags::symbol},
    {".eqv", Action::defineListed, definitionFlags::symbol}, {"struc", Action::openStruct},
    {"endstruc", Action::closeStruct},    {"%include", Action::include},
    {"include", Action::include},         {".include", Action::include},
    {"bits", Action::codeSize},           {"[bits", Action::codeSize},
    {"use16", Action::codeSize},          {"use32", Action::codeSize},
    {"use64", Action::codeSize},          {".code16", Action::codeSize},
    {".code16gcc", Action::codeSize},     {".code32", Action::codeSize},
    {".code64", Action::codeSize},        {"section", Action::section},
    {"segment", Action::section},         {"[section", Action::section},
    {"[segment", Action::section},
};

// NASM's conditional families, known by their start: %ifdef, %elifidn, ...
const DirectiveWord firstWordStarts[] = {{"%if", Action::openBranch}, {"%elif", Action::nextBranch}};

// MASM's ELSEIF and GNU's .if families.
const char* const masmElseIfs[] = {"elseif",    "elseife",    "elseifdef", "elseifndef", "elseifb",   "elseifnb",
                                   "elseifidn", "elseifidni", "elseifdif", "elseifdifi", "elseif1",   "elseif2",
                                   ".elseif"};
const char* const gnuIfs[] = {".if",   ".ifb",  ".ifc",  ".ifdef", ".ifeq", ".ifeqs", ".ifge",     ".ifgt",
                              ".ifle", ".iflt", ".ifnb", ".ifnc",  ".ifndef", ".ifnotdef", ".ifne", ".ifnes"};

// Words after a name that make it a data label.
const char* const dataWords[] = {
    "db",     "dw",     "dd",      "dq",     "dt",     "do",     "dy",     "dz",     "df",     "ddq",
    "resb",   "resw",   "resd",    "resq",   "rest",   "reso",   "resy",   "resz",   "times",  "byte",
    "sbyte",  "word",   "sword",   "dword",  "sdword", "fword",  "qword",  "sqword", "tbyte",  "tword",
    "real4",  "real8",  "real10",  "oword",  "mmword", "xmmword", "ymmword", "zmmword", ".byte", ".word",
    ".short", ".long",  ".int",    ".quad",  ".octa",  ".single", ".float", ".double", ".ascii", ".asciz",
    ".string", ".space", ".skip",  ".zero",  ".fill",
};

// The types that make a LABEL or an external a data label.
const char* const dataTypes[] = {
    "byte",  "sbyte", "word",  "sword", "dword", "sdword", "fword",  "qword",   "sqword",
    "tbyte", "tword", "real4", "real8", "real10", "oword", "mmword", "xmmword", "ymmword",
};

bool isOneOf(const char* text, int n, const char* const* words, int count) {
    for (int i = 0; i < count; ++i)
        if (sameWordFolded(text, n, words[i])) return true;
    return false;
}

template <int N>
bool isOneOf(const char* text, int n, const char* const (&words)[N]) {
    return isOneOf(text, n, words, N);
}

// The action of a directive word, or false; *flags: those of what it
// defines.
// The directives of firstWords by their first two letters (folded), so a
// word is compared with the few that share them: the ones in
// [start[slot], start[slot + 1]) of `order`.
struct DirectiveIndex {
    static constexpr int slots = 1 << 10;
    static constexpr int count = sizeof firstWords / sizeof firstWords[0];
    uint8_t order[count];
    uint8_t start[slots + 1];

    static int slotOf(const char* word, int n) {
        const unsigned a = static_cast<unsigned char>(asciiLowered(word[0]));
        const unsigned b = n > 1 ? static_cast<unsigned char>(asciiLowered(word[1])) : 0;
        return static_cast<int>((a * 31 + b) & (slots - 1));
    }

    DirectiveIndex() : order(), start() {  // a counting sort of the entries by slot
        static_assert(count < 256, "an entry's place fits a byte");
        int slotOfEntry[count];
        for (int i = 0; i < count; ++i) {
            slotOfEntry[i] = slotOf(firstWords[i].word, static_cast<int>(std::strlen(firstWords[i].word)));
            ++start[slotOfEntry[i] + 1];
        }
        for (int slot = 0; slot < slots; ++slot) start[slot + 1] = static_cast<uint8_t>(start[slot + 1] + start[slot]);
        uint8_t next[slots];
        std::memcpy(next, start, sizeof next);
        for (int i = 0; i < count; ++i) order[next[slotOfEntry[i]]++] = static_cast<uint8_t>(i);
    }
};

bool directiveOf(const char* word, int n, Action* action, uint8_t* flags = nullptr) {
    // Every directive is a word of at most 11 bytes that starts with one of these.
    static constexpr char starts[] = "%#.iIeErRfFwWsSbBuU[";
    if (n > 11 || std::memchr(starts, word[0], sizeof starts - 1) == nullptr) return false;
    static const DirectiveIndex index;
    const int slot = DirectiveIndex::slotOf(word, n);
    for (int i = index.start[slot]; i < index.start[slot + 1]; ++i) {
        const DirectiveWord& d = firstWords[index.order[i]];
        if (sameWordFolded(word, n, d.word)) {
            *action = d.action;
            if (flags != nullptr) *flags = d.flags;
            return true;
        }
    }
    if (flags != nullptr) *flags = 0;
    for (const DirectiveWord& d : firstWordStarts) {
        int k = static_cast<int>(std::strlen(d.word));
        if (n >= k && sameWordFolded(word, k, d.word)) {
            *action = d.action;
            return true;
        }
    }
    if (isOneOf(word, n, masmElseIfs)) *action = Action::nextBranch;
    else if (isOneOf(word, n, gnuIfs)) *action = Action::openBranch;
    else return false;
    return true;
}

// A C source's line: true when it starts outside a /* */ comment (a
// #define there defines nothing); whether a comment runs on past it is
// kept in inComment. Literals and // comments hide comment marks.
bool startsOutsideCComment(const char* text, int n, bool& inComment) {
    const bool outside = !inComment;
    for (int i = 0; i < n; ++i) {
        if (inComment) {
            if (text[i] == '*' && i + 1 < n && text[i + 1] == '/') inComment = false, ++i;
        } else if (text[i] == '"' || text[i] == '\'') {
            const char quote = text[i];
            while (++i < n && text[i] != quote) i += text[i] == '\\';
        } else if (text[i] == '/' && i + 1 < n && (text[i + 1] == '/' || text[i + 1] == '*')) {
            if (text[i + 1] == '/') break;
            inComment = true;
            ++i;
        }
    }
    return outside;
}

// Words after a name that make the name something it defines, not a
// directive of the same spelling (a variable named "bits").
bool definesName(const char* word, int n) {
    static const char* const defining[] = {"equ", "=", "textequ", "label", "macro", "proc", "segment", "struc", "struct"};
    return isOneOf(word, n, dataWords) || isOneOf(word, n, defining) || (n > 0 && word[0] == ':');
}

// The code size a use16, .code64 and the like name; 0 for another word.
int sizeWordOf(const char* word, int n) {
    struct SizeWord {
        const char* word;
        int bits;
    };
    static const SizeWord sizeWords[] = {{"use16", 16},   {"use32", 32},      {"use64", 64},   {".code16", 16},
                                         {".code16gcc", 16}, {".code32", 32}, {".code64", 64}};
    for (const SizeWord& w : sizeWords)
        if (sameWordFolded(word, n, w.word)) return w.bits;
    return 0;
}

// The code size a use16 (use32, use64) word among the rest of the line
// names; 0 when none stands there.
int sizeWordOnLine(JSourceNames::Line& line) {
    for (;;) {
        while (line.p < line.end && !startsName(*line.p) && *line.p != ';') ++line.p;
        int k = line.name();
        if (k == 0) return 0;
        int size = sizeWordOf(line.p, k);
        if (size != 0) return size;
        line.p += k;
    }
}

// The value of bits N or [bits N], as written.
int valueText(JSourceNames::Line& line, const char** text) {
    int n = line.rest(text);
    if (n > 0 && (*text)[n - 1] == ']') --n;
    while (n > 0 && isBlank((*text)[n - 1])) --n;
    return n;
}

constexpr JSourceNames::ByteSet byteSetOf(const char* bytes, bool names) {
    JSourceNames::ByteSet set{};
    for (int i = 0; bytes[i] != '\0'; ++i) set.of[static_cast<unsigned char>(bytes[i])] = true;
    for (int c = 0; names && c < 256; ++c)
        set.of[c] = set.of[c] || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return set;
}

}  // namespace

// The first bytes of the directives needsLearning looks for, and those of
// a name before SEGMENT (words that start names).
const JSourceNames::ByteSet JSourceNames::directiveStarts = byteSetOf("%#.[bBuUiIsS", false);
const JSourceNames::ByteSet JSourceNames::nameStarts = byteSetOf("_.?@$", true);

void JSourceNames::pass(const char* text, int n) {
    if (current != ready) return;
    ++reach->files[0].line;
    if (preprocessorOnly && !startsOutsideCComment(text, n, structure->inCComment)) return;
    passLine(text, n);
}

// A line of srcfile or of a file it includes.
void JSourceNames::passLine(const char* text, int n) {
    Line line(text, n);
    interpret(line);
    const Structure& s = *structure;
    skipped = s.conditionals.size() > 0 && s.conditionals[s.conditionals.size() - 1].branch == Conditional::skipped;
}

namespace {

// A first word that may be one needsLearning looks for (%include, %if...,
// include, if..., .include, .if..., .code16, bits, [bits, use16, section,
// segment), told by its first letters and length: most words are not.
bool mayLearnFrom(const char* word, int k) {
    char second = k > 1 ? asciiLowered(word[1]) : '\0';
    switch (asciiLowered(word[0])) {
        case '%':
        case '.':
        case '#':
            return second == 'i' || second == 'c';
        case '[':
            return true;
        case 'i':
            return second == 'f' || k == 7;
        case 'b':
            return k == 4;
        case 'u':
            return k == 5;
        case 's':
            return k == 7;
        default:
            return false;
    }
}

}  // namespace

bool JSourceNames::readsAsLearningLine(const char* text, int n) {
    Line line(text, n);
    line.skipBlanks();
    const char* word = line.p;
    int k = line.word();
    line.p += k;
    Action action;
    if (k > 0 && mayLearnFrom(word, k) && directiveOf(word, k, &action)) {
        Line next = line;
        next.skipBlanks();
        if (definesName(next.p, next.word())) return false;
        if (action == Action::include || action == Action::openBranch) return true;
        if (action == Action::section) {
            int size = sizeWordOnLine(line);
            return size != 0 && size != 32;
        }
        if (action != Action::codeSize) return false;
        int size = sizeWordOf(word, k);
        if (size != 0) return size != 32;
        const char* value;
        int length = valueText(line, &value);
        int64_t bits = 0;
        return !readConstantExpression(value, length, &bits) || bits != 32;
    }
    if (word != text || k == 0) return false;  // MASM's NAME SEGMENT USE16 stands first on its line
    line.skipBlanks();
    if (line.p == line.end || asciiLowered(*line.p) != 's') return false;
    int w = line.word();
    if (!sameWordFolded(line.p, w, "segment")) return false;
    line.p += w;
    int size = sizeWordOnLine(line);
    return size != 0 && size != 32;
}

// A line whose first byte starts a name (a label, an instruction or a
// directive written without indent): a closer look only for a directive
// needsLearning looks for, or a second word that may be SEGMENT. A label
// alone on its line is neither.
bool JSourceNames::learnsFromFirstWord(const char* text, int n) {
    if (text[n - 1] == ':') return false;
    int k = 0;
    while (k < n && !isBlank(text[k])) ++k;
    if (directiveStarts.of[static_cast<unsigned char>(text[0])] && mayLearnFrom(text, k))
        return readsAsLearningLine(text, n);
    while (k < n && isBlank(text[k])) ++k;
    return n - k >= 7 && asciiLowered(text[k]) == 's' && readsAsLearningLine(text, n);
}

// The line's first word: a directive, or a name that the next word defines.
// In a skipped branch only the conditionals count.
void JSourceNames::interpret(Line& line) {
    line.skipBlanks();
    if (line.atEnd() || (preprocessorOnly && *line.p != '#')) return;
    line.cComments = preprocessorOnly;
    const char* word = line.p;
    int n = line.word();
    if (*word == '#' && n == 1) {  // "# if": C allows blanks after the '#'
        ++line.p;
        line.skipBlanks();
        JTextBuffer joined;
        joined.add('#');
        joined.add(line.p, line.word());
        Line rest(line.p, static_cast<int>(line.end - line.p));
        rest.cComments = line.cComments;
        rest.p += rest.word();
        interpretDirective(rest, joined.data(), joined.length());
        return;
    }
    line.p += n;
    if (interpretDirective(line, word, n) || skipped) return;
    int k = nameLength(word, n);
    if (k > 0 && (k == n || (k == n - 1 && word[k] == ':'))) interpretNamed(line, word, k);
}

// A first word that is a directive; false when it is none.
bool JSourceNames::interpretDirective(Line& line, const char* word, int n) {
    Action action;
    uint8_t flags = 0;
    if (n == 0 || !directiveOf(word, n, &action, &flags)) return false;
    Structure& s = *structure;
    line.skipBlanks();
    if (action == Action::openBranch || action == Action::nextBranch || action == Action::closeBranch) {
        if (action == Action::openBranch) openConditional(word, n, line);
        else if (action == Action::nextBranch) nextBranch(word, n, line);
        else closeConditional();
        skipped = s.conditionals.size() > 0 && s.conditionals[s.conditionals.size() - 1].branch == Conditional::skipped;
        return true;
    }
    if (skipped) return true;
    bool namesNoData = action == Action::include || action == Action::codeSize || action == Action::section;
    if (namesNoData && definesName(line.p, line.word())) return false;  // a name spelt as the directive
    if (word[0] == '%' || action == Action::section || (action == Action::codeSize && word[0] != '.')) nasmSource = true;
    const char* name = line.p;
    int k = line.name();
    const char* text;
    switch (action) {
        case Action::openBody:
            ++s.bodyDepth;
            return true;
        case Action::closeBody:
            if (s.bodyDepth == 0) s.confused = true;
            else --s.bodyDepth;
            while (s.blocked.size() > 0 && s.blocked[s.blocked.size() - 1].depth > s.bodyDepth)
                s.blocked.shrink(s.blocked.size() - 1);
            return true;
        case Action::openStruct:
            ++s.structDepth;
            return true;
        case Action::closeStruct:
            if (s.structDepth == 0) s.confused = true;
            else --s.structDepth;
            return true;
        case Action::include:
            include(line);
            return true;
        case Action::codeSize: {
            int size = sizeWordOf(word, n);
            if (size != 0) {
                setCodeBits(size);
            } else {
                int length = valueText(line, &text);
                readCodeSize(text, length);
            }
            return true;
        }
        case Action::section: {
            int size = sizeWordOnLine(line);
            if (size != 0) setCodeBits(size);
            return true;
        }
        default:
            break;
    }
    if (k == 0) return true;
    line.p += k;
    if (action == Action::declareExternal) {  // EXTRN a:QWORD, b:NEAR
        for (;;) {
            const char* type = line.p;
            int t = 0;
            if (line.p < line.end && *line.p == ':') {
                ++line.p;
                line.skipBlanks();
                type = line.p;
                t = line.name();
                line.p += t;
            }
            if (t > 0 && isOneOf(type, t, dataTypes))
                defineKind(name, k, static_cast<uint8_t>(NameKind::dataLabel), definitionFlags::symbol);
            line.skipBlanks();
            if (line.p == line.end || *line.p != ',') return true;
            ++line.p;
            line.skipBlanks();
            name = line.p;
            k = line.name();
            if (k == 0) return true;
            line.p += k;
        }
    }
    if (action == Action::undefine) {
        undefine(name, k);
    } else if (action == Action::defineOther) {
        defineKind(name, k, static_cast<uint8_t>(NameKind::ambiguous), definitionFlags::macro);
    } else if (line.p < line.end && *line.p == '(') {  // %define NAME(a, b) body
        ++line.p;
        int length = line.rest(&text);
        if (action == Action::defineText || action == Action::defineTextExpanded) defineMacro(name, k, text, length, flags);
        else defineKind(name, k, static_cast<uint8_t>(NameKind::ambiguous), flags);
    } else if (action == Action::defineText || action == Action::defineTextExpanded) {
        int length = line.rest(&text);
        defineText(name, k, text, length, action == Action::defineTextExpanded, flags);
    } else {  // %assign NAME expression; .equ NAME, expression
        line.skipBlanks();
        if (action == Action::defineListed && line.p < line.end && *line.p == ',') ++line.p;
        int length = line.rest(&text);
        defineValue(name, k, text, length, false, flags);
    }
    return true;
}

// A name first on its line: the next word tells what, if anything, it
// defines.
void JSourceNames::interpretNamed(Line& line, const char* name, int n) {
    line.skipBlanks();
    const char* word = line.p;
    int k = line.p < line.end && *line.p == '=' ? 1 : line.word();
    if (k == 0) return;
    line.p += k;
    Structure& s = *structure;
    const char* text;
    if (sameWordFolded(word, k, "equ") || sameWordFolded(word, k, "=")) {
        int length = line.rest(&text);
        defineValue(name, n, text, length, k != 1, k != 1 ? definitionFlags::symbol : 0);
    } else if (sameWordFolded(word, k, "textequ")) {
        int length = line.rest(&text);
        if (length >= 2 && text[0] == '<' && text[length - 1] == '>') {
            ++text;
            length -= 2;
        }
        defineText(name, n, text, length, false, definitionFlags::macro);
    } else if (sameWordFolded(word, k, "label")) {
        line.skipBlanks();
        int t = line.name();
        if (isOneOf(line.p, t, dataTypes))
            defineKind(name, n, static_cast<uint8_t>(NameKind::dataLabel), definitionFlags::symbol);
    } else if (isOneOf(word, k, dataWords)) {
        defineKind(name, n, static_cast<uint8_t>(NameKind::dataLabel), definitionFlags::symbol);
    } else if (sameWordFolded(word, k, "macro")) {  // its parameters are no names inside the body
        ++s.bodyDepth;
        for (;;) {
            while (line.p < line.end && !startsName(*line.p) && *line.p != ';') ++line.p;
            int p = line.name();
            if (p == 0) break;
            s.blocked.push(Structure::Blocked{s.blockedNames.length(), p, s.bodyDepth});
            s.blockedNames.add(line.p, p);
            line.p += p;
            while (line.p < line.end && *line.p != ',' && *line.p != ';') ++line.p;  // :REQ, :=<default>
        }
    } else if (sameWordFolded(word, k, "struc") || sameWordFolded(word, k, "struct") ||
               sameWordFolded(word, k, "union")) {
        ++s.structDepth;
    } else if (sameWordFolded(word, k, "ends") && s.structDepth > 0) {  // else a segment's end
        --s.structDepth;
    } else if (sameWordFolded(word, k, "segment")) {  // NAME SEGMENT ... USE16
        int size = sizeWordOnLine(line);
        if (size != 0) setCodeBits(size);
    }
}
