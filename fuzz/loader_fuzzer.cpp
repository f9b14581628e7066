// Definition-loader fuzz target: the input is a definition file. The table
// must hold one record per five fields, be a sound ring, run a fixed source
// through the line loop with well-formed output, and be deleted without leaks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jmemorystream.h"
#include "jmmxset.h"
#include "outputcheck.h"

namespace {

// Lines meant to meet whatever the fuzzed table defines: short and common
// mnemonics with every operand shape the encoder tells apart.
const char fixedSource[] =
    "paddb mm0, mm1\r\n"
    "PSRLW MM2, 4\n"
    "movq mm1, [esi+8] ; load\n"
    "movq [edi-4], mm3\n"
    "movq mm0, [eax+1000]\n"
    "movq mm0, [eax+ebx]\n"
    "movd eax, mm2\n"
    "movd mm7, edi\n"
    "emms\n"
    "x mm0, mm1\n"
    "x eax, [ebp]\n"
    "x [esp+128], 300\n"
    "x\n"
    "a b, c\n"
    "\n"
    "; comment\n"
    "label: paddb mm0, mm1\n"
    "   \t\n"
    "x mm0, [eax+ebx+8], 9\n"
    "x mm1, [ ebx - 2147483648 ]";

// Records in the bytes: five fields each, where a delimiter (CR LF counting
// once) closes a field and bytes after the last delimiter form one. A file
// that ends just after a ',' or TAB has one more, empty, field.
long recordCount(const std::string& bytes) {
    long fields = 0;
    bool open = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == ',' || c == '\t' || c == '\n' || c == '\r') {
            ++fields;
            open = false;
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            open = true;
        }
    }
    if (open) ++fields;
    bool endsAfterSeparator = !bytes.empty() && (bytes.back() == ',' || bytes.back() == '\t');
    if (endsAfterSeparator && fields % 5 == 4) ++fields;
    return fields / 5;
}

void checkRing(JMMXSet* head, long records) {
    long seen = 0;
    for (JList* node = head->next; node != head; node = node->next) {
        require(node->next->prev == node, "ring links agree");
        require(++seen <= records, "no more records than five-field groups");
    }
    require(seen == records, "one record per five fields");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    std::string definitions(reinterpret_cast<const char*>(data), size);
    JMemoryStream stream(definitions.data(), static_cast<int>(definitions.size()));
    JMMXSet* table = loadDefinitions(&stream);
    checkRing(table, recordCount(definitions));
    checkLineLoop(fixedSource, table, false);
    JList::deleteList(table);
    return 0;
}
