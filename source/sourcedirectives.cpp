// What a source line does to the names: the directives that define,
// undefine, open and close, in NASM's, MASM's, GNU's and the C
// preprocessor's spellings, read from the line's first two words.
#include "sourcenames.h"

#include <cstring>

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
};

struct DirectiveWord {
    const char* word;  // lower case
    Action action;
};

// Directives that stand first on their line.
const DirectiveWord firstWords[] = {
    {"%define", Action::defineText},      {"%idefine", Action::defineText},
    {"%xdefine", Action::defineTextExpanded}, {"%ixdefine", Action::defineTextExpanded},
    {"%assign", Action::defineValue},     {"%iassign", Action::defineValue},
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
    {"#define", Action::defineText},      {"#undef", Action::undefine},
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
    {".endr", Action::closeBody},         {".equ", Action::defineListed},
    {".set", Action::defineListed},       {".equiv", Action::defineListed},
    {".eqv", Action::defineListed},       {"struc", Action::openStruct},
    {"endstruc", Action::closeStruct},
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

// The action of a directive word, or false.
bool directiveOf(const char* word, int n, Action* action) {
    // Every directive is a word of at most 11 bytes that starts with one of these.
    static constexpr char starts[] = "%#.iIeErRfFwWsS";
    if (n > 11 || std::memchr(starts, word[0], sizeof starts - 1) == nullptr) return false;
    for (const DirectiveWord& d : firstWords)
        if (sameWordFolded(word, n, d.word)) {
            *action = d.action;
            return true;
        }
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

}  // namespace

void JSourceNames::pass(const char* text, int n) {
    if (current != ready) return;
    if (preprocessorOnly && !startsOutsideCComment(text, n, structure->inCComment)) return;
    Line line(text, n);
    interpret(line);
}

// The line's first word: a directive, or a name that the next word defines.
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
    if (interpretDirective(line, word, n)) return;
    int k = nameLength(word, n);
    if (k > 0 && (k == n || (k == n - 1 && word[k] == ':'))) interpretNamed(line, word, k);
}

// A first word that is a directive; false when it is none.
bool JSourceNames::interpretDirective(Line& line, const char* word, int n) {
    Action action;
    if (n == 0 || !directiveOf(word, n, &action)) return false;
    Structure& s = *structure;
    line.skipBlanks();
    const char* name = line.p;
    int k = line.name();
    switch (action) {
        case Action::openBranch:
            if (s.branches.size() == deepestBranches) overflowed = true;
            s.branches.push(s.nextBranch++);
            return true;
        case Action::nextBranch:
            if (s.branches.size() == 0) s.confused = true;
            else s.branches[s.branches.size() - 1] = s.nextBranch++;
            return true;
        case Action::closeBranch:
            if (s.branches.size() == 0) s.confused = true;
            else s.branches.shrink(s.branches.size() - 1);
            return true;
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
        default:
            break;
    }
    if (k == 0) return true;
    line.p += k;
    const char* text;
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
            if (t > 0 && isOneOf(type, t, dataTypes)) defineKind(name, k, static_cast<uint8_t>(NameKind::dataLabel));
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
    } else if (action == Action::defineOther || (line.p < line.end && *line.p == '(')) {  // or %define NAME(x)
        defineKind(name, k, static_cast<uint8_t>(NameKind::ambiguous));
    } else if (action == Action::defineText || action == Action::defineTextExpanded) {
        int length = line.rest(&text);
        defineText(name, k, text, length, action == Action::defineTextExpanded);
    } else {  // %assign NAME expression; .equ NAME, expression
        line.skipBlanks();
        if (action == Action::defineListed && line.p < line.end && *line.p == ',') ++line.p;
        int length = line.rest(&text);
        defineValue(name, k, text, length, false);
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
        defineValue(name, n, text, length, k != 1);
    } else if (sameWordFolded(word, k, "textequ")) {
        int length = line.rest(&text);
        if (length >= 2 && text[0] == '<' && text[length - 1] == '>') {
            ++text;
            length -= 2;
        }
        defineText(name, n, text, length, false);
    } else if (sameWordFolded(word, k, "label")) {
        line.skipBlanks();
        int t = line.name();
        if (isOneOf(line.p, t, dataTypes)) defineKind(name, n, static_cast<uint8_t>(NameKind::dataLabel));
    } else if (isOneOf(word, k, dataWords)) {
        defineKind(name, n, static_cast<uint8_t>(NameKind::dataLabel));
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
    }
}

