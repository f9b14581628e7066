#include "units.h"

#include <cstring>
#include <initializer_list>

#include "jasciicase.h"
#include "words.h"

namespace {

bool isIdentifierStart(char c) { return (asciiLowered(c) >= 'a' && asciiLowered(c) <= 'z') || c == '_'; }
bool isIdentifierByte(char c) { return isIdentifierStart(c) || (c >= '0' && c <= '9'); }

int identifierLength(const char* text, int n) {
    if (n == 0 || !isIdentifierStart(text[0])) return 0;
    int k = 1;
    while (k < n && isIdentifierByte(text[k])) ++k;
    return k;
}

// A 64-bit target's name, as compilers and projects spell it: _WIN64,
// _M_X64, __x86_64__, CPUX64, CPU64, CPUX86_64, TARGET_x64, _M_AMD64 ...
bool namesWideTarget(const char* text, int n) {
    while (n > 0 && text[n - 1] == '_') --n;
    for (const char* end : {"x64", "x86_64", "amd64", "win64", "cpu64"}) {
        const int k = static_cast<int>(std::strlen(end));
        if (n >= k && sameWordFolded(text + n - k, k, end)) return true;
    }
    return false;
}

// The 64-bit registers with fixed names, by code - 1; r8..r15 follow, each
// with no suffix, b, w, d and l.
const char* const fixedWideRegisters[] = {"rax", "rcx", "rdx", "rbx", "rsp", "rbp", "rsi", "rdi",
                                          "rip", "spl", "bpl", "sil", "dil"};
constexpr int fixedCount = sizeof fixedWideRegisters / sizeof fixedWideRegisters[0];
const char numberedSuffixes[] = "\0bwdl";

}  // namespace

Condition conditionOf(const char* text, int n, bool negated, const char** name, int* nameLength) {
    int wideNames = 0, otherNames = 0, negations = negated ? 1 : 0;
    bool otherOperators = false;
    *name = nullptr;
    *nameLength = 0;
    for (int i = 0; i < n;) {
        const int k = identifierLength(text + i, n - i);
        if (k == 0) {
            const char c = text[i];
            if (c == '!' && (i + 1 == n || text[i + 1] != '=')) ++negations;
            else if (c == '|' && i + 1 < n && text[i + 1] == '|') ++i;
            else if (std::strchr("&|^~<>=+-*/%?", c) != nullptr || (c >= '0' && c <= '9')) otherOperators = true;
            ++i;
            continue;
        }
        const char* w = text + i;
        i += k;
        if (sameWordFolded(w, k, "defined") || sameWordFolded(w, k, "or")) continue;
        if (sameWordFolded(w, k, "not")) {
            ++negations;
        } else if (namesWideTarget(w, k)) {
            if (wideNames++ == 0) *name = w, *nameLength = k;
        } else {
            ++otherNames;
        }
    }
    if (wideNames == 0) return Condition::other;
    if (otherNames > 0 || otherOperators || negations > 1) return Condition::mixed;
    if (negations == 0) return Condition::wide;
    return wideNames == 1 ? Condition::notWide : Condition::mixed;
}

int wideRegisterOf(const char* text, int n) {
    for (int i = 0; i < fixedCount; ++i)
        if (sameWordFolded(text, n, fixedWideRegisters[i])) return i + 1;
    if (n < 2 || asciiLowered(text[0]) != 'r' || text[1] < '1' || text[1] > '9') return 0;
    int number = text[1] - '0', k = 2;
    if (k < n && text[k] >= '0' && text[k] <= '9') number = number * 10 + (text[k++] - '0');
    if (number < 8 || number > 15) return 0;
    int suffix = 0;
    if (k < n) {
        const char* s = std::strchr(numberedSuffixes + 1, asciiLowered(text[k]));
        if (s == nullptr || k + 1 != n) return 0;
        suffix = static_cast<int>(s - numberedSuffixes);
    }
    return fixedCount + 1 + (number - 8) * 5 + suffix;
}

