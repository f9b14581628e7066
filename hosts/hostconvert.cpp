#include "hostconvert.h"

#include <cstring>
#include <utility>

#include "jbufferedstream.h"
#include "jstreamtokenizer.h"
#include "statement.h"
#include "words.h"

namespace {

// The source's lines, each with the one after it (a backslash may join
// them), copied out of the reader: reading on, or reading the source again
// for its names, leaves them in place. Each is followed by a NUL byte.
class LookaheadLines {
public:
    explicit LookaheadLines(JStreamTokenizer& reader) : reader(reader) { hasNext = fetch(*later); }

    bool advance() {
        if (!hasNext) return false;
        std::swap(now, later);
        end = laterEnd;
        lineEnd = laterLineEnd;
        hasNext = fetch(*later);
        return true;
    }
    // How the line ended in the source: CR LF, LF, a CR the input ended
    // with, or nothing.
    const char* ending() const { return lineEnd; }
    const char* text() const { return now->data(); }
    int length() const { return now->length() - 1; }
    const char* next() const { return hasNext ? later->data() : nullptr; }
    int nextLength() const { return hasNext ? later->length() - 1 : 0; }
    int32_t endOffset() const { return end; }

private:
    JStreamTokenizer& reader;
    JTextBuffer buffers[2];
    JTextBuffer* now = &buffers[0];
    JTextBuffer* later = &buffers[1];
    bool hasNext;
    int32_t end = 0, laterEnd = 0;
    const char* lineEnd = "";
    const char* laterLineEnd = "";

    bool fetch(JTextBuffer& into) {
        const char* text;
        int n;
        const int consumed = reader.readLineView(&text, &n);
        if (consumed == 0) return false;
        into.clear();
        into.add(text, n);
        into.add('\0');
        laterEnd = reader.position;
        const int ending = consumed - n;
        laterLineEnd = ending == 2 ? "\r\n" : ending == 0 ? "" : reader.lineFeedSeen ? "\n" : "\r";
        return true;
    }
};

// The first pass: the 64-bit registers in the statements of each unit.
class RegisterFinder : public JHostEvents {
public:
    RegisterFinder(JUnits& units) : units(units) {}
    const char* line = nullptr;

    void statement(int start, int stop, bool) override {
        for (int i = start; i < stop;) {
            const int k = nameLength(line + i, stop - i);
            if (k == 0) {
                ++i;
                continue;
            }
            const int code = wideRegisterOf(line + i, k);
            if (code != 0) units.sawRegister(code);
            i += k;
        }
    }

private:
    JUnits& units;
};

// The second pass: one line, its encoded statements in the host's form.
class LineWriter : public JHostEvents {
public:
    LineWriter(JHostScanner& scanner, JLineContext& context, JStreamTokenizer& reader)
        : scanner(scanner), context(context), reader(reader) {}

    void begin(const char* text, int n, int32_t endOffset) {
        line = text;
        length = n;
        lineEnd = endOffset;
        copied = 0;
        out.clear();
    }

    // Writes the line, its statements' bytes in place, and its end.
    int write(JStream& output, const char* ending) {
        const char* text = line;
        int n = length;
        if (copied > 0) {
            out.add(line + copied, length - copied);
            text = out.data();
            n = out.length();
        }
        const int endLength = static_cast<int>(std::strlen(ending));
        return output.write(text, n) == n && output.write(ending, endLength) == endLength;
    }

