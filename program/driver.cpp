#include "driver.h"

#include <cstdio>
#include <cstring>

#include "jbufferedstream.h"
#include "jmmxset.h"
#include "jstreamtokenizer.h"
#include "jwinfile.h"
#include "lineprocessor.h"
#include "platform.h"

namespace {

constexpr int modeRead = 1;
constexpr int modeCreate = 2;
// How long a file held by another run is waited for, and the pauses between
// tries (doubling from the first to the last).
constexpr uint32_t lockWaitMilliseconds = 10000;
constexpr int firstPause = 2;
constexpr int longestPause = 64;
constexpr int scanBlock = 1 << 16;
constexpr int definitionBuffer = 1 << 14;  // the definition file is small

const char definitionFileName[] = "mmx_set.def";

const char usageText[] = "Usage :  pakhod srcfile [destfile]\n\n";
const char definitionMessage[] = "ERROR: Can't open MMX-Set Definition file.(mmxset.def)\n\n";
const char sourceMessage[] = "ERROR: Can't open srcfile (%s)";
const char notTextMessage[] = "ERROR: srcfile is not a text file (%s)\n\n";
const char destinationMessage[] = "ERROR: Can't open destfile (%s)\n\n";
const char readMessage[] = "ERROR: Can't read srcfile (%s)\n\n";
const char writeMessage[] = "ERROR: Can't write destfile (%s)\n\n";
const char replaceMessage[] = "ERROR: Can't replace %s; the result is kept in %s\n\n";
const char inPlaceProgress[] = "Encoding %s...\n\n";
const char twoNameProgress[] = "Encoding %s to %s...\n\n";

const char bannerText[] =
    "----------------------------------------\n"
    "    Pakhod ver.1.00 beta 1\n"
    "        MMX instructions to db directives for 32-bit x86 assemblers\n"
    "        Written by the pakhod developers\n"
    "        Contact: the pakhod project's issue tracker\n"
    "----------------------------------------\n\n";

// Opens `name` for reading. While the open is refused only because another
// process holds the file, tries again after a pause, for a limited time.
int openForReading(JWinFile& file, const char* name) {
    uint32_t start = tickCount();
    int pause = firstPause;
    while (!file.open(name, modeRead)) {
        if (!file.lastOpenWasLocked() || tickCount() - start >= lockWaitMilliseconds) return 0;
        sleepMilliseconds(pause);
        if (pause < longestPause) pause *= 2;
    }
    return 1;
}

// The definition table, or null when the definition file cannot be found
// or opened.
JMMXSet* loadTable() {
    JString path;
    if (!findDefinitionFile(definitionFileName, path)) return nullptr;
    JWinFile definitions;
    if (!openForReading(definitions, path.data)) return nullptr;
    JBufferedStream buffered(&definitions, definitionBuffer);
    JMMXSet* table = loadDefinitions(&buffered);
    definitions.close();
    return table;
}

// Assembly text holds no NUL byte; UTF-16 text and binaries do.
int isTextFile(JStream& source) {
    char block[scanBlock];
    source.seek(0, 0);
    for (int n; (n = source.read(block, scanBlock)) > 0;)
        if (std::memchr(block, '\0', static_cast<size_t>(n)) != nullptr) return 0;
    return 1;
}

// Writes the converted source to `destination` and closes it: the one
// place where output leaves the program. 1 when every byte was taken.
// Both files are read and written through large buffers; a write that
// fails inside the buffering shows at the latest when it is flushed.
// Returns what convertStream does; a failed close is a failed write.
int writeDestination(JWinFile& destination, JStream& source, JMMXSet* table) {
    int converted = convertStream(&destination, &source, table);
    int closed = closeFile(destination);
    return closed ? converted : convertWriteFailed;
}

void printBanner(const char* sourceName, const char* destinationName, int inPlace) {
    std::fputs(bannerText, stdout);
    if (inPlace)
        std::printf(inPlaceProgress, sourceName);
    else
        std::printf(twoNameProgress, sourceName, destinationName);
}

// Everything after the table is loaded. Nothing is created before the
// source has proved readable text; the source stays open (and so held)
// until it has been replaced.
int convertFile(JMMXSet* table, const char* sourceName, const char* destinationArgument) {
    JWinFile source;
    if (!openForReading(source, sourceName)) {
        std::printf(sourceMessage, sourceName);
        return 0;
    }
    if (!isTextFile(source)) {
        std::printf(notTextMessage, sourceName);
        return 0;
    }
    int inPlace = std::strcmp(sourceName, destinationArgument) == 0;
    JString destinationName(destinationArgument);
    if (inPlace && !createTemporaryFile(destinationName)) {
        std::printf(destinationMessage, destinationName.data);
        return 0;
    }
    JWinFile destination;
    int destinationIsSource = !inPlace && namesHeldFile(destinationName.data, source);
    if (destinationIsSource || !destination.open(destinationName.data, modeCreate)) {
        if (inPlace) removeFile(destinationName.data);
        std::printf(destinationMessage, destinationName.data);
        return 0;
    }
    printBanner(sourceName, destinationName.data, inPlace);
    int written = writeDestination(destination, source, table);
    if (written != convertCompleted) {
        if (inPlace) removeFile(destinationName.data);
        if (written == convertReadFailed)
            std::printf(readMessage, sourceName);
        else
            std::printf(writeMessage, destinationName.data);
        return 0;
    }
    if (inPlace) {
        if (!replaceFileContent(sourceName, destinationName.data, source)) {
            keepFile(destinationName.data);
            std::printf(replaceMessage, sourceName, destinationName.data);
            return 0;
        }
        removeFile(destinationName.data);
    }
    return 1;
}

}  // namespace

// A failed read looks like the end of the source to the tokenizer, so the
// bytes consumed are held against the source's size: a short read must not
// pass for a complete (and, in place, source-replacing) run.
int convertStream(JStream* destination, JStream* source, JMMXSet* table) {
    JBufferedStream input(source);
    JBufferedStream output(destination);
    JLineContext context(table);
    JStreamTokenizer tokenizer;
    tokenizer.setStream(&input);
    int result;
    while ((result = processLine(&output, &tokenizer, table, &context)) > 0) {
    }
    int flushed = output.flush();
    if (result != 0 || !flushed) return convertWriteFailed;
    bool readWhole = static_cast<uint32_t>(tokenizer.position) == source->size();
    return readWhole ? convertCompleted : convertReadFailed;
}

int runDriver(int argc, const char* const* argv) {
    if (argc < 2) {
        std::fputs(usageText, stdout);
        return 0;
    }
    JMMXSet* table = loadTable();
    if (table == nullptr) {
        std::fputs(definitionMessage, stdout);
        return 0;
    }
    int status = convertFile(table, argv[1], argc > 2 ? argv[2] : argv[1]);
    JList::deleteList(table);
    return status;
}
