#include "sourcenames.h"

#include <cstring>
#include <initializer_list>

#include "jasciicase.h"
#include "jstreamtokenizer.h"
#include "jstring.h"
#include "operand.h"
#include "words.h"

namespace {

// Text definitions put in place of names inside other text definitions at
// most this deep: a cycle (%define A B, %define B A) ends here.
constexpr int deepestSubstitution = 16;
// Substitution may lengthen an operand by at most this much.
constexpr int longestGrowth = 1 << 16;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A small array of plain records that grows by doubling.
template <typename T>
class Records {
public:
    Records() : items(nullptr), count(0), capacity(0) {}
    ~Records() { delete[] items; }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    void push(const T& item) {
        if (count == capacity) {
            int bigger = capacity > 0 ? capacity * 2 : 16;
            T* fresh = new T[bigger];
            for (int i = 0; i < count; ++i) fresh[i] = items[i];
            delete[] items;
            items = fresh;
            capacity = bigger;
        }
        items[count++] = item;
    }
    T& operator[](int i) { return items[i]; }
    const T& operator[](int i) const { return items[i]; }
    int size() const { return count; }
    void shrink(int n) { count = n; }

private:
    T* items;
    int count;
    int capacity;
};

uint32_t foldedHash(const char* text, int n) {
    uint32_t h = 2166136261u;
    for (int i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(asciiLowered(text[i]))) * 16777619u;
    return h;
}

bool sameFolded(const char* a, const char* b, int n) {
    for (int i = 0; i < n; ++i)
        if (asciiLowered(a[i]) != asciiLowered(b[i])) return false;
    return true;
}

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

}  // namespace

// One definition: what it makes of the name, and where it stands.
struct JSourceNames::Definition {
    uint8_t kind;      // NameKind
    bool counts;       // made outside every body and structure
    int64_t value;
    uint32_t textAt;   // kind text: its text in `texts`
    int32_t textLength;
    uint32_t branch;   // the conditional branch it stands in (0: none)
    int32_t depth;     // how many branches were open around it
};

struct JSourceNames::Entry {
    uint32_t nameAt;  // in `names`
    int32_t nameLength;
    uint32_t nextVariant;  // entry index + 1 of the next with the same folded name
    // The whole file.
    int32_t fileDefinitions;
    bool filePlain;  // every definition outside conditionals, bodies and structures, read, never undone
    Definition first;
    // Up to the current line.
    bool seen;    // a definition or %undef came before it
    bool undone;  // %undef after the last definition
    Definition last;
};

struct JSourceNames::Entries : Records<Entry> {};

// Conditional branches, bodies and structures open at the current line.
struct JSourceNames::Structure {
    struct Blocked {  // a MASM macro's parameter, not a name inside its body
        int at;
        int length;
        int depth;
    };
    Records<uint32_t> branches;  // innermost last
    uint32_t nextBranch = 1;
    int bodyDepth = 0;
    int structDepth = 0;
    bool confused = false;  // an end without its start
    Records<Blocked> blocked;
    JTextBuffer blockedNames;
};

// A cursor over one source line.
class JSourceNames::Line {
public:
    Line(const char* text, int n) : p(text), end(text + n) {}
    const char* p;
    const char* end;

    void skipBlanks() {
        while (p < end && isBlank(*p)) ++p;
    }
    bool atEnd() const { return p == end || *p == ';'; }
    // A directive word: up to a blank, ',', ';' or '='.
    int word() const {
        const char* q = p;
        while (q < end && !isBlank(*q) && *q != ',' && *q != ';' && *q != '=') ++q;
        return static_cast<int>(q - p);
    }
    int name() const { return nameLength(p, static_cast<int>(end - p)); }
    // The rest of the line up to a comment, without blanks around it.
    int rest(const char** text) {
        skipBlanks();
        const char* q = p;
        char quote = 0;
        for (; q < end; ++q) {
            if (quote != 0) {
                if (*q == quote) quote = 0;
            } else if (*q == '\'' || *q == '"') {
                quote = *q;
            } else if (*q == ';') {
                break;
            }
        }
        while (q > p && isBlank(q[-1])) --q;
        *text = p;
        return static_cast<int>(q - p);
    }
};

JSourceNames::JSourceNames()
    : current(unread), wholeFile(false), fileConfused(false), overflowed(false), entries(new Entries),
      buckets(nullptr), bucketMask(0), garbageBytes(0), structure(new Structure) {}

