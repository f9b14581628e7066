// Tokenizer fuzz target. The input's first byte says how many of the next
// bytes form an operation program; the rest is the stream. Each operation's
// result, consumption and string are checked against a plain model of the
// tokenizer's rules, and `position` against the stream's offset after every
// call. A first pass of readLine alone checks that its counts add up to the
// input length and that every line comes back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

bool isDelimiter(char c) { return c == ',' || c == '\t' || c == '\r' || c == '\n'; }

// The text a JString holds for these bytes: everything up to the first NUL.
std::string asJString(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// A line read from bytes with NUL in them is only promised not to hold more
// than the bytes (readLine appends it in pieces, each ending at a NUL).
bool lineMatches(const JString& line, const std::string& expected) {
    if (expected.find('\0') == std::string::npos) return line.data == expected;
    return std::string(line.data).size() <= expected.size();
}

// Where the tokenizer should be after each operation, computed from the bytes.
struct Model {
    const std::string& in;
    size_t at;

    bool atEnd() const { return at >= in.size(); }

    // End of the field that starts at `at` (index of its delimiter or size).
    size_t fieldEnd() const {
        size_t e = at;
        while (e < in.size() && !isDelimiter(in[e])) ++e;
        return e;
    }

    // Consumes the field and its delimiter (CR LF counting as one).
    std::string takeField() {
        size_t e = fieldEnd();
        std::string field = in.substr(at, e - at);
        at = e;
        if (at < in.size()) {
            char d = in[at++];
            if (d == '\r' && at < in.size() && in[at] == '\n') ++at;
        }
        return field;
    }

    // Consumes one line and its LF; the text loses a CR before LF or end.
    std::string takeLine() {
        size_t lf = in.find('\n', at);
        size_t stop = lf == std::string::npos ? in.size() : lf;
        std::string text = in.substr(at, stop - at);
        at = lf == std::string::npos ? in.size() : lf + 1;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        return text;
    }

    void skipLine() {
        size_t lf = in.find('\n', at);
        at = lf == std::string::npos ? in.size() : lf + 1;
    }
};

// Decimal conversion as nextInt defines it, with 32-bit wrap-around.
int32_t decimalValue(const std::string& field) {
    std::string text = asJString(field);
    size_t i = 0;
    while (i < text.size() && std::string(" \t\n\v\f\r").find(text[i]) != std::string::npos) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

void checkPosition(const JStreamTokenizer& tok, const JMemoryStream& stream, const Model& model) {
    require(tok.position == stream.offset(), "position equals the stream offset");
    require(static_cast<size_t>(tok.position) == model.at, "position equals the bytes consumed");
}

// readLine alone to the end: the counts add up and every line comes back.
void checkLinePass(const std::string& input) {
    JMemoryStream stream(input.data(), static_cast<int>(input.size()));
    JStreamTokenizer tok;
    tok.setStream(&stream);
    Model model{input, 0};
    JString line;
    long total = 0;
    for (;;) {
        int n = tok.readLine(line);
        if (n == 0) break;
        require(n > 0, "readLine count is positive");
        total += n;
        std::string expected = model.takeLine();
        require(lineMatches(line, expected), "readLine text");
        checkPosition(tok, stream, model);
    }
    require(line.data[0] == '\0', "readLine leaves an empty string at the end");
    require(total == static_cast<long>(input.size()), "readLine counts add up to the input length");
    require(tok.readLine(line) == 0, "readLine stays at the end");
}

// One operation of the program; returns whether it consumed anything.
bool runOperation(uint8_t op, JStreamTokenizer& tok, Model& model) {
    size_t before = model.at;
    bool end = model.atEnd();
    switch (op % 6) {
        case 0: {
            JString line("old");
            int n = tok.readLine(line);
            std::string expected = end ? std::string() : model.takeLine();
            require(n == static_cast<int>(model.at - before), "readLine count");
            require(lineMatches(line, expected), "readLine text");
            break;
        }
        case 1: {
            JString field("old");
            int r = tok.nextField(field);
            std::string expected = end ? std::string("old") : model.takeField();
            require(r == (end ? 0 : 1), "nextField result");
            require(field.data == asJString(expected), "nextField text");
            break;
        }
        case 2: {
            int value = tok.nextInt();
            int32_t expected = end ? 0 : decimalValue(model.takeField());
            require(value == expected, "nextInt value");
            break;
        }
        case 3: {
            int r = tok.skipField();
            if (!end) model.takeField();
            require(r == (end ? 0 : 1), "skipField result");
            break;
        }
        case 4: {
            int r = tok.skipLine();
            model.skipLine();
            require(r == (end ? 0 : 1), "skipLine result");
            break;
        }
        default: {
            int r = tok.nextIsNumber();
            bool number = !end && allDigits(model.in.substr(model.at, model.fieldEnd() - model.at));
            require(r == (number ? 1 : 0), "nextIsNumber result");
            break;
        }
    }
    return model.at != before;
}

// The program runs round and round until a whole round consumes nothing,
// which happens at the end of input at the latest.
void checkProgram(const std::string& program, const std::string& input) {
    JMemoryStream stream(input.data(), static_cast<int>(input.size()));
    JStreamTokenizer tok;
    tok.setStream(&stream);
    Model model{input, 0};
    bool progress = true;
    while (progress) {
        progress = false;
        for (char op : program) {
            if (runOperation(static_cast<uint8_t>(op), tok, model)) progress = true;
            checkPosition(tok, stream, model);
        }
    }
    // Whatever is left (a program of nextIsNumber only) goes line by line.
    JString line;
    while (tok.readLine(line) != 0) model.takeLine();
    checkPosition(tok, stream, model);
    require(model.atEnd(), "everything consumed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    std::string program("\0\1\2\3\4\5", 6);
    std::string input;
    if (size > 0) {
        size_t programLength = 1 + data[0] % 16;
        if (programLength > size - 1) programLength = size - 1;
        if (programLength > 0) program.assign(bytes + 1, programLength);
        input.assign(bytes + 1 + programLength, size - 1 - programLength);
    }
    checkLinePass(input);
    checkProgram(program, input);
    return 0;
}