void wideRegisterName(int code, JTextBuffer& out) {
    if (code <= fixedCount) return out.add(fixedWideRegisters[code - 1], 3);
    const int number = 8 + (code - fixedCount - 1) / 5, suffix = (code - fixedCount - 1) % 5;
    out.add('r');
    if (number >= 10) out.add('1');
    out.add(static_cast<char>('0' + number % 10));
    if (suffix != 0) out.add(numberedSuffixes[suffix]);
}

JUnits::JUnits() : open(new Unit[deepest]) {}

void JUnits::rewind() {
    depth = 0;
    wideFrom = -1;
    ordinals = 0;
    overflowed = false;
    secondPass = true;
}

void JUnits::setLine(int32_t endOffset, const char* text, int n) {
    lineEnd = endOffset;
    lineText = text;
    lineLength = n;
}

// A unit opens: x86-64 code when its condition says so, when the first pass
// found a 64-bit register in it, or inside such a unit.
void JUnits::push(bool branch, bool byCondition, bool laterWide, const char* name, int n) {
    if (depth == deepest || ordinals == mostUnits) {
        if (!overflowed) noteOpening(LeftReason::nestedTooDeep, nullptr, 0, 0);
        overflowed = true;
        return;
    }
    const int32_t ordinal = ordinals++;
    if (!secondPass && ordinal == capacity) {
        const int32_t bigger = capacity > 0 ? capacity * 2 : 256;
        uint8_t* fresh = new uint8_t[bigger]();
        if (capacity > 0) std::memcpy(fresh, codes.get(), static_cast<size_t>(capacity));
        codes.reset(fresh);
        capacity = bigger;
    }
    const int code = secondPass && ordinal < capacity ? codes[ordinal] : 0;
    const bool wide = byCondition || code != 0;
    Unit& u = open[depth];
    u = Unit{ordinal, branch, wide, laterWide, 0, {}};
    if (name != nullptr) {
        u.nameLength = static_cast<uint8_t>(n < static_cast<int>(sizeof u.name) ? n : sizeof u.name);
        std::memcpy(u.name, name, u.nameLength);
    }
    if (wide && wideFrom < 0 && !overflowed) {
        wideFrom = depth;
        noteOpening(byCondition ? LeftReason::wideTarget : LeftReason::wideRegister, name, n, byCondition ? 0 : code);
    }
    ++depth;
}

// The outermost unit of x86-64 code opens on the current line: why, with
// the target named or the register's code.
void JUnits::noteOpening(LeftReason reason, const char* name, int n, int code) {
    opening.endOffset = lineEnd;
    opening.reason = reason;
    opening.detail.clear();
    if (code != 0) wideRegisterName(code, opening.detail);
    else opening.detail.add(name, n);
    opening.line.clear();
    opening.line.add(lineText, lineLength);
    opening.told = false;
}

void JUnits::popTo(int newDepth) {
    depth = newDepth;
    if (wideFrom >= depth) wideFrom = -1;
}

int JUnits::innermost(bool branch) const {
    int i = depth - 1;
    while (i >= 0 && open[i].branch != branch) --i;
    return i;
}

void JUnits::openBlock() { push(false, false, false, nullptr, 0); }

void JUnits::closeBlock() {
    const int i = innermost(false);
    if (i >= 0) popTo(i);
}

void JUnits::openBranch(Condition condition, const char* name, int n) {
    push(true, condition == Condition::wide || condition == Condition::mixed,
         condition == Condition::notWide || condition == Condition::mixed, name, n);
}

void JUnits::nextBranch(Condition condition, const char* name, int n) {
    const int i = innermost(true);
    if (i < 0) return;
    const Unit before = open[i];
    popTo(i);
    if (before.laterWide) {  // #else of #ifndef _WIN64: named by the condition before
        name = before.name;
        n = before.nameLength;
    }
    push(true, before.laterWide || condition == Condition::wide || condition == Condition::mixed,
         before.laterWide || condition == Condition::notWide || condition == Condition::mixed, name, n);
}

void JUnits::closeBranch() {
    const int i = innermost(true);
    if (i >= 0) popTo(i);
}

void JUnits::sawRegister(int code) {
    if (depth == 0 || secondPass) return;
    uint8_t& first = codes[open[depth - 1].ordinal];
    if (first == 0) first = static_cast<uint8_t>(code);
}
