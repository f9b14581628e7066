// JSourceNames: the names a source defines, and what each means at the line
// being converted, as the assembler will read it there.
//
// It records the simple definitions: NASM %define (with parameters too),
// %xdefine and %assign, equ; MASM and TASM EQU, =, TEXTEQU; GNU .equ and
// .set; data labels (a name before db/dq/resb/..., MASM's typed data and
// LABEL, typed EXTRN); the command line's -D and -U, before the first line.
// It reads the files the source includes where they stand, as if their
// text stood there (never converting them), and follows the structure the
// definitions stand in: conditional branches (%if, IF, #if, .if and their
// else and end), macro and repeat bodies, structure definitions.
//
// A conditional pakhod can decide as the assembler would (%ifdef NAME, an
// %if on values it knows, ...) keeps only its taken branch: what the others
// hold is not read at all, and their lines are skipped. In a branch it
// cannot decide, a definition counts at a use only when it is the last one
// of that name before the use and stands in the use's own branch or one
// enclosing it. Definitions inside bodies and structures never count. An
// assembler's own symbol (a data label, an equ constant) defined once in
// the whole file, outside undecided branches, counts before it too. A use
// inside a body takes a name defined once in the whole file the same way.
// A name whose definitions exist but do not count, or that is defined in
// another letter case (MASM ignores case) without %idefine, is ambiguous:
// the line that uses it is copied.
//
// The source is read for this only when a line first needs it (learn): a
// line using a name, an include, a conditional or a code size other than
// 32 bits; so a source without them costs nothing more.
#ifndef PAKHOD_SOURCENAMES_H
#define PAKHOD_SOURCENAMES_H

#include <cstdint>

#include "jstream.h"
#include "jstring.h"
#include "jtextbuffer.h"
#include "namelookup.h"
#include "sourcefiles.h"

class JSourceNames : public JNameLookup, private JIncludeReader {
public:
    class Line;  // a cursor over one source line, for the files that read them
    enum class Test : uint8_t;   // what a conditional asks
    enum class Truth : uint8_t;  // its answer

    JSourceNames();
    ~JSourceNames() override;
    JSourceNames(const JSourceNames&) = delete;
    JSourceNames& operator=(const JSourceNames&) = delete;

    // unread: not learned yet; ready: meanings are known; unknown: the
    // source could not be read (every name is then ambiguous).
    enum State { unread, ready, unknown };
    State state() const { return current; }

    // Where the source stands; before it is learned. The setting's texts
    // and files must outlive this object's use.
    void setSource(const SourceSetting& setting);

    // Reads `source` whole from its start to learn every definition, then
    // again up to offset `resumeAt` (the end of the current line), for the
    // state at the line after; leaves the stream there. 1 when done, 0 when
    // the source could not be read whole.
    int learn(JStream* source, int32_t resumeAt);
    // No source to learn from: every name is ambiguous from now on.
    void giveUp() { current = unknown; }
    // A C source: only its preprocessor lines (#define, #if, ...) define
    // names or open branches; its other lines are C, where words such as
    // `if` and `for` are no directives.
    void readPreprocessorLinesOnly() { preprocessorOnly = true; }
    // A C macro's text is read where the macro is used: while set, names
    // are read as in a macro body (only a name the file defines once,
    // outside conditionals, counts).
    void readAsMacroBody(bool on) { macroBody = on; }

    // One more line of the source has gone by: what it defines or opens
    // applies from the next line on, what it includes is read now. (Kept out
    // of the line loop's code, which runs it only once names are read.)
    [[gnu::noinline]] void pass(const char* text, int n);

    // The line last passed stands in a branch the assembler skips.
    bool skipping() const { return skipped; }
    // The code size the assembler is told where that line stands: 16, 32
    // or 64 bits, or 0 when pakhod cannot tell. 32 until a line says
    // otherwise.
    int codeBits() const { return bits; }
    // The source is written for NASM (its directives stand in it), which
    // takes memory only in brackets.
    bool writtenForNasm() const { return nasmSource; }

    // While the names are unread: true for a line that needs them read
    // before the next (an include, a conditional, a code size other than
    // 32), its first word at `first`. One or two table look-ups for most
    // lines.
    static bool needsLearning(const char* text, const char* first, int n) {
        unsigned char c = static_cast<unsigned char>(*first);
        if (first == text && nameStarts.of[c]) return learnsFromFirstWord(text, n);
        return directiveStarts.of[c] && readsAsLearningLine(text, n);
    }

    // Bytes that may start a line needsLearning looks at closer.
    struct ByteSet {
        bool of[256];
    };

    // What the name text[0..n) stands for at the current line.
    NameMeaning meaning(const char* text, int n) const override;

    // Puts in place of each name in text[0..n) what it stands for: a text
    // definition's text (its parameters given, for a macro that takes
    // them), read again a limited number of times, and with `withValues` a
    // value's digits; other names stay. 0 when a name is ambiguous or holds
    // '$', or substitution nests too deep or grows too long (then `out`
    // holds nothing of use). *changed, when given: some name was put in
    // place.
    int resolve(const char* text, int n, JTextBuffer& out, bool withValues, bool* changed = nullptr) const;

