// Test helpers: the shipped definition table, and one source line run
// through every definition of its mnemonic the way the line loop does.
#ifndef PAKHOD_TESTS_ENCODING_HARNESS_H
#define PAKHOD_TESTS_ENCODING_HARNESS_H

#include <cctype>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "encoder.h"
#include "jmemorystream.h"
#include "jmmxset.h"

struct TableDeleter {
    void operator()(JMMXSet* head) const { JList::deleteList(head); }
};
using Table = std::unique_ptr<JMMXSet, TableDeleter>;

inline Table loadTableFromText(const std::string& text) {
    JMemoryStream stream(text.data(), static_cast<int>(text.size()));
    return Table(loadDefinitions(&stream));
}

inline std::string shippedDefinitionText() {
    std::ifstream in(PAKHOD_SHIPPED_DEFINITIONS, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

inline Table loadShippedTable() { return loadTableFromText(shippedDefinitionText()); }

inline std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

struct SplitLine {
    std::string mnemonic, op1, op2;
};

// Mnemonic, then two operands split at the first comma outside brackets;
// a ';' outside brackets ends them. Lower-cased, as the line loop hands them over.
inline SplitLine splitLine(const std::string& line) {
    SplitLine s;
    std::string text = trimmed(line);
    size_t end = text.find_first_of(" \t");
    s.mnemonic = lowerCase(text.substr(0, end));
    std::string rest = end == std::string::npos ? "" : text.substr(end);
    int depth = 0;
    std::string* into = &s.op1;
    for (char c : rest) {
        if (c == '[') depth = 1;
        if (c == ']') depth = 0;
        if (depth == 0 && c == ';') break;
        if (depth == 0 && c == ',' && into == &s.op1) {
            into = &s.op2;
            continue;
        }
        *into += c;
    }
    s.op1 = lowerCase(trimmed(s.op1));
    s.op2 = lowerCase(trimmed(s.op2));
    return s;
}

struct Encoded {
    int result;        // of the definition that took the line; 0 when none did
    std::string text;  // everything written to the destination
};

// Tries the definitions of the line's mnemonic in file order; the first
// that does not answer 0 wins.
inline Encoded encodeLine(const JMMXSet* table, const std::string& line) {
    SplitLine split = splitLine(line);
    JString source(line.c_str()), op1(split.op1.c_str()), op2(split.op2.c_str());
    JMemoryStream out;
    int result = 0;
    for (const JMMXSet* def = table->nextRecord(); def != table && result == 0; def = def->nextRecord())
        if (split.mnemonic == def->mnemonic.data) result = encodeInstruction(&out, source, def, op1, op2);
    return Encoded{result, out.bytes()};
}

#endif