JSourceNames::~JSourceNames() {
    delete entries;
    delete[] buckets;
    delete structure;
}

// Forgets the state at a line (and, to learn the whole file, every entry).
void JSourceNames::reset(bool learnWholeFile) {
    wholeFile = learnWholeFile;
    delete structure;
    structure = new Structure;
    for (int i = 0; i < entries->size(); ++i) {
        (*entries)[i].seen = (*entries)[i].undone = false;
        (*entries)[i].last = Definition{};
    }
}

// The bucket of the folded name, or the empty one where it would go.
uint32_t JSourceNames::bucketOf(const char* name, int n) const {
    uint32_t slot = foldedHash(name, n) & bucketMask;
    for (; buckets[slot] != 0; slot = (slot + 1) & bucketMask) {
        const Entry& head = (*entries)[buckets[slot] - 1];
        if (head.nameLength == n && sameFolded(names.data() + head.nameAt, name, n)) break;
    }
    return slot;
}

int JSourceNames::lookup(const char* name, int n) const {
    if (buckets == nullptr) return -1;
    for (uint32_t e = buckets[bucketOf(name, n)]; e != 0; e = (*entries)[e - 1].nextVariant)
        if (std::memcmp(names.data() + (*entries)[e - 1].nameAt, name, static_cast<size_t>(n)) == 0)
            return static_cast<int>(e - 1);
    return -1;
}

int JSourceNames::findEntry(const char* name, int n) {
    int found = lookup(name, n);
    if (found >= 0) return found;
    if (buckets == nullptr) {
        bucketMask = 1023;
        buckets = new uint32_t[bucketMask + 1]();
    }
    uint32_t slot = bucketOf(name, n);
    if (entries->size() == mostNames || names.length() > mostTextBytes - n) {
        overflowed = true;
        return -1;
    }
    Entry e{};
    e.nameAt = static_cast<uint32_t>(names.length());
    e.nameLength = n;
    e.filePlain = true;
    names.add(name, n);
    int index = entries->size();
    entries->push(e);
    if (buckets[slot] != 0) {  // another variant: linked behind the first
        (*entries)[index].nextVariant = (*entries)[buckets[slot] - 1].nextVariant;
        (*entries)[buckets[slot] - 1].nextVariant = static_cast<uint32_t>(index + 1);
        return index;
    }
    buckets[slot] = static_cast<uint32_t>(index + 1);
    if (static_cast<uint32_t>(entries->size()) * 2 > bucketMask) {  // keep the table at most half full
        uint32_t mask = bucketMask * 2 + 1;
        uint32_t* fresh = new uint32_t[mask + 1]();
        for (uint32_t s = 0; s <= bucketMask; ++s) {
            if (buckets[s] == 0) continue;
            const Entry& head = (*entries)[buckets[s] - 1];
            uint32_t t = foldedHash(names.data() + head.nameAt, head.nameLength) & mask;
            while (fresh[t] != 0) t = (t + 1) & mask;
            fresh[t] = buckets[s];
        }
        delete[] buckets;
        buckets = fresh;
        bucketMask = mask;
    }
    return index;
}

// A definition counts only in its own branch and the branches inside it.
bool JSourceNames::standsOpen(const Definition& d) const {
    const Records<uint32_t>& open = structure->branches;
    return d.depth <= open.size() && (d.depth == 0 || open[d.depth - 1] == d.branch);
}

bool JSourceNames::isBlocked(const char* name, int n) const {
    const Structure& s = *structure;
    for (int i = 0; i < s.blocked.size(); ++i)
        if (s.blocked[i].length == n &&
            std::memcmp(s.blockedNames.data() + s.blocked[i].at, name, static_cast<size_t>(n)) == 0)
            return true;
    return false;
}

