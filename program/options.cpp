#include "options.h"

#include <cstring>
#include <initializer_list>

#include "platform.h"

namespace {

enum class Action : unsigned char { quiet, usualStatus, strict, keepLineEnds, kind, define, undefine, include };

// Every option: its spellings, and whether it takes a value (given in the
// same argument, -DNAME, or in the next one, -D NAME).
struct OptionEntry {
    const char* shortName;  // null when there is none
    const char* longName;   // null when there is none
    bool takesValue;
    Action action;
};

const OptionEntry optionTable[] = {
    {"-q", "--quiet", false, Action::quiet},
    {nullptr, "--usual-status", false, Action::usualStatus},
    {nullptr, "--strict", false, Action::strict},
    {nullptr, "--keep-line-ends", false, Action::keepLineEnds},
    {"-x", nullptr, true, Action::kind},
    {"-D", nullptr, true, Action::define},
    {"-U", nullptr, true, Action::undefine},
    {"-I", nullptr, true, Action::include},
};

// The words -x takes, as C compilers spell them.
struct KindWord {
    const char* word;
    SourceKind kind;
};
const KindWord kindWords[] = {
    {"asm", SourceKind::assembly}, {"assembler", SourceKind::assembly}, {"c", SourceKind::c},
    {"c++", SourceKind::c},        {"pascal", SourceKind::pascal}, {"c-asm-body", SourceKind::cAsmBody},
};

const char manyFilesHint[] =
    " (pakhod converts one source per run, into destfile or in place; for several: "
    "for f in *.asm; do pakhod \"$f\"; done)";

// The options that ask for a text and stand alone on the command line.
bool isSoleOption(const char* argument) {
    for (const char* sole : {"--help", "-h", "--version", "-V"})
        if (std::strcmp(argument, sole) == 0) return true;
    return false;
}

// True when `argument` is an option rather than a file name.
bool isOption(const char* argument) {
    return argument[0] == '-' && argument[1] != '\0' && !pathExists(argument);
}

// The entry `argument` names, and where its value starts in it (null when
// the value is the next argument); null when it names none.
const OptionEntry* entryOf(const char* argument, const char** attached) {
    *attached = nullptr;
    for (const OptionEntry& e : optionTable) {
        if (e.longName != nullptr && std::strcmp(argument, e.longName) == 0) return &e;
        if (e.shortName == nullptr) continue;
        size_t n = std::strlen(e.shortName);
        if (std::strncmp(argument, e.shortName, n) != 0) continue;
        if (argument[n] == '\0') return &e;
        if (e.takesValue) {
            *attached = argument + n;
            return &e;
        }
    }
    return nullptr;
}

int applyOption(const OptionEntry& e, const char* value, JOptions* o, JString& error) {
    switch (e.action) {
        case Action::quiet:
            o->quiet = true;
            return 1;
        case Action::usualStatus:
            o->usualStatus = true;
            return 1;
        case Action::strict:
            o->strict = true;
            return 1;
        case Action::keepLineEnds:
            o->keepLineEnds = true;
            return 1;
        case Action::kind:
            for (const KindWord& k : kindWords)
                if (std::strcmp(value, k.word) == 0) {
                    o->kind = k.kind;
                    return 1;
                }
            error.assign("unknown source kind: -x ").append(value).append(" (asm, c, c++, c-asm-body or pascal)");
            return 0;
        case Action::define:
        case Action::undefine:
            if (value[0] == '\0' || value[0] == '=') {
                error.assign("a name is missing: ").append(e.shortName).append(value);
                return 0;
            }
            o->names[o->nameCount++] = NameSetting{value, e.action == Action::undefine};
            return 1;
        case Action::include:
            if (value[0] == '\0') {
                error.assign("a folder is missing: -I");
                return 0;
            }
            o->includeFolders[o->includeFolderCount++] = value;
            return 1;
    }
    return 0;
}

}  // namespace

int readOptions(int argc, const char* const* argv, JOptions* o, JString& error) {
    error.assign("");
    o->names.reset(new NameSetting[argc > 0 ? argc : 1]);
    o->includeFolders.reset(new const char*[argc > 0 ? argc : 1]);
    int i = 1;
    for (; i < argc && isOption(argv[i]); ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        }
        const char* value = nullptr;
        const OptionEntry* e = entryOf(argv[i], &value);
        if (e == nullptr) {
            error.assign(isSoleOption(argv[i]) ? "takes no other argument: " : "unknown option: ").append(argv[i]);
            return 0;
        }
        if (e->takesValue && value == nullptr) {
            if (i + 1 == argc) {
                error.assign("a value is missing after ").append(argv[i]);
                return 0;
            }
            value = argv[++i];
        }
        if (!applyOption(*e, value, o, error)) return 0;
    }
    if (i == argc) return 0;  // no srcfile: the usage text says it all
    if (argc - i > 2) {
        error.assign("too many files: ").append(argv[i + 2]);
        for (int k = i + 3; k < argc; ++k) error.append(' ').append(argv[k]);
        error.append(manyFilesHint);
        return 0;
    }
    o->source = argv[i];
    o->destination = i + 1 < argc ? argv[i + 1] : argv[i];
    return 1;
}
