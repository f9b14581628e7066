// Tokenizer fuzz target. The input's first byte gives the length of an
// operation program (low four bits) and the stream under the tokenizer
// (high four bits: 0 a bare stream, k a buffer of 2^(k-1) bytes, so that
// lines cross buffer ends); the program follows, then the stream's bytes.
// Operations: 0 readLine, 1 nextField, 2 nextInt, 3 skipField, 4 skipLine,
// 5 skipLineFeed, 6 readLineView, 7 readLineText, 8 nextIsNumber (the byte
// modulo 9). Every result, text and position is checked against a plain
// model of the tokenizer's rules.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "jbufferedstream.h"
#include "jstreamtokenizer.h"
#include "memory_stream.h"

namespace {

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "tokenizer check failed: %s\n", what);
    std::abort();
}

// The text a JString holds for these bytes: everything up to the first NUL.
std::string asJString(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// Where the tokenizer should be, computed from the bytes.
struct Model {
    const std::string& in;
    size_t at = 0;

    size_t fieldEnd() const { return std::min(in.find_first_of(std::string(",\t\r\n"), at), in.size()); }
    // Consumes the field and its delimiter (CR LF counting as one).
    std::string takeField() {
        size_t e = fieldEnd();
        std::string field = in.substr(at, e - at);
        at = e + (e < in.size());
        if (e < in.size() && in[e] == '\r' && at < in.size() && in[at] == '\n') ++at;
        return field;
    }
    // Consumes one line and its LF; returns its bytes without the LF.
    std::string takeLine() {
        size_t stop = std::min(in.find('\n', at), in.size());
        std::string bytes = in.substr(at, stop - at);
        at = std::min(stop + 1, in.size());
        return bytes;
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

// The text of a line's bytes (its LF excluded): gathered in pieces of 255
// bytes, each kept up to its first NUL; a CR that ends a full piece counts
// only if the line goes on, and a CR at the end is dropped.
std::string lineText(const std::string& bytes) {
    std::string text, piece;
    bool heldCR = false;
    for (char c : bytes) {
        if (heldCR) text += '\r';
        heldCR = false;
        piece += c;
        if (piece.size() < 255) continue;
        heldCR = piece.back() == '\r';
        text += asJString(piece.substr(0, 255 - heldCR));
        piece.clear();
    }
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    return text + asJString(piece);
}

// One operation of the program, checked against the model.
void runOperation(uint8_t op, JStreamTokenizer& tok, Model& model) {
    const size_t before = model.at;
    const bool end = model.at >= model.in.size();
    JString text("old");
    const char* view = nullptr;
    int length = -1, n = 0;
    switch (op % 9) {
        case 0:
        case 6:
        case 7:
            n = op % 9 == 0 ? tok.readLine(text) : op % 9 == 6 ? tok.readLineView(&view, &length)
                                                              : tok.readLineText(&view, &length);
            if (op % 9 == 0) view = text.data, length = text.length();
            require(std::string(view, static_cast<size_t>(length)) == (end ? "" : lineText(model.takeLine())), "line");
            require(n == static_cast<int>(model.at - before), "bytes consumed by a line");
            require(op % 9 != 6 || view[length] == '\r' || view[length] == '\n' || view[length] == '\0', "view end");
            break;
        case 1:
            require(tok.nextField(text) == !end && text.data == (end ? "old" : asJString(model.takeField())),
                    "nextField");
            break;
        case 2: require(tok.nextInt() == (end ? 0 : decimalValue(model.takeField())), "nextInt"); break;
        case 3:
        case 4:  // skipField, skipLine: 1 when anything was left to skip
            require((op % 9 == 3 ? tok.skipField() : tok.skipLine()) == !end, "skipField or skipLine");
            if (!end) op % 9 == 3 ? model.takeField() : model.takeLine();
            break;
        case 5:
            require(tok.skipLineFeed() == 1, "skipLineFeed");
            model.at += !end && model.in[model.at] == '\n';
            break;
        case 8: {
            std::string field = end ? std::string() : model.in.substr(model.at, model.fieldEnd() - model.at);
            bool number = !field.empty() && field.find_first_not_of("0123456789") == std::string::npos;
            require(tok.nextIsNumber() == number, "nextIsNumber");
        }
    }
    require(static_cast<size_t>(tok.position) == model.at, "position equals the bytes consumed");
    // The stream is where the position says: the next byte read is the next unconsumed one.
    char c = 0;
    const bool more = tok.stream->read(&c, 1) == 1;
    require(more ? model.at < model.in.size() && c == model.in[model.at] : model.at >= model.in.size(),
            "the stream stands at the position");
    if (more) tok.stream->seek(-1, 1);
}

}  // namespace

// The program runs round and round until a whole round consumes nothing,
// then the rest goes line by line, with one more readLine at the end.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 1 << 16) return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    const size_t programLength = std::min<size_t>(1 + (data[0] & 15), size - 1);
    const int capacity = data[0] >> 4 ? 1 << ((data[0] >> 4) - 1) : 0;
    const std::string program(bytes + 1, programLength), input(bytes + 1 + programLength, size - 1 - programLength);
    MemoryStream bare(input);
    std::unique_ptr<JBufferedStream> buffered(capacity > 0 ? new JBufferedStream(&bare, capacity) : nullptr);
    JStreamTokenizer tok;
    tok.setStream(buffered ? static_cast<JStream*>(buffered.get()) : &bare);
    Model model{input};
    for (size_t roundStart = 1; roundStart != model.at;) {
        roundStart = model.at;
        for (char op : program.empty() ? std::string(1, '\0') : program) runOperation(static_cast<uint8_t>(op), tok, model);
    }
    while (model.at < input.size()) runOperation(0, tok, model);
    runOperation(0, tok, model);
    return 0;
}
