// Line-loop fuzz target: the input is an assembly source, run through
// the driver's conversion with the shipped definition file.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "memory_stream.h"
#include "jmmxset.h"
#include "outputcheck.h"

namespace {
JMMXSet* shippedTable = nullptr;  // lives for the whole run
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::ifstream in(PAKHOD_DEFINITION_FILE, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string definitions = bytes.str();
    MemoryStream stream(definitions);
    shippedTable = loadDefinitions(&stream);
    require(shippedTable->next != shippedTable, "the shipped table has records");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size <= 1 << 16) checkLineLoop(std::string(reinterpret_cast<const char*>(data), size), shippedTable, true);
    return 0;
}