NameMeaning JSourceNames::meaning(const char* text, int n) const {
    const NameMeaning ambiguous = {NameKind::ambiguous, 0, nullptr, 0};
    if (current != ready || overflowed) return ambiguous;
    // This spelling's entry, and how many others in another case have definitions.
    int found = -1, otherCases = 0;
    for (uint32_t e = buckets != nullptr ? buckets[bucketOf(text, n)] : 0; e != 0; e = (*entries)[e - 1].nextVariant) {
        if (std::memcmp(names.data() + (*entries)[e - 1].nameAt, text, static_cast<size_t>(n)) == 0)
            found = static_cast<int>(e - 1);
        else if ((*entries)[e - 1].fileDefinitions > 0)
            ++otherCases;
    }
    if (otherCases > 0) return ambiguous;
    const Definition* d = nullptr;
    if (structure->bodyDepth > 0) {  // the body is read where it is used: one definition in the file, or none
        if (fileConfused || isBlocked(text, n)) return ambiguous;
        if (found < 0 || (*entries)[found].fileDefinitions == 0) return NameMeaning{NameKind::none, 0, nullptr, 0};
        const Entry& e = (*entries)[found];
        if (e.fileDefinitions != 1 || !e.filePlain) return ambiguous;
        d = &e.first;
    } else {
        if (structure->confused) return ambiguous;
        if (found < 0 || !(*entries)[found].seen) return NameMeaning{NameKind::none, 0, nullptr, 0};
        const Entry& e = (*entries)[found];
        if (e.undone || !e.last.counts || !standsOpen(e.last)) return ambiguous;
        d = &e.last;
    }
    return NameMeaning{static_cast<NameKind>(d->kind), d->value, texts.data() + d->textAt, d->textLength};
}

uint32_t JSourceNames::keepText(const char* text, int n) {
    if (texts.length() - garbageBytes > mostTextBytes - n) {
        overflowed = true;
        return 0;
    }
    if (garbageBytes > (1 << 20) && garbageBytes > texts.length() / 2) compactTexts();
    uint32_t at = static_cast<uint32_t>(texts.length());
    texts.add(text, n);
    return at;
}

// Moves the texts still referred to into a fresh buffer.
void JSourceNames::compactTexts() {
    JTextBuffer kept;
    for (int i = 0; i < entries->size(); ++i)
        for (Definition* d : {&(*entries)[i].first, &(*entries)[i].last}) {
            if (d->kind != static_cast<uint8_t>(NameKind::text) || d->textLength == 0) continue;
            uint32_t at = static_cast<uint32_t>(kept.length());
            kept.add(texts.data() + d->textAt, d->textLength);
            d->textAt = at;
        }
    texts.clear();
    texts.add(kept.data(), kept.length());
    garbageBytes = 0;
}

void JSourceNames::define(const char* name, int n, Definition d) {
    Structure& s = *structure;
    if (s.structDepth > 0) d.kind = static_cast<uint8_t>(NameKind::ambiguous);  // a field: an offset, not a label
    d.counts = s.bodyDepth == 0 && s.structDepth == 0;
    d.depth = s.branches.size();
    d.branch = d.depth > 0 ? s.branches[d.depth - 1] : 0;
    int found = findEntry(name, n);
    if (found < 0) return;
    Entry& e = (*entries)[found];
    if (e.last.kind == static_cast<uint8_t>(NameKind::text)) garbageBytes += e.last.textLength;
    if (wholeFile) {
        if (e.fileDefinitions == 0) e.first = d;
        if (e.fileDefinitions < 2) ++e.fileDefinitions;
        if (!d.counts || d.depth > 0 || d.kind == static_cast<uint8_t>(NameKind::ambiguous)) e.filePlain = false;
    }
    e.seen = true;
    e.undone = false;
    e.last = d;
}

void JSourceNames::undefine(const char* name, int n) {
    int found = findEntry(name, n);
    if (found < 0) return;
    Entry& e = (*entries)[found];
    e.seen = e.undone = true;
    if (wholeFile) e.filePlain = false;
}

void JSourceNames::defineKind(const char* name, int n, uint8_t kind) {
    Definition d{};
    d.kind = kind;
    define(name, n, d);
}

void JSourceNames::defineText(const char* name, int n, const char* text, int length, bool expandNow) {
    JTextBuffer expanded;
    if (expandNow) {
        if (!resolve(text, length, expanded, true)) return defineKind(name, n, static_cast<uint8_t>(NameKind::ambiguous));
        text = expanded.data();
        length = expanded.length();
    }
    Definition d{};
    d.kind = static_cast<uint8_t>(NameKind::text);
    d.textAt = keepText(text, length);
    d.textLength = length;
    if (overflowed) return;
    define(name, n, d);
}

