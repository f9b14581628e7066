#include "jmmxset.h"

#include <cstring>

#include "jstreamtokenizer.h"

namespace {

constexpr int fieldsPerRecord = 5;

// Digit value as the definition format reads it: a..f are 10..15, any other
// byte counts from '0' (so upper-case letters are not hex digits).
int hexDigitValue(char c) { return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : c - '0'; }

// A hex digit in either case, or -1, as an opcode tail's byte is read.
int tailDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The last word of an opcode tail at p: "ib", or a byte written as two hex
// digits and 'h'. Returns the position after it, or null.
const char* readTailWord(const char* p, OpcodeTail* t) {
    if (p[0] == 'i' && p[1] == 'b') {
        t->immediateByte = true;
        return p + 2;
    }
    int high = tailDigitValue(p[0]);
    if (high < 0) return nullptr;  // p[1] may lie past the end
    int low = tailDigitValue(p[1]);
    if (low < 0 || p[2] != 'h') return nullptr;
    t->hasSuffix = true;
    t->suffix = static_cast<uint8_t>(high * 16 + low);
    return p + 3;
}

}  // namespace

JMMXSet::JMMXSet()
    : firstKind(kindMmxRegister),
      secondKind(kindMmxRegister),
      modrmBase(0),
      memorySizes(0),
      firstInReg(false),
      tail{true, noRegDigit, false, false, 0} {}

JMMXSet::~JMMXSet() {
    mnemonic.release();
    opcode.release();
}

int32_t operandKindOf(const JString& field, bool immediateAllowed) {
    switch (field.data[0]) {
        case 'x': return kindMmxRegister;
        case 'r': return kindGeneralRegister;
        case 'm': return kindMemory;
        case '-': return kindNone;
        case 'i': return immediateAllowed ? kindImmediate : kindMmxRegister;
        default: return kindMmxRegister;
    }
}

uint8_t memorySizesOf(const JString& field) {
    if (field.data[0] != 'm') return 0;
    uint8_t sizes = 0;
    for (const char* p = field.data + 1; *p != '\0';) {
        int bits = 0;
        for (; *p >= '0' && *p <= '9' && bits < 1000; ++p) bits = bits * 10 + (*p - '0');
        sizes |= bits == 8 ? memory8 : bits == 16 ? memory16 : bits == 32 ? memory32 : bits == 64 ? memory64 : 0;
        if (*p != '\0') ++p;  // the '/' between sizes, or anything else
    }
    return sizes;
}

// A one-character field takes its terminator as the second digit (d = -48).
uint8_t modrmBaseOf(const JString& field) {
    int value = hexDigitValue(field.data[0]) * 16 + hexDigitValue(field.data[1]);
    return static_cast<uint8_t>(value & 0xFF);
}

OpcodeTail opcodeTailOf(const JString& field) {
    OpcodeTail t = {false, noRegDigit, false, false, 0};
    const char* p = field.data;
    if (p[0] != '/' || (p[1] != 'r' && (p[1] < '0' || p[1] > '7'))) return t;
    if (p[1] != 'r') t.regDigit = static_cast<int8_t>(p[1] - '0');
    p += 2;
    if (*p == ' ') {
        while (*p == ' ') ++p;
        p = readTailWord(p, &t);
    }
    t.readable = p != nullptr && *p == '\0';
    return t;
}

// True when the last byte consumed was ',' or TAB: the stream ended right
// after a separator, so one more (empty) field is there, as in a last record
// "emms,x,x,77h," saved without a line end.
static bool endedAfterSeparator(JStream* stream, const JStreamTokenizer& tokenizer) {
    char last = 0;
    if (tokenizer.position == 0 || !stream->seek(tokenizer.position - 1, 0)) return false;
    bool read = stream->read(&last, 1) == 1;
    return read && (last == ',' || last == '\t');
}

JMMXSet* loadDefinitions(JStream* stream) {
    JString fields[fieldsPerRecord];
    JStreamTokenizer tokenizer;
    tokenizer.setStream(stream);
    JMMXSet* head = new JMMXSet();
    if (stream == nullptr) return head;
    for (;;) {
        for (int f = 0; f < fieldsPerRecord; ++f) {
            if (tokenizer.nextField(fields[f])) continue;
            bool emptyLastField = f == fieldsPerRecord - 1 && endedAfterSeparator(stream, tokenizer);
            if (!emptyLastField) return head;
            fields[f].assign("");
        }
        JMMXSet* record = new JMMXSet();
        record->mnemonic.assign(fields[0]);
        record->firstKind = operandKindOf(fields[1], false);
        record->firstInReg = std::strcmp(fields[1].data, "reg") == 0;
        record->secondKind = operandKindOf(fields[2], true);
        record->memorySizes = static_cast<uint8_t>(memorySizesOf(fields[1]) | memorySizesOf(fields[2]));
        record->opcode.assign(fields[3]);
        if (fields[4].data[0] == '/') record->tail = opcodeTailOf(fields[4]);
        else if (fields[4].length() > 0) record->modrmBase = modrmBaseOf(fields[4]);
        head->add(record);
    }
}
