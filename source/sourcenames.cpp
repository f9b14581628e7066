#include "sourcenames.h"

#include <cstring>
#include <initializer_list>

#include "jasciicase.h"
#include "jstreamtokenizer.h"
#include "jstring.h"
#include "expression.h"
#include "sourcenames_parts.h"
#include "words.h"

namespace {

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

}  // namespace

JSourceNames::JSourceNames()
    : current(unread), wholeFile(false), fileConfused(false), overflowed(false), skipped(false), nasmSource(false),
      bits(32), entries(new Entries), buckets(nullptr), bucketMask(0), garbageBytes(0), structure(new Structure),
      decisions(new Decisions), reach(new Reach) {
    reach->files.push(Reach::File{"", 0});
}

JSourceNames::~JSourceNames() {
    delete entries;
    delete[] buckets;
    delete structure;
    delete decisions;
    delete reach;
}

void JSourceNames::setSource(const SourceSetting& setting) {
    reach->setting = setting;
    reach->files[0].path = setting.name;
}

// Forgets the state at a line (and, to learn the whole file, every entry),
// and starts a reading of the source: the command line's names first.
void JSourceNames::reset(bool learnWholeFile) {
    wholeFile = learnWholeFile;
    delete structure;
    structure = new Structure;
    for (int i = 0; i < entries->size(); ++i) {
        Entry& e = (*entries)[i];
        if (!sharesText(e)) garbageBytes += e.last.textLength;
        e.seen = e.undone = false;
        e.last = Definition{};
    }
    skipped = false;
    bits = 32;
    reach->files.shrink(1);
    reach->files[0].line = 0;
    reach->inclusions = 0;
    reach->includedBytes = 0;
    decisions->madeInReading = 0;
    defineFromCommandLine();
}

// -D NAME[=VALUE] is a %define of VALUE (empty without one); -U NAME undoes
// a name.
void JSourceNames::defineFromCommandLine() {
    const SourceSetting& setting = reach->setting;
    for (int i = 0; i < setting.nameCount; ++i) {
        const char* text = setting.names[i].text;
        const char* equals = std::strchr(text, '=');
        int n = equals != nullptr ? static_cast<int>(equals - text) : static_cast<int>(std::strlen(text));
        if (n == 0 || nameLength(text, n) != n) continue;
        if (setting.names[i].undefine) {
            undefine(text, n);
        } else {
            const char* value = equals != nullptr ? equals + 1 : text + n;
            defineText(text, n, value, static_cast<int>(std::strlen(value)), false, definitionFlags::macro);
        }
    }
}

// The last definition's text is the first's (kept once).
bool JSourceNames::sharesText(const Entry& e) {
    return e.last.kind != static_cast<uint8_t>(NameKind::text) ||
           (e.first.kind == e.last.kind && e.first.textAt == e.last.textAt);
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
    const sourcenames::Records<uint32_t>& open = structure->branches;
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
    bool unsure = false;
    const Definition* d = definitionAt(text, n, &unsure);
    return meaningOf(d, unsure);
}

// What a definition makes of a name; a macro with parameters named without
// them is not sure.
NameMeaning JSourceNames::meaningOf(const Definition* d, bool unsure) const {
    if (unsure || (d != nullptr && d->parameters > 0)) return NameMeaning{NameKind::ambiguous, 0, nullptr, 0};
    if (d == nullptr) return NameMeaning{NameKind::none, 0, nullptr, 0};
    if (d->decisions != 0) useDecisions(d->decisions);
    return NameMeaning{static_cast<NameKind>(d->kind), d->value, texts.data() + d->textAt, d->textLength};
}

// The definition that counts for the name text[0..n) at the current line;
// null when none does (the assembler's to resolve), or when it cannot be
// known (*ambiguous).
const JSourceNames::Definition* JSourceNames::definitionAt(const char* text, int n, bool* ambiguous) const {
    *ambiguous = true;
    if (current != ready || overflowed) return nullptr;
    // This spelling's entry, and whether others in another case have definitions.
    int found = -1;
    bool otherCases = false;
    for (uint32_t e = buckets != nullptr ? buckets[bucketOf(text, n)] : 0; e != 0; e = (*entries)[e - 1].nextVariant) {
        if (std::memcmp(names.data() + (*entries)[e - 1].nameAt, text, static_cast<size_t>(n)) == 0)
            found = static_cast<int>(e - 1);
        else if ((*entries)[e - 1].fileDefinitions > 0)
            otherCases = true;
    }
    if (otherCases) return caselessVariant(text, n, found, ambiguous);
    *ambiguous = false;
    if (structure->bodyDepth > 0 || macroBody) {  // the body is read where it is used: one definition in the file, or none
        if (found < 0 || (*entries)[found].fileDefinitions == 0) {
            *ambiguous = fileConfused || isBlocked(text, n);
            return nullptr;
        }
        const Entry& e = (*entries)[found];
        *ambiguous = fileConfused || isBlocked(text, n) || e.fileDefinitions != 1 || !e.filePlain;
        return *ambiguous ? nullptr : &e.first;
    }
    *ambiguous = structure->confused;
    if (*ambiguous || found < 0) return nullptr;
    const Entry& e = (*entries)[found];
    if (!e.seen) return laterSymbol(e, ambiguous);
    *ambiguous = e.undone || !e.last.counts || !standsOpen(e.last);
    return *ambiguous ? nullptr : &e.last;
}