// A constant's expression: its value when pakhod can work it out. With
// registersMakeText (EQU), one naming a register is text, as MASM reads it.
void JSourceNames::defineValue(const char* name, int n, const char* expression, int length, bool registersMakeText) {
    if (length >= 2 && expression[0] == '<' && expression[length - 1] == '>')  // MASM's <text>
        return defineText(name, n, expression + 1, length - 2, false);
    for (int i = 0; registersMakeText && i < length;) {
        int k = nameLength(expression + i, length - i);
        if (k > 0 && isAnyRegister(expression + i, k)) return defineText(name, n, expression, length, false);
        i += k > 0 ? k : 1;
    }
    Definition d{};
    if (!resolve(expression, length, scratch, true)) {
        d.kind = static_cast<uint8_t>(NameKind::ambiguous);
    } else if (readConstantExpression(scratch.data(), scratch.length(), &d.value)) {
        d.kind = static_cast<uint8_t>(NameKind::value);
    } else {
        d.kind = static_cast<uint8_t>(NameKind::constant);
    }
    define(name, n, d);
}

void JSourceNames::pass(const char* text, int n) {
    if (current != ready) return;
    Line line(text, n);
    interpret(line);
}

// The line's first word: a directive, or a name that the next word defines.
void JSourceNames::interpret(Line& line) {
    line.skipBlanks();
    if (line.atEnd()) return;
    const char* word = line.p;
    int n = line.word();
    if (*word == '#' && n == 1) {  // "# if": C allows blanks after the '#'
        ++line.p;
        line.skipBlanks();
        JTextBuffer joined;
        joined.add('#');
        joined.add(line.p, line.word());
        Line rest(line.p, static_cast<int>(line.end - line.p));
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

// The source is read by whole lines into a string of its own (not the
// line loop's reader, which the compiler then keeps in the loop's code).
int JSourceNames::learn(JStream* source, int32_t resumeAt) {
    JStreamTokenizer lines;
    JString line;
    current = ready;
    reset(true);
    lines.setStream(source);
    while (lines.readLine(line) > 0) pass(line.data, line.length());
    bool whole = static_cast<uint32_t>(lines.position) == source->size();
    fileConfused = structure->confused;
    reset(false);
    lines.setStream(source);
    while (whole && lines.position < resumeAt && lines.readLine(line) > 0) pass(line.data, line.length());
    source->seek(resumeAt, 0);
    if (!whole) current = unknown;
    return whole ? 1 : 0;
}

int JSourceNames::resolve(const char* text, int n, JTextBuffer& out, bool withValues, bool* changed) const {
    bool any = false;
    out.clear();
    int64_t limit = int64_t{n} + longestGrowth;
    int resolved = resolveInto(text, n, out, withValues, 0, limit > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(limit), &any);
    if (changed != nullptr) *changed = any;
    return resolved;
}

int JSourceNames::resolveInto(const char* text, int n, JTextBuffer& out, bool withValues, int depth, int limit,
                              bool* changed) const {
    for (int i = 0; i < n;) {
        int k = nameLength(text + i, n - i);
        if (isDigit(text[i])) {  // a number, letters and all (0ffh)
            k = 1;
            while (i + k < n && continuesName(text[i + k])) ++k;
            out.add(text + i, k);
        } else if (k == 0) {
            out.add(text[i]);
            k = 1;
        } else if (isAnyRegister(text + i, k) || isOperandKeyword(text + i, k)) {
            out.add(text + i, k);
        } else {
            if (std::memchr(text + i, '$', static_cast<size_t>(k)) != nullptr) return 0;
            NameMeaning m = meaning(text + i, k);
            switch (m.kind) {
                case NameKind::ambiguous:
                    return 0;
                case NameKind::text:
                    *changed = true;
                    if (depth == deepestSubstitution ||
                        !resolveInto(m.text, m.length, out, withValues, depth + 1, limit, changed))
                        return 0;
                    break;
                case NameKind::value: {
                    if (!withValues) {
                        out.add(text + i, k);
                        break;
                    }
                    *changed = true;
                    char digits[24];
                    int d = sizeof digits;
                    uint64_t v = m.value < 0 ? 0 - static_cast<uint64_t>(m.value) : static_cast<uint64_t>(m.value);
                    if (m.value < 0) digits[--d] = ')';
                    do {
                        digits[--d] = static_cast<char>('0' + v % 10);
                        v /= 10;
                    } while (v != 0);
                    if (m.value < 0) {
                        digits[--d] = '-';
                        digits[--d] = '(';
                    }
                    out.add(digits + d, static_cast<int>(sizeof digits) - d);
                    break;
                }
                default:
                    out.add(text + i, k);
                    break;
            }
        }
        if (out.length() > limit) return 0;
        i += k;
    }
    return 1;
}
