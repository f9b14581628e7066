// Conditionals decided as the assembler decides them, where pakhod can:
// %ifdef NAME and %if on values it knows (NASM), IFDEF and IF (MASM, TASM),
// .ifdef and .if (GNU). A decided conditional keeps its taken branch only;
// one pakhod cannot decide keeps every branch, and what its branches define
// stays tied to them. Each name taken as not defined that decided a branch
// is kept with its place, for the note about the ones an encoded line
// relied on.
#include <cstring>

#include "expression.h"
#include "sourcenames.h"
#include "sourcenames_parts.h"
#include "words.h"

using sourcenames::addText;

// What a conditional directive asks.
enum class JSourceNames::Test : uint8_t {
    unknown,      // nothing pakhod can decide (%ifidn, IFB, #if, ...)
    always,       // else
    nonzero,      // %if, IF, .if: the expression is not 0
    zero,         // %ifn, IFE, .ifeq
    notNegative,  // .ifge
    positive,     // .ifgt
    notPositive,  // .ifle
    negative,     // .iflt
    defined,      // %ifdef, IFDEF, .ifdef
    notDefined,   // %ifndef, IFNDEF, .ifndef
};

enum class JSourceNames::Truth : uint8_t { no, yes, unknown };

namespace {

using Test = JSourceNames::Test;  // for the table below

struct ConditionWord {
    const char* word;  // lower case
    Test test;
    bool macrosOnly;  // NASM's: only the preprocessor's names are defined
};

const ConditionWord conditionWords[] = {
    {"%if", Test::nonzero, true},         {"%elif", Test::nonzero, true},       {"%ifn", Test::zero, true},
    {"%elifn", Test::zero, true},         {"%ifdef", Test::defined, true},      {"%elifdef", Test::defined, true},
    {"%ifndef", Test::notDefined, true},  {"%elifndef", Test::notDefined, true}, {"%else", Test::always, true},
    {"if", Test::nonzero, false},         {"elseif", Test::nonzero, false},     {"ife", Test::zero, false},
    {"elseife", Test::zero, false},       {"ifdef", Test::defined, false},      {"elseifdef", Test::defined, false},
    {"ifndef", Test::notDefined, false},  {"elseifndef", Test::notDefined, false}, {"else", Test::always, false},
    {".if", Test::nonzero, false},        {".elseif", Test::nonzero, false},    {".ifne", Test::nonzero, false},
    {".ifeq", Test::zero, false},         {".ifge", Test::notNegative, false},  {".ifgt", Test::positive, false},
    {".ifle", Test::notPositive, false},  {".iflt", Test::negative, false},     {".ifdef", Test::defined, false},
    {".ifndef", Test::notDefined, false}, {".ifnotdef", Test::notDefined, false}, {".else", Test::always, false},
    {"#else", Test::always, false},
};

const ConditionWord& conditionOf(const char* word, int n) {
    static const ConditionWord unknown = {"", Test::unknown, false};
    for (const ConditionWord& c : conditionWords)
        if (sameWordFolded(word, n, c.word)) return c;
    return unknown;
}

// Comparisons an %if or IF may make between two values.
enum class Comparison : uint8_t { none, equal, unequal, less, lessOrEqual, greater, greaterOrEqual };

struct ComparisonWord {
    const char* word;
    Comparison comparison;
};

// Longer spellings first, so that "<=" is not read as "<".
const ComparisonWord comparisonWords[] = {
    {"==", Comparison::equal},  {"!=", Comparison::unequal}, {"<>", Comparison::unequal},
    {"<=", Comparison::lessOrEqual}, {">=", Comparison::greaterOrEqual}, {"<", Comparison::less},
    {">", Comparison::greater}, {"=", Comparison::equal},    {"eq", Comparison::equal},
    {"ne", Comparison::unequal}, {"lt", Comparison::less},   {"le", Comparison::lessOrEqual},
    {"gt", Comparison::greater}, {"ge", Comparison::greaterOrEqual},
};

// The comparison at text[i], outside parentheses: its length, or 0. Word
// operators (MASM's EQ) stand as whole words.
int comparisonAt(const char* text, int n, int i, Comparison* comparison) {
    for (const ComparisonWord& c : comparisonWords) {
        int k = static_cast<int>(std::strlen(c.word));
        bool isWord = c.word[0] >= 'a';
        if (isWord && (nameLength(text + i, n - i) != k || (i > 0 && continuesName(text[i - 1])))) continue;
        bool same = i + k <= n && (isWord ? sameWordFolded(text + i, k, c.word)
                                          : std::memcmp(text + i, c.word, static_cast<size_t>(k)) == 0);
        if (same) {
            *comparison = c.comparison;
            return k;
        }
    }
    return 0;
}

bool compare(int64_t a, int64_t b, Comparison c) {
    switch (c) {
        case Comparison::equal: return a == b;
        case Comparison::unequal: return a != b;
        case Comparison::less: return a < b;
        case Comparison::lessOrEqual: return a <= b;
        case Comparison::greater: return a > b;
        case Comparison::greaterOrEqual: return a >= b;
        case Comparison::none: break;
    }
    return a != 0;
}

// A value against 0, as the test asks.
bool passes(int64_t value, Test test) {
    switch (test) {
        case Test::zero: return value == 0;
        case Test::notNegative: return value >= 0;
        case Test::positive: return value > 0;
        case Test::notPositive: return value <= 0;
        case Test::negative: return value < 0;
        default: return value != 0;
    }
}

}  // namespace

