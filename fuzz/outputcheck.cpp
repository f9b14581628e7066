#include "outputcheck.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "jmemorystream.h"
#include "jstreamtokenizer.h"
#include "lineprocessor.h"

namespace {

const std::string dbDirective = "\tdb\t\t", dbStart = dbDirective + "00fh,0", commentStart = "\t\t;";

// The first blank-delimited word of a line, lower-cased.
std::string firstWord(const std::string& line) {
    size_t start = std::min(line.find_first_not_of(" \t"), line.size());
    std::string word = line.substr(start, line.find_first_of(" \t", start) - start);
    for (char& c : word)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return word;
}

// "00fh,0XXh,...": 2 to 8 items, each a 0, two lower-case hex digits and h.
bool isByteList(const std::string& text) {
    if (text.size() % 5 != 4 || text.size() < 9 || text.size() > 39) return false;
    const std::string hex = "0123456789abcdef";
    for (size_t at = 0; at < text.size(); at += 5)
        if (text[at] != '0' || hex.find(text[at + 1]) == std::string::npos ||
            hex.find(text[at + 2]) == std::string::npos || text[at + 3] != 'h' ||
            (at + 4 < text.size() && text[at + 4] != ','))
            return false;
    return true;
}

void checkDbLine(const std::string& out, const std::string& in, const std::set<std::string>& names,
                 bool strictBytes) {
    require(out.compare(0, dbStart.size(), dbStart) == 0, "a changed line is a db line");
    std::string echo = commentStart + in;
    require(out.size() >= dbStart.size() + echo.size() &&
                out.compare(out.size() - echo.size(), echo.size(), echo) == 0,
            "a db line echoes its source line after ';'");
    require(names.count(firstWord(in)) == 1, "only a defined mnemonic is encoded");
    size_t from = dbDirective.size();
    require(!strictBytes || isByteList(out.substr(from, out.size() - from - echo.size())),
            "db bytes are 0XXh items");
}

}  // namespace

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "line loop check failed: %s\n", what);
    std::abort();
}

void checkLineLoop(const std::string& source, JMMXSet* table, bool strictBytes) {
    JMemoryStream src(source.data(), static_cast<int>(source.size())), dst;
    JStreamTokenizer tokenizer;
    tokenizer.setStream(&src);
    int result;
    while ((result = processLine(&dst, &tokenizer, table)) == 1) {}
    require(result == 0, "processLine ends with 0 on a memory stream");

    std::set<std::string> names;
    for (JMMXSet* def = table->nextRecord(); def != table; def = def->nextRecord()) names.insert(def->mnemonic.data);
    // Source lines as readLine gives them: split at LF, a CR before the LF
    // or the end dropped, no line after a final LF.
    const std::string& output = dst.bytes();
    size_t at = 0;
    for (size_t from = 0; from < source.size();) {
        size_t stop = std::min(source.find('\n', from), source.size());
        std::string in = source.substr(from, stop - from);
        if (!in.empty() && in.back() == '\r') in.pop_back();
        from = stop + 1;
        size_t lf = output.find('\n', at);
        require(lf != std::string::npos, "one output line per source line");
        require(lf > at && output[lf - 1] == '\r', "every output line ends in CR LF");
        std::string out = output.substr(at, lf - 1 - at);
        at = lf + 1;
        if (in.find('\0') == std::string::npos && out != in) checkDbLine(out, in, names, strictBytes);
    }
    require(at == output.size(), "nothing after the last output line");
}
