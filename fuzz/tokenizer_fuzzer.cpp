// Tokenizer fuzz target. The input's first byte says how many of the next
// bytes form an operation program; the rest is the stream. Each operation's
// result, consumption and string are checked against a plain model of the
// tokenizer's rules, and `position` against the stream's offset after every
// call. A first pass of readLine alone checks that its counts add up to the
// input length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "jmemorystream.h"
#include "jstreamtokenizer.h"
#include "jstring.h"

namespace {

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "tokenizer check failed: %s\n", what);
    std::abort();
}

// The text a JString holds for these bytes: everything up to the first NUL.
std::string asJString(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// The model: where the tokenizer should be, computed from the bytes.
struct Model {
    const std::string& in;
    size_t at = 0;
    long lineCounts = 0;  // readLine's counts added up

    size_t fieldEnd() const { return std::min(in.find_first_of(std::string(",\t\r\n"), at), in.size()); }
    // Consumes the field and its delimiter (CR LF counting as one).
    std::string takeField() {
        size_t e = fieldEnd();
        std::string field = in.substr(at, e - at);
        at = e + (e < in.size());
        if (e < in.size() && in[e] == '\r' && at < in.size() && in[at] == '\n') ++at;
        return field;
    }
    // Consumes one line and its LF; the text loses a CR before LF or end.
    std::string takeLine() {
        size_t stop = std::min(in.find('\n', at), in.size());
        std::string text = in.substr(at, stop - at);
        at = std::min(stop + 1, in.size());
        if (!text.empty() && text.back() == '\r') text.pop_back();
        return text;
    }
};

// Decimal conversion as nextInt defines it, with 32-bit wrap-around.
int32_t decimalValue(const std::string& field) {
    std::string text = asJString(field);
    size_t i = std::min(text.find_first_not_of(" \t\n\v\f\r"), text.size());
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + (text[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

void checkPosition(const JStreamTokenizer& tok, const JMemoryStream& stream, const Model& model) {
    require(tok.position == stream.offset(), "position equals the stream offset");
    require(static_cast<size_t>(tok.position) == model.at, "position equals the bytes consumed");
}

// One operation of the program, checked against the model.
void runOperation(uint8_t op, JStreamTokenizer& tok, Model& model) {
    size_t before = model.at;
    bool end = model.at >= model.in.size();
    JString text("old");
    switch (op % 6) {
        case 0: {
            int n = tok.readLine(text);
            model.lineCounts += n;
            std::string expected = end ? std::string() : model.takeLine();
            require(n == static_cast<int>(model.at - before), "readLine count");
            // From bytes with NUL in them readLine keeps pieces, each up to its NUL.
            bool nul = expected.find('\0') != std::string::npos;
            require(nul ? std::strlen(text.data) <= expected.size() : text.data == expected, "readLine text");
            break;
        }
        case 1: {
            int r = tok.nextField(text);
            std::string expected = end ? std::string("old") : asJString(model.takeField());
            require(r == !end && text.data == expected, "nextField");
            break;
        }
        case 2: require(tok.nextInt() == (end ? 0 : decimalValue(model.takeField())), "nextInt"); break;
        case 3:
            require(tok.skipField() == !end, "skipField");
            if (!end) model.takeField();
            break;
        case 4:
            require(tok.skipLine() == !end, "skipLine");
            if (!end) model.takeLine();
            break;
        default: {
            std::string field = end ? std::string() : model.in.substr(model.at, model.fieldEnd() - model.at);
            bool number = !field.empty() && field.find_first_not_of("0123456789") == std::string::npos;
            require(tok.nextIsNumber() == number, "nextIsNumber");
        }
    }
}

// The program runs round and round until a whole round consumes nothing,
// then whatever is left goes line by line, and one more readLine at the end.
void checkProgram(const std::string& program, const std::string& input) {
    JMemoryStream stream(input.data(), static_cast<int>(input.size()));
    JStreamTokenizer tok;
    tok.setStream(&stream);
    Model model{input};
    for (size_t roundStart = 1; roundStart != model.at;) {
        roundStart = model.at;
        for (char op : program) {
            runOperation(static_cast<uint8_t>(op), tok, model);
            checkPosition(tok, stream, model);
        }
    }
    for (bool atEnd = false; !atEnd;) {
        atEnd = model.at >= input.size();
        runOperation(0, tok, model);
        checkPosition(tok, stream, model);
    }
    require(program.find_first_not_of('\0') != std::string::npos || model.lineCounts == static_cast<long>(input.size()),
            "readLine counts add up to the input length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 1 << 16) return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t programLength = std::min<size_t>(1 + data[0] % 16, size - 1);
    std::string program = programLength > 0 ? std::string(bytes + 1, programLength) : std::string("\0\1\2\3\4\5", 6);
    std::string input(bytes + 1 + programLength, size - 1 - programLength);
    checkProgram(std::string(1, '\0'), input);  // readLine alone
    checkProgram(program, input);
    return 0;
}
