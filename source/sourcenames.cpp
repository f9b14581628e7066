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

// Text definitions put in place of names inside other text definitions at
// most this deep: a cycle (%define A B, %define B A) ends here.
constexpr int deepestSubstitution = 16;
// Substitution may lengthen an operand by at most this much.
constexpr int longestGrowth = 1 << 16;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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
        Entry& e = (*entries)[i];
        if (!sharesText(e)) garbageBytes += e.last.textLength;
        e.seen = e.undone = false;
        e.last = Definition{};
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
    if (structure->bodyDepth > 0 || macroBody) {  // the body is read where it is used: one definition in the file, or none
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

// A line read from the source; the first one without a UTF-8 byte order
// mark.
void JSourceNames::passLine(const JString& line, bool first) {
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
    for (bool first = true; lines.readLine(line) > 0; first = false) passLine(line, first);
    bool whole = static_cast<uint32_t>(lines.position) == source->size();
    fileConfused = structure->confused;
    reset(false);
    lines.setStream(source);
    for (bool first = true; whole && lines.position < resumeAt && lines.readLine(line) > 0; first = false)
        passLine(line, first);
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