// The decisions the definitions made here rest on.
uint32_t JSourceNames::decisionsHere() const {
    const Structure& s = *structure;
    return s.conditionals.size() > 0 ? s.conditionals[s.conditionals.size() - 1].decisions : 0;
}

void JSourceNames::openConditional(const char* word, int n, Line& line) {
    Structure& s = *structure;
    if (s.conditionals.size() == deepestBranches) overflowed = true;
    Conditional c{};
    if (skipped) {
        c.branch = Conditional::skipped;
        c.outerSkipped = true;
        s.conditionals.push(c);
        return;
    }
    c.decisions = decisionsHere();
    s.conditionals.push(c);
    settleBranch(word, n, line);
}

void JSourceNames::nextBranch(const char* word, int n, Line& line) {
    Structure& s = *structure;
    if (s.conditionals.size() == 0) {
        s.confused = true;
        return;
    }
    Conditional& c = s.conditionals[s.conditionals.size() - 1];
    if (c.outerSkipped) return;
    if (c.hasId) s.branches.shrink(s.branches.size() - 1);
    c.hasId = false;
    if (c.anyTaken) {
        c.branch = Conditional::skipped;
        return;
    }
    settleBranch(word, n, line);
}

// The innermost conditional's branch that starts here: taken when its
// condition holds and no earlier branch may have been; skipped when the
// condition fails or an earlier branch was taken; else undecided, with a
// branch id of its own.
void JSourceNames::settleBranch(const char* word, int n, Line& line) {
    Structure& s = *structure;
    const ConditionWord& condition = conditionOf(word, n);
    int undefinedName = -1;
    // Inside a body a conditional is decided where the body is used.
    Truth truth = s.bodyDepth > 0 ? Truth::unknown : evaluate(condition.test, condition.macrosOnly, line, &undefinedName);
    Conditional& c = s.conditionals[s.conditionals.size() - 1];
    if (undefinedName >= 0 && truth != Truth::unknown) c.decisions = decide(c.decisions, undefinedName);
    if (truth == Truth::no) {
        c.branch = Conditional::skipped;
    } else if (truth == Truth::yes && !c.anyUndecided) {
        c.branch = Conditional::taken;
        c.anyTaken = true;
    } else {
        c.branch = Conditional::undecided;
        c.anyUndecided = true;
        c.hasId = true;
        s.branches.push(s.nextBranch++);
    }
}

void JSourceNames::closeConditional() {
    Structure& s = *structure;
    if (s.conditionals.size() == 0) {
        s.confused = true;
        return;
    }
    if (s.conditionals[s.conditionals.size() - 1].hasId) s.branches.shrink(s.branches.size() - 1);
    s.conditionals.shrink(s.conditionals.size() - 1);
}

// Whether the condition holds; *undefinedName: the entry of a name taken
// as not defined that decided it.
JSourceNames::Truth JSourceNames::evaluate(Test test, bool macrosOnly, Line& line, int* undefinedName) {
    if (test == Test::unknown) return Truth::unknown;
    if (test == Test::always) return Truth::yes;
    if (test == Test::defined || test == Test::notDefined) {
        int k = line.name();
        Truth t = k > 0 ? definedness(line.p, k, macrosOnly, undefinedName) : Truth::unknown;
        if (test == Test::notDefined && t != Truth::unknown) t = t == Truth::yes ? Truth::no : Truth::yes;
        return t;
    }
    const char* text;
    int n = line.rest(&text);
    return truthOfExpression(test, text, n);
}

