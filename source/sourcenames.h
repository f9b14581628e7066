// JSourceNames: the names a source defines, and what each means at the line
// being converted, as the assembler will read it there.
//
// It records the simple definitions: NASM %define, %xdefine and %assign,
// equ; MASM and TASM EQU, =, TEXTEQU; GNU .equ and .set; data labels (a
// name before db/dq/resb/..., MASM's typed data and LABEL, typed EXTRN);
// and it follows the structure they stand in: conditional branches (%if,
// IF, #if, .if and their else and end), macro and repeat bodies, structure
// definitions. A definition counts at a use only when it is the last one
// of that name before the use, stands in the use's own branch or one
// enclosing it, outside every body and structure, with no %undef after it.
// A use inside a body takes a name defined once in the whole file, outside
// conditionals. A name whose definitions exist but do not count, or that
// is defined in another letter case (MASM ignores case), is ambiguous: the
// line that uses it is copied.
//
// The source is read for this only when a line first needs it (learn), so
// a source whose MMX lines name nothing costs nothing more.
#ifndef PAKHOD_SOURCENAMES_H
#define PAKHOD_SOURCENAMES_H

#include <cstdint>

#include "namelookup.h"
#include "jstream.h"
#include "jstring.h"
#include "jtextbuffer.h"

class JSourceNames : public JNameLookup {
public:
    JSourceNames();
    ~JSourceNames() override;
    JSourceNames(const JSourceNames&) = delete;
    JSourceNames& operator=(const JSourceNames&) = delete;

    // unread: not learned yet; ready: meanings are known; unknown: the
    // source could not be read (every name is then ambiguous).
    enum State { unread, ready, unknown };
    State state() const { return current; }

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
    // applies from the next line on. (Kept out of the line loop's code,
    // which runs it only for sources that use names.)
    [[gnu::noinline]] void pass(const char* text, int n);

    // What the name text[0..n) stands for at the current line.
    NameMeaning meaning(const char* text, int n) const override;

    // Puts in place of each name in text[0..n) what it stands for: a text
    // definition's text (read again, a limited number of times), and with
    // `withValues` a value's digits; other names stay. 0 when a name is
    // ambiguous or holds '$', or substitution nests too deep or grows too
    // long (then `out` holds nothing of use). *changed, when given: some
    // name was put in place.
    int resolve(const char* text, int n, JTextBuffer& out, bool withValues, bool* changed = nullptr) const;

    // Limits that keep memory bounded on hostile input; past them every
    // name is ambiguous.
    static constexpr int mostNames = 1 << 18;
    static constexpr int mostTextBytes = 1 << 24;
    static constexpr int deepestBranches = 1 << 16;

private:
    struct Definition;
    struct Entry;
    struct Entries;
    struct Structure;
    class Line;

    State current;
    bool wholeFile;       // learning the whole file (its facts) rather than the state at a line
    bool fileConfused;    // the whole file's structure did not balance
    bool overflowed;      // a limit was passed
    bool preprocessorOnly = false;
    bool macroBody = false;

    Entries* entries;  // by the order they were met
    uint32_t* buckets;    // entry index + 1, by folded name; 0 empty
    uint32_t bucketMask;
    JTextBuffer names;    // every entry's name
    JTextBuffer texts;    // definitions' texts
    JTextBuffer scratch;  // a definition's expression with its names put in place
    int garbageBytes;     // texts no longer referred to
    Structure* structure;

    void reset(bool learnWholeFile);
    void passLine(const JString& line, bool first);
    uint32_t bucketOf(const char* name, int n) const;
    int lookup(const char* name, int n) const;
    int findEntry(const char* name, int n);
    bool standsOpen(const Definition& d) const;
    static bool sharesText(const Entry& e);
    bool isBlocked(const char* name, int n) const;

    void define(const char* name, int n, Definition d);
    void undefine(const char* name, int n);
    void defineText(const char* name, int n, const char* text, int length, bool expandNow);
    void defineValue(const char* name, int n, const char* expression, int length, bool registersMakeText);
    void defineKind(const char* name, int n, uint8_t kind);
    uint32_t keepText(const char* text, int n);
    void compactTexts();
    void interpret(Line& line);
    bool interpretDirective(Line& line, const char* word, int n);
    void interpretNamed(Line& line, const char* name, int n);
    int resolveInto(const char* text, int n, JTextBuffer& out, bool withValues, int depth, int limit,
                    bool* changed) const;
};

#endif