// A name used before the file defines it: the assembler resolves its own
// symbols (data labels, equ constants) over the whole file, so one such
// definition, outside undecided branches, counts; a symbol defined so
// otherwise cannot be known. What the preprocessor defines later does not
// count yet.
const JSourceNames::Definition* JSourceNames::laterSymbol(const Entry& e, bool* ambiguous) const {
    if (e.fileDefinitions == 0 || (e.first.flags & definitionFlags::symbol) == 0) return nullptr;
    *ambiguous = e.fileDefinitions != 1 || !e.filePlain;
    return *ambiguous ? nullptr : &e.first;
}

// The name is defined in other letter cases: a definition that ignores case
// (%idefine) names this spelling too, when it is the only one of all the
// spellings and counts here.
const JSourceNames::Definition* JSourceNames::caselessVariant(const char* text, int n, int found, bool* ambiguous) const {
    *ambiguous = true;
    if (structure->bodyDepth > 0 || structure->confused || (found >= 0 && (*entries)[found].fileDefinitions > 0))
        return nullptr;
    const Definition* only = nullptr;
    for (uint32_t i = buckets[bucketOf(text, n)]; i != 0; i = (*entries)[i - 1].nextVariant) {
        const Entry& e = (*entries)[i - 1];
        if (e.fileDefinitions == 0) continue;
        if (only != nullptr || !e.seen || e.undone || !e.last.counts || !standsOpen(e.last) ||
            (e.last.flags & definitionFlags::caseless) == 0)
            return nullptr;
        only = &e.last;
    }
    *ambiguous = false;
    return only;
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
    for (int i = 0; i < entries->size(); ++i) {
        Entry& e = (*entries)[i];
        const bool shared = sharesText(e);
        for (Definition* d : {&e.first, &e.last}) {
            if (d->kind != static_cast<uint8_t>(NameKind::text)) continue;
            if (d == &e.last && shared) {
                d->textAt = e.first.textAt;
                continue;
            }
            uint32_t at = static_cast<uint32_t>(kept.length());
            kept.add(texts.data() + d->textAt, d->textLength);
            d->textAt = at;
        }
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
    d.decisions = decisionsHere();
    int found = findEntry(name, n);
    if (found < 0) return;
    Entry& e = (*entries)[found];
    if (!sharesText(e)) garbageBytes += e.last.textLength;
    if (wholeFile) {
        if (e.fileDefinitions == 0) e.first = d;
        if (e.fileDefinitions < 2) ++e.fileDefinitions;
        if (!d.counts || d.depth > 0 || d.kind == static_cast<uint8_t>(NameKind::ambiguous)) e.filePlain = false;
    }
    e.seen = true;
    e.undone = false;
    e.last = d;
}

// %undef, -U: where it stands is kept, so that a conditional after it knows
// whether it counts.
void JSourceNames::undefine(const char* name, int n) {
    int found = findEntry(name, n);
    if (found < 0) return;
    Entry& e = (*entries)[found];
    if (!sharesText(e)) garbageBytes += e.last.textLength;
    const Structure& s = *structure;
    e.last = Definition{};
    e.last.kind = static_cast<uint8_t>(NameKind::ambiguous);
    e.last.counts = s.bodyDepth == 0 && s.structDepth == 0;
    e.last.depth = s.branches.size();
    e.last.branch = e.last.depth > 0 ? s.branches[e.last.depth - 1] : 0;
    e.seen = e.undone = true;
    if (wholeFile) e.filePlain = false;
}

void JSourceNames::defineKind(const char* name, int n, uint8_t kind, uint8_t flags) {
    Definition d{};
    d.kind = kind;
    d.flags = flags;
    define(name, n, d);
}

void JSourceNames::defineText(const char* name, int n, const char* text, int length, bool expandNow, uint8_t flags,
                              uint8_t parameters) {
    JTextBuffer expanded;
    if (expandNow) {
        if (!resolve(text, length, expanded, true))
            return defineKind(name, n, static_cast<uint8_t>(NameKind::ambiguous), flags);
        text = expanded.data();
        length = expanded.length();
    }
    Definition d{};
    d.kind = static_cast<uint8_t>(NameKind::text);
    d.flags = flags;
    d.parameters = parameters;
    d.textLength = length;
    // Read again after the whole file was, the first definition is the one
    // kept then.
    int found = wholeFile ? -1 : lookup(name, n);
    const Definition* first = found >= 0 && !(*entries)[found].seen ? &(*entries)[found].first : nullptr;
    if (first != nullptr && first->kind == d.kind && first->textLength == length &&
        (length == 0 || std::memcmp(texts.data() + first->textAt, text, static_cast<size_t>(length)) == 0)) {
        d.textAt = first->textAt;
    } else {
        d.textAt = keepText(text, length);
        if (overflowed) return;
    }
    define(name, n, d);
}

// %define NAME(a, b) body: kept as the text "a,b)body". `text` runs from
// after the '(' to the end of the definition.
void JSourceNames::defineMacro(const char* name, int n, const char* text, int length, uint8_t flags) {
    JTextBuffer kept;
    int count = 0, i = 0;
    for (;;) {
        while (i < length && sourcenames::isBlank(text[i])) ++i;
        int k = nameLength(text + i, length - i);
        if (k == 0 || count == mostParameters) return defineKind(name, n, static_cast<uint8_t>(NameKind::ambiguous), flags);
        kept.add(text + i, k);
        ++count;
        i += k;
        while (i < length && sourcenames::isBlank(text[i])) ++i;
        if (i == length || text[i] != ',') break;
        kept.add(text[i++]);
    }
    if (i == length || text[i] != ')') return defineKind(name, n, static_cast<uint8_t>(NameKind::ambiguous), flags);
    kept.add(text[i++]);
    while (i < length && sourcenames::isBlank(text[i])) ++i;
    kept.add(text + i, length - i);
    defineText(name, n, kept.data(), kept.length(), false, flags, static_cast<uint8_t>(count));
}

// A constant's expression: its value when pakhod can work it out. With
// registersMakeText (EQU), one naming a register is text, as MASM reads it.
void JSourceNames::defineValue(const char* name, int n, const char* expression, int length, bool registersMakeText,
                               uint8_t flags) {
    if (length >= 2 && expression[0] == '<' && expression[length - 1] == '>')  // MASM's <text>
        return defineText(name, n, expression + 1, length - 2, false, definitionFlags::macro);
    for (int i = 0; registersMakeText && i < length;) {
        int k = nameLength(expression + i, length - i);
        if (k > 0 && isAnyRegister(expression + i, k))
            return defineText(name, n, expression, length, false, definitionFlags::macro);
        i += k > 0 ? k : 1;
    }
    Definition d{};
    d.flags = flags;
    if (!resolve(expression, length, scratch, true)) {
        d.kind = static_cast<uint8_t>(NameKind::ambiguous);
    } else if (readConstantExpression(scratch.data(), scratch.length(), &d.value)) {
        d.kind = static_cast<uint8_t>(NameKind::value);
    } else {
        d.kind = static_cast<uint8_t>(NameKind::constant);
    }
    define(name, n, d);
}

// A line read from the source; the first one without a UTF-8 byte order
// mark.
void JSourceNames::passSourceLine(const JString& line, bool first) {
    const int n = line.length();
    const bool marked = first && n >= 3 && std::memcmp(line.data, "\xEF\xBB\xBF", 3) == 0;
    pass(line.data + (marked ? 3 : 0), n - (marked ? 3 : 0));
}

// The source is read by whole lines into a string of its own (not the
// line loop's reader, which the compiler then keeps in the loop's code).
int JSourceNames::learn(JStream* source, int32_t resumeAt) {
    JStreamTokenizer lines;
    JString line;
    current = ready;
    reset(true);
    lines.setStream(source);
    for (bool first = true; lines.readLine(line) > 0; first = false) passSourceLine(line, first);
    bool whole = static_cast<uint32_t>(lines.position) == source->size();
    fileConfused = structure->confused;
    reset(false);
    lines.setStream(source);
    for (bool first = true; whole && lines.position < resumeAt && lines.readLine(line) > 0; first = false)
        passSourceLine(line, first);
    source->seek(resumeAt, 0);
    if (!whole) current = unknown;
    return whole ? 1 : 0;
}