    void statement(int start, int stop, bool interrupted) override {
        scanner.respell(line + start, stop - start, spelled);
        const int n = spelled.length();
        spelled.add('\0');
        SourceInstruction unused;
        if (splitStatement(spelled.data(), n, context, &unused) == nullptr) return;
        if (scanner.units.wide()) return leftWhole();
        if (interrupted) return leave(LeftReason::runsOn, nullptr, 0, start, stop);
        const char* parameter;
        const int parameterLength = scanner.parameterIn(line + start, stop - start, &parameter);
        if (parameterLength > 0) return leave(LeftReason::unresolvedName, parameter, parameterLength, start, stop);
        StatementCode result;
        context.named.names.readAsMacroBody(scanner.inMacro());
        encodeStatement(&reader, spelled.data(), n, &context, &result);
        if (result.outcome == StatementCode::left)
            return leave(result.reason, result.detail, result.detailLength, start, stop);
        if (result.outcome != StatementCode::encoded) return;
        if (result.code.writesGeneralRegister && !scanner.bytesMayWriteRegisters())
            return leave(LeftReason::registerUnseen, nullptr, 0, start, stop);
        ++context.encodedLines;
        out.add(line + copied, start - copied);
        scanner.writeCode(out, result.code, line, length, start, stop);
        copied = stop;
    }

private:
    JHostScanner& scanner;
    JLineContext& context;
    JStreamTokenizer& reader;
    const char* line = nullptr;
    int length = 0;
    int32_t lineEnd = 0;
    int copied = 0;  // bytes of the line written to `out` so far
    JTextBuffer out;
    JTextBuffer spelled;

    void leave(LeftReason reason, const char* detail, int detailLength, int start, int stop) {
        if (context.left == nullptr) return;
        context.left->add(lineEnd, reason, detail, detailLength, line + start, stop - start);
    }

    // A statement in code for x86-64: one warning for the outermost unit,
    // at the line it opens on; the unit's other statements are counted.
    void leftWhole() {
        JUnits::Opening& o = scanner.units.opening;
        if (context.left == nullptr) return;
        if (o.told) {
            ++context.left->left;
            return;
        }
        o.told = true;
        context.left->add(o.endOffset, o.reason, o.detail.data(), o.detail.length(), o.line.data(), o.line.length());
    }
};

}  // namespace

int convertHost(JStream* destination, JStream* source, JMMXSet* table, JLeftLines* left, HostKind kind,
                const SourceSetting* setting, bool keepLineEnds) {
    JBufferedStream input(source);
    JBufferedStream output(destination);
    std::unique_ptr<JHostScanner> scanner = hostScanner(kind);
    JLineContext context(table);
    context.left = left;
    JStreamTokenizer reader;
    reader.setStream(&input);
    {
        RegisterFinder finder(scanner->units);
        LookaheadLines lines(reader);
        while (lines.advance()) {
            finder.line = lines.text();
            scanner->scanLine(lines.text(), lines.length(), lines.next(), lines.nextLength(), finder);
        }
    }
    scanner->units.rewind();
    scanner->restart();
    // Pascal's names are the compiler's (mostly locals, addressed through
    // EBP); C's come from its preprocessor lines, learned before the lines
    // are read with one line of look-ahead.
    JSourceNames& names = context.named.names;
    if (kind == HostKind::pascal) {
        names.giveUp();
    } else {
        names.readPreprocessorLinesOnly();
        if (setting != nullptr) names.setSource(*setting);
        names.learn(&input, 0);
    }
    reader.setStream(&input);
    LookaheadLines lines(reader);
    LineWriter writer(*scanner, context, reader);
    int written = 1;
    while (written && lines.advance()) {
        if (names.state() == JSourceNames::ready) names.pass(lines.text(), lines.length());
        scanner->units.setLine(lines.endOffset(), lines.text(), lines.length());
        writer.begin(lines.text(), lines.length(), lines.endOffset());
        scanner->scanLine(lines.text(), lines.length(), lines.next(), lines.nextLength(), writer);
        written = writer.write(output, keepLineEnds ? lines.ending() : "\r\n");
    }
    const int flushed = output.flush();
    if (left != nullptr) left->encoded = context.encodedLines;
    if (!written || !flushed) return 0;
    return static_cast<uint32_t>(reader.position) == source->size() ? 1 : -1;
}
