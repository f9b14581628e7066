// The conversion fuzz target. The input is an assembly source, converted
// with the shipped definition file; or, when it starts with a line
// "#definitions", a definition file up to a line "#source", whose table must
// be a sound ring, then the source, converted with that table. Either way the
// driver's conversion must complete, with one CR LF line per source line: the
// source line as it was, or a db line of a defined mnemonic that echoes it;
// and the table goes without leaks.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "driver.h"
#include "jmmxset.h"
#include "memory_stream.h"

namespace {

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "conversion check failed: %s\n", what);
    std::abort();
}

// The first blank-delimited word of a line, lower-cased.
std::string firstWord(const std::string& line) {
    size_t start = std::min(line.find_first_not_of(" \t"), line.size());
    std::string word = line.substr(start, line.find_first_of(" \t", start) - start);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

// strictBytes (the shipped file, whose opcodes are two hex digits and h):
// after a segment prefix, 2 to 9 items of 0XXh.
void checkDbLine(const std::string& out, const std::string& in, const std::set<std::string>& names, bool strictBytes) {
    static const std::regex strict("\tdb\t\t(0(26|2e|36|3e|64|65)h,)?00fh(,0[0-9a-f]{2}h){1,8}"),
        loose("\tdb\t\t(0(26|2e|36|3e|64|65)h,)?00fh,0[^]*");
    const std::string echo = "\t\t;" + in;
    require(out.size() > echo.size() && out.compare(out.size() - echo.size(), echo.size(), echo) == 0,
            "a db line echoes its source line after ';'");
    require(std::regex_match(out.substr(0, out.size() - echo.size()), strictBytes ? strict : loose),
            "a changed line is a db line");
    require(names.count(firstWord(in)) == 1, "only a defined mnemonic is encoded");
}

void checkConversion(const std::string& source, JMMXSet* table, bool strictBytes) {
    MemoryStream src(source), dst;
    require(convertStream(&dst, &src, table) == convertCompleted, "a memory stream is converted whole");
    std::set<std::string> names;
    for (JMMXSet* def = table->nextRecord(); def != table; def = def->nextRecord()) names.insert(def->mnemonic.data);
    // Source lines as readLine gives them: split at LF, a CR before the LF
    // or the end dropped, no line after a final LF. Lines with NUL are only counted.
    const std::string& output = dst.content;
    size_t at = 0;
    for (size_t from = 0; from < source.size();) {
        size_t stop = std::min(source.find('\n', from), source.size());
        std::string in = source.substr(from, stop - from);
        if (!in.empty() && in.back() == '\r') in.pop_back();
        from = stop + 1;
        size_t lf = output.find('\n', at);
        require(lf != std::string::npos && lf > at && output[lf - 1] == '\r', "one CR LF line per source line");
        std::string out = output.substr(at, lf - 1 - at);
        at = lf + 1;
        if (in.find('\0') == std::string::npos && out != in) checkDbLine(out, in, names, strictBytes);
    }
    require(at == output.size(), "nothing after the last output line");
}

JMMXSet* shippedTable = nullptr;  // lives for the whole run

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::ifstream in(PAKHOD_DEFINITION_FILE, std::ios::binary);
    MemoryStream definitions{std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
    shippedTable = loadDefinitions(&definitions);
    require(shippedTable->next != shippedTable, "the shipped table has records");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size), head = "#definitions\n", split = "\n#source\n";
    const size_t at = input.find(split);
    if (input.compare(0, head.size(), head) != 0 || at == std::string::npos) {
        checkConversion(input, shippedTable, true);
        return 0;
    }
    MemoryStream definitions(input.substr(head.size(), at - head.size()));
    JMMXSet* table = loadDefinitions(&definitions);
    long seen = 0;  // a sound ring, and one that ends
    for (JList* node = table->next; node != table && seen <= long(size); node = node->next, ++seen)
        require(node->next->prev == node, "ring links agree");
    require(seen <= long(size), "a ring that ends");
    checkConversion(input.substr(at + split.size()), table, false);
    JList::deleteList(table);
    return 0;
}
