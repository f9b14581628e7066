#include "outputcheck.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "jmemorystream.h"
#include "jstreamtokenizer.h"
#include "lineprocessor.h"

namespace {

const std::string dbDirective = "\tdb\t\t";
const std::string dbStart = dbDirective + "00fh,0";
const std::string commentStart = "\t\t;";

// The source's lines as readLine gives them: split at LF, a CR before the
// LF or the end dropped, no line after a final LF.
std::vector<std::string> sourceLines(const std::string& source) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < source.size()) {
        size_t lf = source.find('\n', at);
        size_t stop = lf == std::string::npos ? source.size() : lf;
        std::string line = source.substr(at, stop - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = lf == std::string::npos ? source.size() : lf + 1;
    }
    return lines;
}

std::set<std::string> mnemonicsOf(JMMXSet* table) {
    std::set<std::string> names;
    for (JMMXSet* def = table->nextRecord(); def != table; def = def->nextRecord())
        names.insert(def->mnemonic.data);
    return names;
}

// The first blank-delimited word of a line, lower-cased.
std::string firstWord(const std::string& line) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return std::string();
    size_t stop = line.find_first_of(" \t", start);
    std::string word = line.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
    for (char& c : word)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return word;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// "00fh,0XXh,...": every item a 0, two lower-case hex digits and h; 2 to 8 items.
bool isByteList(const std::string& text) {
    size_t items = 0;
    for (size_t at = 0; at <= text.size(); at += 5) {
        if (at + 4 > text.size()) return false;
        if (text[at] != '0' || !isHexDigit(text[at + 1]) || !isHexDigit(text[at + 2]) ||
            text[at + 3] != 'h')
            return false;
        ++items;
        if (at + 4 == text.size()) break;
        if (text[at + 4] != ',') return false;
    }
    return items >= 2 && items <= 8;
}

void checkDbLine(const std::string& out, const std::string& in, const std::set<std::string>& names,
                 bool strictBytes) {
    require(out.compare(0, dbStart.size(), dbStart) == 0, "a changed line is a db line");
    std::string echo = commentStart + in;
    require(out.size() >= dbStart.size() + echo.size() &&
                out.compare(out.size() - echo.size(), echo.size(), echo) == 0,
            "a db line echoes its source line after ';'");
    require(names.count(firstWord(in)) == 1, "only a defined mnemonic is encoded");
    if (strictBytes) {
        size_t from = dbDirective.size();
        std::string bytes = out.substr(from, out.size() - from - echo.size());
        require(isByteList(bytes), "db bytes are 0XXh items");
    }
}

}  // namespace

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "line loop check failed: %s\n", what);
    std::abort();
}

void checkLineLoop(const std::string& source, JMMXSet* table, bool strictBytes) {
    JMemoryStream src(source.data(), static_cast<int>(source.size()));
    JMemoryStream dst;
    JStreamTokenizer tokenizer;
    tokenizer.setStream(&src);
    int result;
    while ((result = processLine(&dst, &tokenizer, table)) == 1) {}
    require(result == 0, "processLine ends with 0 on a memory stream");

    const std::string& output = dst.bytes();
    std::vector<std::string> lines = sourceLines(source);
    std::set<std::string> names = mnemonicsOf(table);
    size_t at = 0;
    for (const std::string& in : lines) {
        size_t lf = output.find('\n', at);
        require(lf != std::string::npos, "one output line per source line");
        require(lf > at && output[lf - 1] == '\r', "every output line ends in CR LF");
        std::string out = output.substr(at, lf - 1 - at);
        at = lf + 1;
        if (in.find('\0') != std::string::npos) continue;
        if (out != in) checkDbLine(out, in, names, strictBytes);
    }
    require(at == output.size(), "nothing after the last output line");
}
