// The conversion fuzz target. The input is an assembly source, converted
// with the shipped definition file; or, when it starts with a line
// "#definitions", a definition file up to a line "#source", whose table must
// be a sound ring, then the source, converted with that table. A line
// "#included" ends the source: what follows is the file every include line
// of the source names (from memory; it includes nothing itself). The run
// has -D WIDE -D SIZE=8 -U GONE on its command line. Either way the driver's
// conversion must complete, with one CR LF line per source line: the
// source line as it was, or a db line of a defined mnemonic that echoes it;
// and the table goes without leaks. An input that starts with a line
// "#host c", "#host body" or "#host pascal" is the rest read as such a
// source: one line out per line in, as it was or with bytes in it.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <utility>

#include "driver.h"
#include "hostconvert.h"
#include "jmmxset.h"
#include "memory_stream.h"
#include "sourcefiles.h"

namespace {

// Every include file is `text`, read from memory; it includes nothing, so
// that a run stays small.
class MemoryIncludes : public JSourceFiles {
public:
    explicit MemoryIncludes(std::string text) : text(std::move(text)) {}
    int include(const char*, const char*, int, bool, JIncludeReader& reader) override {
        if (reading) return 0;
        MemoryStream file(text);
        reading = true;
        int whole = reader.readIncluded(file, "included.inc");
        reading = false;
        return whole;
    }
    void warn(const char*) override {}
    void note(const char*) override {}

private:
    std::string text;
    bool reading = false;
};

JMMXSet* shippedTable = nullptr;  // lives for the whole run

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
// after a segment prefix, 2 to 9 items of 0XXh, the last perhaps an
// immediate's text in parentheses. A label of the line ending in ':' may
// stand in front, the mnemonic then after it.
bool isDbLine(const std::string& out, const std::string& in, const std::set<std::string>& names, bool strictBytes) {
    static const std::regex strict("\tdb\t\t(0(26|2e|36|3e|64|65)h,)?00fh(,0[0-9a-f]{2}h){1,8}(,\\([^]*\\))?"),
        loose("\tdb\t\t(0(26|2e|36|3e|64|65)h,)?00fh,0[^]*");
    const size_t label = out.find("\tdb\t\t");
    if (label == std::string::npos || (label > 0 && (out[label - 1] != ':' || in.compare(0, label, out, 0, label) != 0)))
        return false;
    const std::string echo = "\t\t;" + in;
    return out.size() > label + echo.size() && out.compare(out.size() - echo.size(), echo.size(), echo) == 0 &&
           std::regex_match(out.substr(label, out.size() - echo.size() - label), strictBytes ? strict : loose) &&
           names.count(firstWord(in.substr(label))) == 1;
}

// The output line at `at` (without CR LF) and where the next starts; npos
// when there is no whole line there.
size_t lineAt(const std::string& output, size_t at, std::string* line) {
    size_t lf = output.find('\n', at);
    if (lf == std::string::npos || lf == at || output[lf - 1] != '\r') return std::string::npos;
    *line = output.substr(at, lf - 1 - at);
    return lf + 1;
}

void checkConversion(const std::string& input, JMMXSet* table, bool strictBytes) {
    const size_t split = input.find("\n#included\n");
    const std::string source = input.substr(0, split == std::string::npos ? input.size() : split + 1);
    MemoryIncludes includes(split == std::string::npos ? "" : input.substr(split + 11));
    const NameSetting settings[] = {{"WIDE", false}, {"SIZE=8", false}, {"GONE", true}};
    SourceSetting setting;
    setting.name = "fuzz.asm";
    setting.files = &includes;
    setting.names = settings;
    setting.nameCount = 3;
    MemoryStream src(source), dst;
    require(convertStream(&dst, &src, table, nullptr, &setting) == convertCompleted, "a memory stream is converted whole");
    std::set<std::string> names;
    for (JMMXSet* def = table->nextRecord(); def != table; def = def->nextRecord()) names.insert(def->mnemonic.data);
    // Source lines as readLine gives them: split at LF, a CR before the LF
    // or the end dropped, no line after a final LF. Lines with NUL are only counted.
    // Each source line gives its own text, or a db line of a defined mnemonic
    // that echoes it, then perhaps a dd line (a displacement the assembler
    // fills in) and a db line of the bytes after it: every way of reading the
    // output so is followed, and one must end where the output ends.
    static const std::regex dd("\tdd\t\t[^\r\n]+"), after("\tdb\t\t(0[0-9a-f]{2}h|\\([^]*\\))(,0[0-9a-f]{2}h|,\\([^]*\\))*");
    const std::string& output = dst.content;
    // A UTF-8 byte order mark stays in front of the first line, which is read without it.
    const std::string mark = "\xEF\xBB\xBF";
    const size_t marked = source.compare(0, 3, mark) == 0 ? 3 : 0;
    require(output.compare(0, marked, mark, 0, marked) == 0, "a byte order mark is kept");
    std::set<size_t> reached = {marked};
    for (size_t from = marked; from < source.size();) {
        size_t stop = std::min(source.find('\n', from), source.size());
        std::string in = source.substr(from, stop - from), line;
        if (!in.empty() && in.back() == '\r') in.pop_back();
        from = stop + 1;
        std::set<size_t> next;
        for (size_t at : reached) {
            size_t past = lineAt(output, at, &line);
            if (past == std::string::npos) continue;
            const bool hasNul = in.find('\0') != std::string::npos;  // its text ends at the NUL
            if (line == in || hasNul) next.insert(past);
            if (line == in || !(hasNul ? line.find("\tdb\t\t") != std::string::npos : isDbLine(line, in, names, strictBytes)))
                continue;
            next.insert(past);
            if ((past = lineAt(output, past, &line)) == std::string::npos || !std::regex_match(line, dd)) continue;
            next.insert(past);
            if ((past = lineAt(output, past, &line)) != std::string::npos && std::regex_match(line, after)) next.insert(past);
        }
        require(!next.empty(), "each source line gives its text or its db line");
        reached.swap(next);
    }
    require(reached.count(output.size()) == 1, "nothing after the last output line");
}

// A C or Pascal source: every output line is its source line, or holds the
// bytes of a statement in the host's form.
void checkHost(const std::string& source, HostKind kind) {
    MemoryStream src(source), dst;
    const int converted = convertHost(&dst, &src, shippedTable, nullptr, kind);
    require(converted == convertCompleted, "a host source is converted whole");
    size_t from = 0, at = 0;
    std::string line;
    while (from < source.size()) {
        size_t stop = std::min(source.find('\n', from), source.size());
        std::string in = source.substr(from, stop - from);
        if (!in.empty() && in.back() == '\r') in.pop_back();
        from = stop + 1;
        at = lineAt(dst.content, at, &line);
        require(at != std::string::npos, "one output line per source line");
        const bool nul = in.find('\0') != std::string::npos;
        require(nul || line == in || line.find(kind == HostKind::pascal ? "DB $" : "_emit 0x") != std::string::npos,
                "a line as it was, or with bytes");
    }
    require(at == dst.content.size(), "nothing after the last output line");
}

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
    for (const auto& host : {std::make_pair("#host c\n", HostKind::c),
                             std::make_pair("#host body\n", HostKind::cAsmBody),
                             std::make_pair("#host pascal\n", HostKind::pascal)})
        if (input.compare(0, std::strlen(host.first), host.first) == 0) {
            checkHost(input.substr(std::strlen(host.first)), host.second);
            return 0;
        }
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
