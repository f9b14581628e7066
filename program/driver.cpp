#include "driver.h"

#include <cstdio>
#include <cstring>

#include "jbufferedstream.h"
#include "jmmxset.h"
#include "jstreamtokenizer.h"
#include "hostconvert.h"
#include "includefiles.h"
#include "jasciicase.h"
#include "jwinfile.h"
#include "leftreport.h"
#include "lineprocessor.h"
#include "options.h"
#include "platform.h"
#include "version.h"

namespace {

constexpr int modeRead = 1;
constexpr int modeCreate = 2;
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
    "    Pakhod ver." PAKHOD_VERSION "\n"
    "        MMX instructions to db directives for 32-bit x86 assemblers\n"
    "        Written by the pakhod developers\n"
    "        Contact: the pakhod project's issue tracker\n"
    "----------------------------------------\n\n";

const char helpText[] =
    "Usage: pakhod [options] srcfile [destfile]\n"
    "       pakhod --help | --version\n"
    "\n"
    "Rewrites the MMX instructions of a 32-bit x86 assembly source as db\n"
    "directives holding their machine code, each followed by its line as a\n"
    "comment. Every other line is copied as it is. In C and C++ sources the\n"
    "MMX statements of __asm blocks become _emit bytes, in Pascal sources\n"
    "those of asm blocks DB lists, on the lines they came from.\n"
    "\n"
    "  srcfile           the source to read\n"
    "  destfile          the file to write; without it, or when it is srcfile\n"
    "                    again, srcfile is rewritten in place\n"
    "  -h, --help        print this text (/? too, on Windows)\n"
    "  -V, --version     print the version\n"
    "\n"
    "Options, before srcfile (an argument that names a file is that file):\n"
    "  -x KIND           read srcfile as asm, c (or c++), c-asm-body (the body\n"
    "                    of an __asm block) or pascal; without it .c .cc .cpp\n"
    "                    .cxx .h .hh .hpp .hxx .inl are C, .pas .pp .dpr .lpr\n"
    "                    .dpk Pascal, any other assembly\n"
    "  -D NAME[=VALUE]   NAME is defined (as VALUE, or empty), as the\n"
    "                    assembler is told; -U NAME: it is not\n"
    "  -I DIR            look for include files in DIR too: after the folder\n"
    "                    of the including file and the current folder\n"
    "  -q, --quiet       print nothing on standard output for a completed run\n"
    "  --usual-status    exit 0 when the run completed, 1 after an error, 2\n"
    "                    for a command line refused\n"
    "  --strict          a run that leaves an MMX line as it was is an error\n"
    "  --keep-line-ends  end each line as the source does (else CR LF)\n"
    "  --                end the options\n"
    "\n"
    "PAKHOD_WARNINGS=0 (or no, off, false) silences the warnings about the\n"
    "MMX lines left as they were.\n"
    "\n"
    "The instructions come from mmx_set.def, looked for in this order: the\n"
    "directory of pakhod itself, the current directory, each directory of\n"
    "PATH, then ../share/pakhod/ beside the directory of pakhod.\n"
    "\n"
    "Exit status: 1 when the run completed; 0 after this text, the version,\n"
    "the usage line or an error (the reverse of the usual rule, which\n"
    "callers rely on; --usual-status gives the usual one). Errors are\n"
    "explained on standard error.\n";

const char versionText[] =
    "pakhod " PAKHOD_VERSION "\n"
    "MIT License. Copyright (c) 2026 The pakhod developers. No warranty.\n";

// The texts a sole argument asks for, unless a file has its name.
struct InfoOption {
    const char* argument;
    const char* text;
};
const InfoOption infoOptions[] = {
    {"--help", helpText}, {"-h", helpText}, {"--version", versionText}, {"-V", versionText}};

// Standard error: warnings about the command line, the definition file
// used, and after each error message the reason, on a line of its own.
const char optionWarning[] =
    "pakhod: warning: taken as destfile: %s (options go before srcfile; to name a file that starts with '-', write ./%s)\n";
const char commandLineReason[] = "pakhod: %s\n";
const char strictReason[] = "pakhod: %s: %d MMX line%s left as %s (--strict makes that an error)\n";
const char usingNote[] = "pakhod: using %s\n";
const char reasonLine[] = "%spakhod: %s: %s\n";
const char notFoundReason[] = "not found; searched, in order:";
const char searchedPlace[] = "  %.*s\n";
const char waitedReason[] = " (waited %d seconds)";
const char nulReason[] = "not 8-bit text: a NUL byte at offset ";
const char nulHint[] = " (UTF-16 text or a binary file)";
const char sameFileReason[] = "the same file as the source ";
const char sameFileHint[] = " (to rewrite it in place, name it once)";
const char shortWriteReason[] = "a write was cut short";
const char sizeMismatchReason[] = "the bytes read did not match its size";
const char folderReason[] = " (pakhod replaces a file by a new one beside it, and its folder ";
const char folderHint[] = " takes no new files)";
const char keptReason[] = "; the result is kept in ";

// How a run ended, and the exit status each gives: pakhod's own (1 for a
// completed run, 0 otherwise), or with --usual-status the usual one.
enum class Outcome { completed, leftUnderStrict, failed, commandLine, info };

int statusOf(Outcome outcome, bool usual) {
    switch (outcome) {
        case Outcome::completed:
            return usual ? 0 : 1;
        case Outcome::leftUnderStrict:
        case Outcome::failed:
            return usual ? 1 : 0;
        case Outcome::commandLine:
            return usual ? 2 : 0;
        case Outcome::info:
            break;
    }
    return 0;
}

// The words for an error code, or `unknown` when no call failed (code 0).
JString reasonFor(int code, const char* unknown = "") {
    JString text(unknown);
    if (code != 0) errorText(code, text);
    return text;
}

// "pakhod: NAME: REASON" on standard error. Standard output is flushed
// first, so that a terminal shows the two in the order written; `ownLine`
// ends the line of a message printed without a line end.
void explain(const char* name, const JString& reason, bool ownLine = false) {
    std::fflush(stdout);
    std::fprintf(stderr, reasonLine, ownLine ? "\n" : "", name, reason.data);
}

// Why `file` could not be opened for reading; a file held by another run
// was waited for.
JString openFailure(const JWinFile& file) {
    JString reason = reasonFor(file.lastError);
    if (!file.lastOpenWasLocked()) return reason;
    char waited[sizeof waitedReason + 16];
    std::snprintf(waited, sizeof waited, waitedReason, static_cast<int>(lockWaitMilliseconds / 1000));
    return reason.append(waited);
}

// The definition table, or null after the message that it cannot be found
// (with the places searched) or opened. A file used from elsewhere than
// where pakhod is shipped with it is named, so that a stray copy shows.
JMMXSet* loadTable() {
    DefinitionSearch search;
    if (!findDefinitionFile(definitionFileName, search)) {
        std::fputs(definitionMessage, stdout);
        explain(definitionFileName, notFoundReason);
        for (const char *place = search.searched.data, *end; (end = std::strchr(place, '\n')) != nullptr; place = end + 1)
            std::fprintf(stderr, searchedPlace, static_cast<int>(end - place), place);
        return nullptr;
    }
    JWinFile definitions;
    if (!openForReading(definitions, search.path.data, modeRead)) {
        std::fputs(definitionMessage, stdout);
        explain(search.path.data, openFailure(definitions));
        return nullptr;
    }
    if (!search.shipped) std::fprintf(stderr, usingNote, search.path.data);
    JBufferedStream buffered(&definitions, definitionBuffer);
    JMMXSet* table = loadDefinitions(&buffered);
    definitions.close();
    return table;
}

// The offset of the first NUL byte of `source`, or -1 when it holds none:
// assembly text holds none; UTF-16 text and binaries do.
long firstNulOffset(JStream& source) {
    char block[scanBlock];
    source.seek(0, 0);
    long offset = 0;
    for (int n; (n = source.read(block, scanBlock)) > 0; offset += n) {
        const char* nul = static_cast<const char*>(std::memchr(block, '\0', static_cast<size_t>(n)));
        if (nul != nullptr) return offset + (nul - block);
    }
    return -1;
}

// The extensions of the sources that hold assembly inside another language.
struct ExtensionKind {
    const char* extension;  // lower case
    SourceKind kind;
};
const ExtensionKind extensionKinds[] = {
    {".c", SourceKind::c},        {".cc", SourceKind::c},       {".cpp", SourceKind::c},
    {".cxx", SourceKind::c},      {".h", SourceKind::c},        {".hh", SourceKind::c},
    {".hpp", SourceKind::c},      {".hxx", SourceKind::c},      {".inl", SourceKind::c},
    {".pas", SourceKind::pascal}, {".pp", SourceKind::pascal},  {".dpr", SourceKind::pascal},
    {".lpr", SourceKind::pascal}, {".dpk", SourceKind::pascal},
};

// What -x says, else what the name's extension (in any case) tells;
// any other source is assembly.
SourceKind kindOf(const JOptions& options) {
    if (options.kind != SourceKind::byExtension) return options.kind;
    const char* dot = std::strrchr(options.source, '.');
    if (dot == nullptr || std::strpbrk(dot, "/\\") != nullptr) return SourceKind::assembly;
    for (const ExtensionKind& e : extensionKinds) {
        size_t i = 0;
        while (e.extension[i] != '\0' && asciiLowered(dot[i]) == e.extension[i]) ++i;
        if (e.extension[i] == '\0' && dot[i] == '\0') return e.kind;
    }
    return SourceKind::assembly;
}

// Writes the converted source to `destination` and closes it: the one
// place where output leaves the program. 1 when every byte was taken.
// Both files are read and written through large buffers; a write that
// fails inside the buffering shows at the latest when it is flushed.
// Returns what convertStream does; a failed close is a failed write.
int writeDestination(JWinFile& destination, JStream& source, JMMXSet* table, JLeftLines* left, SourceKind kind,
                     const SourceSetting& setting, bool keepLineEnds) {
    const HostKind host = kind == SourceKind::pascal ? HostKind::pascal
                          : kind == SourceKind::c    ? HostKind::c
                                                     : HostKind::cAsmBody;
    int converted = kind == SourceKind::assembly
                        ? convertStream(&destination, &source, table, left, &setting, keepLineEnds)
                        : convertHost(&destination, &source, table, left, host, &setting, keepLineEnds);
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
Outcome convertFile(JMMXSet* table, const JOptions& options) {
    const char* sourceName = options.source;
    JWinFile source;
    if (!openForReading(source, sourceName, modeRead)) {
        std::printf(sourceMessage, sourceName);
        explain(sourceName, openFailure(source), true);
        return Outcome::failed;
    }
    long nul = firstNulOffset(source);
    if (nul >= 0) {
        std::printf(notTextMessage, sourceName);
        explain(sourceName, JString(nulReason) + nul + nulHint);
        return Outcome::failed;
    }
    int inPlace = std::strcmp(sourceName, options.destination) == 0;
    JString destinationName(options.destination);
    int error = 0;
    if (inPlace && !createTemporaryFile(destinationName, error)) {
        std::printf(destinationMessage, destinationName.data);
        explain(destinationName.data, reasonFor(error));
        return Outcome::failed;
    }
    if (!inPlace && namesHeldFile(destinationName.data, source)) {
        std::printf(destinationMessage, destinationName.data);
        explain(destinationName.data, sameFileReason + JString(sourceName) + sameFileHint);
        return Outcome::failed;
    }
    JWinFile destination;
    if (!destination.open(destinationName.data, modeCreate)) {
        if (inPlace) removeFile(destinationName.data);
        std::printf(destinationMessage, destinationName.data);
        explain(destinationName.data, reasonFor(destination.lastError));
        return Outcome::failed;
    }
    if (!options.quiet) printBanner(sourceName, destinationName.data, inPlace);
    // The lines left are counted for the warnings, and for --strict.
    const bool warnings = warningsWanted();
    JLeftLines left;
    JIncludeFiles includes(options, source, warnings);
    SourceSetting setting;
    setting.name = sourceName;
    setting.files = &includes;
    setting.names = options.names.get();
    setting.nameCount = options.nameCount;
    int written = writeDestination(destination, source, table, warnings || options.strict ? &left : nullptr,
                                   kindOf(options), setting, options.keepLineEnds);
    if (written != convertCompleted) {
        if (inPlace) removeFile(destinationName.data);
        if (written == convertReadFailed) {
            std::printf(readMessage, sourceName);
            explain(sourceName, reasonFor(source.lastError, sizeMismatchReason));
        } else {
            std::printf(writeMessage, destinationName.data);
            explain(destinationName.data, reasonFor(destination.lastError, shortWriteReason));
        }
        return Outcome::failed;
    }
    if (warnings) reportLeftLines(sourceName, source, left);
    includes.finish(sourceName);
    if (inPlace) {
        if (!replaceFileContent(sourceName, destinationName.data, source, error)) {
            keepFile(destinationName.data);
            std::printf(replaceMessage, sourceName, destinationName.data);
            JString reason = reasonFor(error), folder;
            if (folderRefusesNewFiles(sourceName, folder)) reason.append(folderReason).append(folder).append(folderHint);
            explain(sourceName, reason.append(keptReason).append(destinationName));
            return Outcome::failed;
        }
        removeFile(destinationName.data);
    }
    if (options.strict && left.left > 0) {
        std::fprintf(stderr, strictReason, sourceName, left.left, left.left == 1 ? "" : "s",
                     left.left == 1 ? "it was" : "they were");
        return Outcome::leftUnderStrict;
    }
    return Outcome::completed;
}

// Prints the text a sole argument asks for (--help, --version), unless a
// file has that name: then it is a source like any other. 1 when printed.
int printedInfo(int argc, const char* const* argv) {
    if (argc != 2 || pathExists(argv[1])) return 0;
    const char* text = isSystemHelpOption(argv[1]) ? helpText : nullptr;
    for (const InfoOption& option : infoOptions)
        if (std::strcmp(argv[1], option.argument) == 0) text = option.text;
    if (text != nullptr) std::fputs(text, stdout);
    return text != nullptr;
}

// A destination that looks like an option is named on standard error.
void warnAboutArguments(const JOptions& options) {
    const char* d = options.destination;
    if (d != options.source && d[0] == '-') std::fprintf(stderr, optionWarning, d, d);
}

}  // namespace

// A failed read looks like the end of the source to the tokenizer, so the
// bytes consumed are held against the source's size: a short read must not
// pass for a complete (and, in place, source-replacing) run.
int convertStream(JStream* destination, JStream* source, JMMXSet* table, JLeftLines* left,
                  const SourceSetting* setting, bool keepLineEnds) {
    JBufferedStream input(source);
    JBufferedStream output(destination);
    JLineContext context(table);
    context.left = left;
    if (keepLineEnds) context.keepEnds();
    if (setting != nullptr) context.named.names.setSource(*setting);
    JStreamTokenizer tokenizer;
    tokenizer.setStream(&input);
    int result;
    while ((result = processLine(&output, &tokenizer, table, &context)) > 0) {
    }
    int flushed = output.flush();
    if (left != nullptr) left->encoded = context.encodedLines;
    context.named.names.noteUndefinedNames();
    if (result != 0 || !flushed) return convertWriteFailed;
    bool readWhole = static_cast<uint32_t>(tokenizer.position) == source->size();
    return readWhole ? convertCompleted : convertReadFailed;
}

int runDriver(int argc, const char* const* argv) {
    if (argc < 2) {
        std::fputs(usageText, stdout);
        return statusOf(Outcome::commandLine, false);
    }
    if (printedInfo(argc, argv)) return statusOf(Outcome::info, false);
    JOptions options;
    JString error;
    if (!readOptions(argc, argv, &options, error)) {
        std::fputs(usageText, stdout);
        if (error.length() > 0) {
            std::fflush(stdout);
            std::fprintf(stderr, commandLineReason, error.data);
        }
        return statusOf(Outcome::commandLine, options.usualStatus);
    }
    warnAboutArguments(options);
    JMMXSet* table = loadTable();
    if (table == nullptr) return statusOf(Outcome::failed, options.usualStatus);
    Outcome outcome = convertFile(table, options);
    JList::deleteList(table);
    return statusOf(outcome, options.usualStatus);
}
