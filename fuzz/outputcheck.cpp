#include "outputcheck.h"

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <regex>
#include <set>

#include "driver.h"
#include "memory_stream.h"

namespace {

// The first blank-delimited word of a line, lower-cased.
std::string firstWord(const std::string& line) {
    size_t start = std::min(line.find_first_not_of(" \t"), line.size());
    std::string word = line.substr(start, line.find_first_of(" \t", start) - start);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

// A changed line is a db line of a defined mnemonic that echoes its source
// line after ";", a segment prefix first when it has one. Strict: the items
// after it are 2 to 8 bytes, each 0XXh.
void checkDbLine(const std::string& out, const std::string& in, const std::set<std::string>& names,
                 bool strictBytes) {
    static const std::regex strict("\tdb\t\t(0(26|2e|36|3e|64|65)h,)?00fh(,0[0-9a-f]{2}h){1,7}"),
        loose("\tdb\t\t(0(26|2e|36|3e|64|65)h,)?00fh,0[^]*");
    const std::string echo = "\t\t;" + in;
    require(out.size() > echo.size() && out.compare(out.size() - echo.size(), echo.size(), echo) == 0,
            "a db line echoes its source line after ';'");
    require(std::regex_match(out.substr(0, out.size() - echo.size()), strictBytes ? strict : loose),
            "a changed line is a db line");
    require(names.count(firstWord(in)) == 1, "only a defined mnemonic is encoded");
}

}  // namespace

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "line loop check failed: %s\n", what);
    std::abort();
}

void checkLineLoop(const std::string& source, JMMXSet* table, bool strictBytes) {
    MemoryStream src(source), dst;
    require(convertStream(&dst, &src, table) == convertCompleted, "a memory stream is converted whole");

    std::set<std::string> names;
    for (JMMXSet* def = table->nextRecord(); def != table; def = def->nextRecord()) names.insert(def->mnemonic.data);
    // Source lines as readLine gives them: split at LF, a CR before the LF
    // or the end dropped, no line after a final LF.
    const std::string& output = dst.content;
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