// Whether the name is defined here: by a definition that counts here
// (NASM's %ifdef sees only the preprocessor's). Not known where the last
// one stands in an undecided branch or a body, or the name is spelt in
// several cases. A name nothing defined or undid before is taken as not
// defined, and named in *undefinedName.
JSourceNames::Truth JSourceNames::definedness(const char* name, int n, bool macrosOnly, int* undefinedName) {
    int found = lookup(name, n);
    for (uint32_t e = buckets != nullptr ? buckets[bucketOf(name, n)] : 0; e != 0; e = (*entries)[e - 1].nextVariant)
        if (static_cast<int>(e - 1) != found && (*entries)[e - 1].seen) return Truth::unknown;
    if (found < 0 || !(*entries)[found].seen) {
        *undefinedName = found >= 0 ? found : findEntry(name, n);
        return Truth::no;
    }
    const Entry& e = (*entries)[found];
    if (!e.last.counts || !standsOpen(e.last)) return Truth::unknown;
    if (e.undone) return Truth::no;
    return macrosOnly && (e.last.flags & definitionFlags::macro) == 0 ? Truth::no : Truth::yes;
}

// An expression's value against 0, or two values compared; not known when
// a name in it has no value pakhod knows.
JSourceNames::Truth JSourceNames::truthOfExpression(Test test, const char* text, int n) {
    if (!resolve(text, n, scratch, true)) return Truth::unknown;
    const char* e = scratch.data();
    int length = scratch.length();
    Comparison comparison = Comparison::none;
    int at = 0, k = 0;
    for (int depth = 0; at < length && k == 0; ++at) {
        depth += (e[at] == '(') - (e[at] == ')');
        if (depth == 0) k = comparisonAt(e, length, at, &comparison);
    }
    int64_t left = 0, right = 0;
    if (k == 0) {
        if (!readConstantExpression(e, length, &left)) return Truth::unknown;
        return passes(left, test) ? Truth::yes : Truth::no;
    }
    --at;
    if (!readConstantExpression(e, at, &left) || !readConstantExpression(e + at + k, length - at - k, &right))
        return Truth::unknown;
    return compare(left, right, comparison) == (test != Test::zero) ? Truth::yes : Truth::no;
}

// A decision by the name `name` in the decisions `parent`: the one an
// earlier reading made here, or a new one.
uint32_t JSourceNames::decide(uint32_t parent, int name) {
    Decisions& ds = *decisions;
    int k = ds.madeInReading++;
    if (k < ds.made.size()) return static_cast<uint32_t>(k + 1);
    if (k != ds.made.size() || k == mostDecisions) return parent;
    Decisions::Decision d{};
    d.name = static_cast<uint32_t>(name);
    d.parent = parent;
    const JTextBuffer& place = placeText();
    d.placeAt = static_cast<uint32_t>(ds.places.length());
    d.placeLength = place.length();
    ds.places.add(place.data(), place.length());
    ds.made.push(d);
    return static_cast<uint32_t>(k + 1);
}

// A definition resting on the decisions `chain` was looked at for the
// current line.
void JSourceNames::useDecisions(uint32_t chain) const {
    Decisions& ds = *decisions;
    Decisions::Decision& d = ds.made[static_cast<int>(chain) - 1];
    if (d.triedBy == ds.line) return;
    d.triedBy = ds.line;
    ds.tried.push(chain);
}

void JSourceNames::beginLine() {
    ++decisions->line;
    decisions->tried.shrink(0);
}

void JSourceNames::noteUndefinedNames() const {
    const Decisions& ds = *decisions;
    JSourceFiles* files = reach->setting.files;
    if (files == nullptr) return;
    sourcenames::Records<uint32_t> noted;
    for (int i = 0; i < ds.made.size(); ++i) {
        const Decisions::Decision& d = ds.made[i];
        const Entry& e = (*entries)[static_cast<int>(d.name)];
        if (!d.used || e.fileDefinitions > 0) continue;  // a name the source defines decides as it says (a guard)
        bool again = false;
        for (int j = 0; j < noted.size(); ++j) again = again || noted[j] == d.name;
        if (again) continue;
        noted.push(d.name);
        JTextBuffer& text = reach->message;
        text.clear();
        const char* name = names.data() + e.nameAt;
        addText(text, "pakhod: note: taken as not defined: ");
        text.add(name, e.nameLength);
        addText(text, " (");
        text.add(ds.places.data() + d.placeAt, d.placeLength);
        addText(text, "); if your build defines it, give -D ");
        text.add(name, e.nameLength);
        text.add('\0');
        files->note(text.data());
    }
}
