// Definition-loader fuzz target: the input is a definition file. The table
// must hold one record per five fields, be a sound ring, run a fixed source
// through the line loop with well-formed output, and be deleted without leaks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "memory_stream.h"
#include "jmmxset.h"
#include "outputcheck.h"

namespace {

// Lines meant to meet whatever the fuzzed table defines: short and common
// mnemonics with every operand shape the encoder tells apart.
const char fixedSource[] =
    "paddb mm0, mm1\r\nPSRLW MM2, 4\nmovq mm1, [esi+8] ; load\nmovq [edi-4], mm3\nmovq mm0, [eax+1000]\n"
    "movq mm0, [eax+ebx]\nmovd eax, mm2\nmovd mm7, edi\nemms\nx mm0, mm1\nx eax, [ebp]\nx [esp+128], 300\n"
    "x\na b, c\n\n; comment\nlabel: paddb mm0, mm1\n   \t\nx mm0, [eax+ebx+8], 9\nx mm1, [ ebx - 2147483648 ]";

// Records in the bytes: five fields each, where a delimiter (CR LF counting
// once) closes a field and bytes after the last delimiter form one. A file
// that ends just after a ',' or TAB has one more, empty, field.
long recordCount(const std::string& bytes) {
    const std::string delimiters = ",\t\r\n";
    long fields = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (delimiters.find(bytes[i]) != std::string::npos) {
            ++fields;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        }
    if (bytes.empty()) return 0;
    if (delimiters.find(bytes.back()) == std::string::npos) ++fields;
    if ((bytes.back() == ',' || bytes.back() == '\t') && fields % 5 == 4) ++fields;
    return fields / 5;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    std::string definitions(reinterpret_cast<const char*>(data), size);
    MemoryStream stream(definitions);
    JMMXSet* table = loadDefinitions(&stream);
    long records = recordCount(definitions), seen = 0;
    for (JList* node = table->next; node != table && seen <= records; node = node->next, ++seen)
        require(node->next->prev == node, "ring links agree");
    require(seen == records, "one record per five fields");
    checkLineLoop(fixedSource, table, false);
    JList::deleteList(table);
    return 0;
}
