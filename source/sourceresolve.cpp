// Names put in place: text definitions read again, values as digits, and
// macros with parameters given their arguments, as NASM expands them.
#include <cstring>

#include "sourcenames.h"
#include "sourcenames_parts.h"
#include "words.h"

using sourcenames::isBlank;

namespace {

// Text definitions put in place of names inside other text definitions at
// most this deep: a cycle (%define A B, %define B A) ends here.
constexpr int deepestSubstitution = 16;
// Substitution may lengthen an operand by at most this much.
constexpr int longestGrowth = 1 << 16;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the number word at text (a decimal digit first, letters
// and all: 0ffh).
int numberLength(const char* text, int n) {
    int k = 1;
    while (k < n && continuesName(text[k])) ++k;
    return k;
}

// A value as decimal digits, a negative one in parentheses.
void addDigits(JTextBuffer& out, int64_t value) {
    char digits[24];
    int d = sizeof digits;
    uint64_t v = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    if (value < 0) digits[--d] = ')';
    do {
        digits[--d] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0) {
        digits[--d] = '-';
        digits[--d] = '(';
    }
    out.add(digits + d, static_cast<int>(sizeof digits) - d);
}

struct Piece {
    const char* at;
    int length;
};

Piece trimmed(const char* at, int n) {
    while (n > 0 && isBlank(*at)) ++at, --n;
    while (n > 0 && isBlank(at[n - 1])) --n;
    return Piece{at, n};
}

// The macro's parameter named text[0..n): its place in the list "a,b,c",
// or -1.
int parameterNamed(const char* list, int listLength, const char* text, int n) {
    for (int i = 0, place = 0; i < listLength; ++place) {
        int k = 0;
        while (i + k < listLength && list[i + k] != ',') ++k;
        if (k == n && std::memcmp(list + i, text, static_cast<size_t>(n)) == 0) return place;
        i += k + 1;
    }
    return -1;
}

// The arguments of a macro's use: text[0..n) starts with them in
// parentheses, split at commas outside inner ones. *used: the bytes up to
// the closing one. 0 when they are not `count`.
int readArguments(const char* text, int n, int count, Piece* arguments, int* used) {
    int i = 0;
    while (i < n && isBlank(text[i])) ++i;
    if (i == n || text[i] != '(') return 0;
    int given = 0, nesting = 0;
    for (int start = ++i; i < n; ++i) {
        char c = text[i];
        if (c == '(') {
            ++nesting;
        } else if (c == ')' && nesting > 0) {
            --nesting;
        } else if ((c == ',' || c == ')') && nesting == 0) {
            if (given == count) return 0;
            arguments[given++] = trimmed(text + start, i - start);
            if (c == ')') break;
            start = i + 1;
        }
    }
    *used = i + 1;
    return i < n && given == count;
}

}  // namespace

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
        if (isDigit(text[i])) {
            k = numberLength(text + i, n - i);
            out.add(text + i, k);
        } else if (k == 0) {
            out.add(text[i]);
            k = 1;
        } else if (isAnyRegister(text + i, k) || isOperandKeyword(text + i, k)) {
            out.add(text + i, k);
        } else {
            if (std::memchr(text + i, '$', static_cast<size_t>(k)) != nullptr) return 0;
            bool unsure = false;
            const Definition* d = definitionAt(text + i, k, &unsure);
            if (!unsure && d != nullptr && d->parameters > 0) {  // NAME(arguments)
                int used = 0;
                if (d->decisions != 0) useDecisions(d->decisions);
                if (!expandMacro(*d, text + i + k, n - i - k, &used, out, withValues, depth, limit, changed)) return 0;
                k += used;
            } else {
                NameMeaning m = meaningOf(d, unsure);
                if (m.kind == NameKind::ambiguous) return 0;
                if (m.kind == NameKind::text) {
                    *changed = true;
                    if (depth == deepestSubstitution ||
                        !resolveInto(m.text, m.length, out, withValues, depth + 1, limit, changed))
                        return 0;
                } else if (m.kind == NameKind::value && withValues) {
                    *changed = true;
                    addDigits(out, m.value);
                } else {
                    out.add(text + i, k);
                }
            }
        }
        if (out.length() > limit) return 0;
        i += k;
    }
    return 1;
}

// A use of the macro d: text[0..n) follows its name and starts with its
// arguments. Its body, each parameter replaced by its argument (its names
// put in place first), is read again in place; an argument that is a
// register loses the parentheses the body puts around it, as an operand
// reads the same without. *used: the bytes of text taken.
int JSourceNames::expandMacro(const Definition& d, const char* text, int n, int* used, JTextBuffer& out,
                              bool withValues, int depth, int limit, bool* changed) const {
    Piece arguments[mostParameters];
    if (depth == deepestSubstitution || !readArguments(text, n, d.parameters, arguments, used)) return 0;
    JTextBuffer given;  // the arguments resolved, one after another
    int ends[mostParameters];
    for (int a = 0; a < d.parameters; ++a) {
        if (!resolveInto(arguments[a].at, arguments[a].length, given, withValues, depth + 1, limit, changed)) return 0;
        ends[a] = given.length();
    }
    for (int a = 0; a < d.parameters; ++a) {
        int start = a > 0 ? ends[a - 1] : 0;
        arguments[a] = trimmed(given.data() + start, ends[a] - start);
    }
    const char* kept = texts.data() + d.textAt;
    const void* close = std::memchr(kept, ')', static_cast<size_t>(d.textLength));
    const int listLength = static_cast<int>(static_cast<const char*>(close) - kept);
    const char* body = kept + listLength + 1;
    const int bodyLength = d.textLength - listLength - 1;
    JTextBuffer expanded;
    for (int i = 0; i < bodyLength;) {
        if (isDigit(body[i])) {
            int k = numberLength(body + i, bodyLength - i);
            expanded.add(body + i, k);
            i += k;
            continue;
        }
        if (body[i] == '(') {  // (param) around a register
            int inner = i + 1;
            while (inner < bodyLength && isBlank(body[inner])) ++inner;
            int k = nameLength(body + inner, bodyLength - inner);
            int close = inner + k;
            while (close < bodyLength && isBlank(body[close])) ++close;
            int p = k > 0 ? parameterNamed(kept, listLength, body + inner, k) : -1;
            if (p >= 0 && close < bodyLength && body[close] == ')' && isAnyRegister(arguments[p].at, arguments[p].length)) {
                expanded.add(arguments[p].at, arguments[p].length);
                i = close + 1;
                continue;
            }
        }
        int k = nameLength(body + i, bodyLength - i);
        int p = k > 0 ? parameterNamed(kept, listLength, body + i, k) : -1;
        if (p >= 0) expanded.add(arguments[p].at, arguments[p].length);
        else expanded.add(body + i, k > 0 ? k : 1);
        i += k > 0 ? k : 1;
        if (expanded.length() > limit) return 0;
    }
    *changed = true;
    return resolveInto(expanded.data(), expanded.length(), out, withValues, depth + 1, limit, changed);
}
