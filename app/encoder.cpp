#include "encoder.h"

#include <climits>
#include <cstring>
#include <memory>

#include "modrm.h"
#include "operand.h"

namespace {

// Where each operand goes, by the pair of operand kinds a definition names.
enum class Form {
    regFirstRmSecond,     // x,x  x,r: reg = first, r/m = second register
    regSecondRmFirst,     // r,x  r,r: reg = second, r/m = first register
    regFirstMemSecond,    // x,m: reg = first, r/m = memory
    regSecondMemFirst,    // m,x  m,r: reg = second, r/m = memory
    immediateSecond,      // x,i: ModR/M base with the register, then the byte
};

struct FormEntry {
    int32_t firstKind;
    int32_t secondKind;
    Form form;
};

// Pairs not listed (r,m  m,m  m,i  r,i) have no encoding that keeps the
// line's meaning, so such definitions never fit.
constexpr FormEntry formTable[] = {
    {kindMmxRegister, kindMmxRegister, Form::regFirstRmSecond},
    {kindMmxRegister, kindGeneralRegister, Form::regFirstRmSecond},
    {kindMmxRegister, kindMemory, Form::regFirstMemSecond},
    {kindMmxRegister, kindImmediate, Form::immediateSecond},
    {kindGeneralRegister, kindMmxRegister, Form::regSecondRmFirst},
    {kindGeneralRegister, kindGeneralRegister, Form::regSecondRmFirst},
    {kindMemory, kindMmxRegister, Form::regSecondMemFirst},
    {kindMemory, kindGeneralRegister, Form::regSecondMemFirst},
};

const FormEntry* formFor(int32_t firstKind, int32_t secondKind) {
    for (const FormEntry& entry : formTable)
        if (entry.firstKind == firstKind && entry.secondKind == secondKind) return &entry;
    return nullptr;
}

int decide(Form form, const Operand& first, const Operand& second, const JString& op1,
           const JString& op2, uint8_t modrmBase, Encoding* e) {
    Address address;
    uint8_t immediate = 0;
    switch (form) {
        case Form::regFirstRmSecond:
            *e = decideRegisterForm(first.number, second.number);
            return 1;
        case Form::regSecondRmFirst:
            *e = decideRegisterForm(second.number, first.number);
            return 1;
        case Form::regFirstMemSecond:
            return readAddress(op2.data, &address) && decideMemoryForm(first.number, address, e);
        case Form::regSecondMemFirst:
            return readAddress(op1.data, &address) && decideMemoryForm(second.number, address, e);
        case Form::immediateSecond:
            if (!readImmediate(op2.data, &immediate)) return 0;
            *e = decideImmediateForm(modrmBase, first.number, immediate);
            return 1;
    }
    return 0;
}

constexpr char linePrefix[] = "\tdb\t\t00fh,0";
constexpr char commentStart[] = "\t\t;";
constexpr char lineEnd[] = "\r\n";
constexpr int byteTextLength = 5;  // ",0xxh"
constexpr size_t stackLineSize = 512;

// Copies n bytes to out and returns the position after them.
char* put(char* out, const char* text, size_t n) {
    std::memcpy(out, text, n);
    return out + n;
}

// ",0xxh": a byte as two lower-case hex digits.
char* putByteText(char* out, uint8_t byte) {
    static constexpr char digits[] = "0123456789abcdef";
    *out++ = ',';
    *out++ = '0';
    *out++ = digits[byte >> 4];
    *out++ = digits[byte & 15];
    *out++ = 'h';
    return out;
}

// The whole db line, written with one call: prefix, opcode, bytes, comment.
int writeLine(JStream* dst, const JString& opcode, const uint8_t* bytes, int count,
              const JString& line) {
    size_t opcodeLength = std::strlen(opcode.data);
    size_t lineLength = std::strlen(line.data);
    size_t total = sizeof linePrefix - 1 + opcodeLength + static_cast<size_t>(count) * byteTextLength +
                   sizeof commentStart - 1 + lineLength + sizeof lineEnd - 1;
    if (total > INT_MAX) return -1;
    char onStack[stackLineSize];
    std::unique_ptr<char[]> onHeap;
    char* buffer = onStack;
    if (total + 1 > stackLineSize) {  // long lines only
        onHeap.reset(new char[total + 1]);
        buffer = onHeap.get();
    }
    char* out = put(buffer, linePrefix, sizeof linePrefix - 1);
    out = put(out, opcode.data, opcodeLength);
    for (int i = 0; i < count; ++i) out = putByteText(out, bytes[i]);
    out = put(out, commentStart, sizeof commentStart - 1);
    out = put(out, line.data, lineLength);
    out = put(out, lineEnd, sizeof lineEnd - 1);
    int length = static_cast<int>(out - buffer);
    return dst->write(buffer, length) == length ? 1 : -1;
}

bool isEmms(const JMMXSet* def) { return std::strcmp(def->mnemonic.data, "emms") == 0; }

}  // namespace

int encodeInstruction(JStream* dst, const JString& line, const JMMXSet* def, const JString& op1,
                      const JString& op2) {
    // emms takes no operands; whatever the line has is ignored.
    if (isEmms(def)) return writeLine(dst, def->opcode, nullptr, 0, line);
    Operand first = classifyOperand(op1.data);
    Operand second = classifyOperand(op2.data);
    if (first.kind != def->firstKind || second.kind != def->secondKind) return 0;
    const FormEntry* entry = formFor(first.kind, second.kind);
    Encoding encoding;
    if (entry == nullptr || !decide(entry->form, first, second, op1, op2, def->modrmBase, &encoding))
        return 0;
    uint8_t bytes[maxEncodingBytes];
    int count = encodingBytes(encoding, bytes);
    return writeLine(dst, def->opcode, bytes, count, line);
}