    // The line the converter tries next: what it looks up from here on is
    // what that line uses.
    void beginLine();
    // That line was encoded: the branches its definitions stand in were
    // decided as it needed. The names it hands to the assembler, in its dd
    // line (dd[0..ddLength)) or its db line, that no file pakhod read
    // defines are warned about when an include file went unread.
    void lineEncoded(const char* dd, int ddLength, const char* db, int dbLength);
    // At the end of the run: a note for each name taken as not defined that
    // decided a branch whose definitions an encoded line used.
    void noteUndefinedNames() const;

    // Limits that keep memory and time bounded on hostile input; past them
    // every name is ambiguous.
    static constexpr int mostNames = 1 << 18;
    static constexpr int mostTextBytes = 1 << 24;
    static constexpr int deepestBranches = 1 << 16;
    static constexpr int mostInclusions = 1 << 16;         // files opened in one reading of the source
    static constexpr int64_t mostIncludedBytes = 1 << 28;  // of them read in one reading of the source
    // Past these, an include file is not read (with a warning); a decision
    // is not kept for the note; a macro is not sure.
    static constexpr int deepestInclusion = 32;
    static constexpr int mostDecisions = 1 << 18;
    static constexpr int mostParameters = 64;

private:
    static const ByteSet directiveStarts;
    static const ByteSet nameStarts;
    [[gnu::noinline]] static bool readsAsLearningLine(const char* text, int n);
    [[gnu::noinline]] static bool learnsFromFirstWord(const char* text, int n);

    struct Definition;
    struct Entry;
    struct Entries;
    struct Structure;
    struct Conditional;
    struct Decisions;
    struct Reach;

    State current;
    bool wholeFile;       // learning the whole file (its facts) rather than the state at a line
    bool fileConfused;    // the whole file's structure did not balance
    bool overflowed;      // a limit was passed
    bool preprocessorOnly = false;
    bool macroBody = false;
    bool skipped;         // the line last passed is in a skipped branch
    bool nasmSource;      // NASM's directives stand in the source
    uint8_t bits;         // the code size (0: not known)

    Entries* entries;  // by the order they were met
    uint32_t* buckets;    // entry index + 1, by folded name; 0 empty
    uint32_t bucketMask;
    JTextBuffer names;    // every entry's name
    JTextBuffer texts;    // definitions' texts
    JTextBuffer scratch;  // a definition's expression with its names put in place
    int garbageBytes;     // texts no longer referred to
    Structure* structure;
    Decisions* decisions;
    Reach* reach;

    void reset(bool learnWholeFile);
    void passSourceLine(const JString& line, bool first);
    void defineFromCommandLine();
    uint32_t bucketOf(const char* name, int n) const;
    int lookup(const char* name, int n) const;
    int findEntry(const char* name, int n);
    bool standsOpen(const Definition& d) const;
    static bool sharesText(const Entry& e);
    bool isBlocked(const char* name, int n) const;
    const Definition* definitionAt(const char* text, int n, bool* ambiguous) const;
    NameMeaning meaningOf(const Definition* d, bool ambiguous) const;
    const Definition* laterSymbol(const Entry& e, bool* ambiguous) const;
    const Definition* caselessVariant(const char* text, int n, int found, bool* ambiguous) const;

    void define(const char* name, int n, Definition d);
    void undefine(const char* name, int n);
    void defineText(const char* name, int n, const char* text, int length, bool expandNow, uint8_t flags,
                    uint8_t parameters = 0);
    void defineMacro(const char* name, int n, const char* parameters, int length, uint8_t flags);
    void defineValue(const char* name, int n, const char* expression, int length, bool registersMakeText,
                     uint8_t flags);
    void defineKind(const char* name, int n, uint8_t kind, uint8_t flags);
    uint32_t keepText(const char* text, int n);
    void compactTexts();
    void passLine(const char* text, int n);
    void interpret(Line& line);
    bool interpretDirective(Line& line, const char* word, int n);
    void interpretNamed(Line& line, const char* name, int n);
    void interpretSkipped(Line& line);
    int resolveInto(const char* text, int n, JTextBuffer& out, bool withValues, int depth, int limit,
                    bool* changed) const;
    int expandMacro(const Definition& d, const char* text, int n, int* used, JTextBuffer& out, bool withValues,
                    int depth, int limit, bool* changed) const;

    // Conditionals (sourceconditions.cpp).
    void openConditional(const char* word, int n, Line& line);
    void nextBranch(const char* word, int n, Line& line);
    void settleBranch(const char* word, int n, Line& line);
    void closeConditional();
    Truth evaluate(Test test, bool macrosOnly, Line& line, int* undefinedName);
    Truth definedness(const char* name, int n, bool macrosOnly, int* undefinedName);
    Truth truthOfExpression(Test test, const char* text, int n);
    uint32_t decide(uint32_t parent, int undefinedName);
    uint32_t decisionsHere() const;
    void useDecisions(uint32_t chain) const;

    // What the source reaches (sourceincludes.cpp): include files, code
    // size, places for messages.
    void include(Line& line);
    int readIncluded(JStream& file, const char* path) override;
    void setCodeBits(int size);
    void readCodeSize(const char* text, int n);
    void warnHere(const char* text, const char* name, int n) const;
    void warnHandedOver(const char* text, int n, const char* directive) const;
    const JTextBuffer& placeText() const;
};

#endif
