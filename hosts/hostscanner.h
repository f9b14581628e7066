// A host's reader: finds the assembly statements in the lines of a C, C++
// or Pascal source (the state of comments, blocks and conditionals carried
// from line to line), and writes an encoded statement's bytes back in the
// host's own form.
#ifndef PAKHOD_HOSTSCANNER_H
#define PAKHOD_HOSTSCANNER_H

#include <memory>

#include "encoder.h"
#include "jtextbuffer.h"
#include "units.h"

enum class HostKind : uint8_t {
    c,        // C and C++: __asm { } blocks, __asm statements, macros
    cAsmBody, // a file that is the body of an __asm { } block (included in one)
    pascal,   // Delphi, Free Pascal, Turbo Pascal: asm ... end
};

// What a scanner tells of a line.
class JHostEvents {
public:
    virtual ~JHostEvents() = default;
    // An assembly statement at [start, stop) of the line: a mnemonic and its
    // operands, without a label before it or a comment after it.
    // `interrupted`: a comment stands inside it, or follows it and runs on,
    // so that the statement may read otherwise than its text.
    virtual void statement(int start, int stop, bool interrupted) = 0;
};

class JHostScanner {
public:
    virtual ~JHostScanner() = default;

    JUnits units;

    // Reads the line text[0..n), with the line after it (null at the end)
    // where a statement may run on into it, and tells its statements.
    virtual void scanLine(const char* text, int n, const char* next, int nextLength, JHostEvents& events) = 0;
    // Puts in place of the statement [start, stop) of text[0..n) its bytes,
    // in the host's form, with the statement in a comment that ends neither
    // the line's code nor the block.
    virtual void writeCode(JTextBuffer& out, const MachineCode& code, const char* text, int n, int start,
                           int stop) const = 0;
    // The line being scanned is a macro's text (C's #define), whose names
    // are read where the macro is used.
    virtual bool inMacro() const { return false; }
    // A parameter of that macro named in the statement text[0..n): its
    // length, and *name where it stands; 0 when none. Its value is the
    // macro's caller's, whatever the file defines under that name.
    virtual int parameterIn(const char* text, int n, const char** name) const {
        (void)text, (void)n, (void)name;
        return 0;
    }
    // Whether bytes may write a general register: a C compiler learns from
    // an __asm block's instructions which registers it changes (and saves
    // EBX, ESI and EDI then), but learns nothing from _emit bytes.
    virtual bool bytesMayWriteRegisters() const { return true; }
    // The statement as the assembly readers take it (Pascal's $0F is 0Fh).
    virtual void respell(const char* text, int n, JTextBuffer& out) const;
    // A fresh scanner for the second pass, the units kept.
    virtual void restart() = 0;
};

std::unique_ptr<JHostScanner> hostScanner(HostKind kind);
std::unique_ptr<JHostScanner> cScanner(bool asmBody);  // cscanner.cpp
std::unique_ptr<JHostScanner> pascalScanner();         // pascalscanner.cpp

// Gathers one statement as a scanner meets its bytes.
class JStatementGatherer {
public:
    // Code bytes [from, to) of the statement.
    void code(int from, int to);
    // A comment: code after it, in the same statement, interrupts it.
    void comment() { commented = start >= 0; }
    // The statement ends; told unless it is empty or only a label.
    // `runsOn`: the comment after it runs into the next line.
    void end(const char* text, JHostEvents& events, bool runsOn = false);
    bool holdsCode() const { return start >= 0; }
    // What it holds is a label alone ("@@exit:"), or nothing.
    bool holdsLabelAtMost(const char* text) const;

private:
    int start = -1;
    int stop = -1;
    bool commented = false;
    bool interrupted = false;
};

#endif
