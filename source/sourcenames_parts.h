// What JSourceNames keeps, shared by its two files: sourcenames.cpp (the
// names and what they stand for) and sourcedirectives.cpp (what a line
// defines or opens). Not for other users.
#ifndef PAKHOD_SOURCENAMES_PARTS_H
#define PAKHOD_SOURCENAMES_PARTS_H

#include <cstdint>

#include "jtextbuffer.h"
#include "sourcenames.h"
#include "words.h"

namespace sourcenames {

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Adds a terminated text, without its terminator.
inline void addText(JTextBuffer& out, const char* text) {
    int n = 0;
    while (text[n] != '\0') ++n;
    out.add(text, n);
}

// A small array of plain records that grows by doubling.
template <typename T>
class Records {
public:
    Records() : items(nullptr), count(0), capacity(0) {}
    ~Records() { delete[] items; }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    void push(const T& item) {
        if (count == capacity) {
            int bigger = capacity > 0 ? capacity * 2 : 16;
            T* fresh = new T[bigger];
            for (int i = 0; i < count; ++i) fresh[i] = items[i];
            delete[] items;
            items = fresh;
            capacity = bigger;
        }
        items[count++] = item;
    }
    T& operator[](int i) { return items[i]; }
    const T& operator[](int i) const { return items[i]; }
    int size() const { return count; }
    void shrink(int n) { count = n; }

private:
    T* items;
    int count;
    int capacity;
};

}  // namespace sourcenames

// What a definition is besides its kind.
namespace definitionFlags {
constexpr uint8_t macro = 1;     // the preprocessor's (NASM's %ifdef sees it)
constexpr uint8_t symbol = 2;    // the assembler's own, resolved over the whole file
constexpr uint8_t caseless = 4;  // %idefine and the like: any letter case names it
}  // namespace definitionFlags

// One definition: what it makes of the name, and where it stands.
struct JSourceNames::Definition {
    uint8_t kind;        // NameKind
    uint8_t flags;       // definitionFlags
    uint8_t parameters;  // a macro's parameter count; its text holds their names, then ')', then its body
    bool counts;         // made outside every body and structure
    int64_t value;
    uint32_t textAt;     // kind text: its text in `texts`
    int32_t textLength;
    uint32_t branch;     // the undecided conditional branch it stands in (0: none)
    int32_t depth;       // how many undecided branches were open around it
    uint32_t decisions;  // the branches taken as decided that it stands in (a decision + 1; 0: none)
};

struct JSourceNames::Entry {
    uint32_t nameAt;  // in `names`
    int32_t nameLength;
    uint32_t nextVariant;  // entry index + 1 of the next with the same folded name
    // The whole file.
    int32_t fileDefinitions;
    bool filePlain;  // every definition outside undecided branches, bodies and structures, read, never undone
    Definition first;
    // Up to the current line.
    bool seen;    // a definition or %undef came before it
    bool undone;  // %undef after the last definition
    Definition last;
};

struct JSourceNames::Entries : sourcenames::Records<Entry> {};

// One conditional open at the current line, and its branch there.
struct JSourceNames::Conditional {
    enum Branch : uint8_t { taken, skipped, undecided };
    Branch branch;
    bool outerSkipped;   // it stands in a skipped branch: every branch is skipped
    bool anyTaken;       // an earlier branch was surely taken
    bool anyUndecided;   // an earlier branch may have been taken
    bool hasId;          // the current (undecided) branch has an id in `branches`
    uint32_t decisions;  // the decisions the current branch rests on (a decision + 1)
};

// Conditional branches, bodies and structures open at the current line.
struct JSourceNames::Structure {
    sourcenames::Records<Conditional> conditionals;  // innermost last
    struct Blocked {  // a MASM macro's parameter, not a name inside its body
        int at;
        int length;
        int depth;
    };
    sourcenames::Records<uint32_t> branches;  // the undecided branches open, innermost last
    uint32_t nextBranch = 1;
    int bodyDepth = 0;
    int structDepth = 0;
    bool confused = false;  // an end without its start
    bool inCComment = false;  // a C source: a /* */ comment runs on into the next line
    sourcenames::Records<Blocked> blocked;
    JTextBuffer blockedNames;
};

// A name taken as not defined that decided a branch, where it stands.
// Every reading of the source makes the same decisions in the same order,
// so the n-th of one reading is the n-th of the next.
struct JSourceNames::Decisions {
    struct Decision {
        uint32_t name;       // its entry
        uint32_t parent;     // the decisions in force where it was made (a decision + 1; 0: none)
        uint32_t placeAt;    // "file:line" in `places`
        int32_t placeLength;
        uint32_t triedBy;    // the last line that looked at a definition resting on it
        bool used;           // an encoded line used such a definition
    };
    sourcenames::Records<Decision> made;
    int madeInReading = 0;
    JTextBuffer places;
    sourcenames::Records<uint32_t> tried;  // decisions the current line looked at
    uint32_t line = 1;                      // the current line's serial
};

// What the source reaches beyond its own lines: the files being read
// (srcfile first), the limits of one reading, and the messages.
struct JSourceNames::Reach {
    struct File {
        const char* path;
        int line;
    };
    SourceSetting setting;
    sourcenames::Records<File> files;
    int inclusions = 0;         // include files opened in this reading
    int64_t includedBytes = 0;  // bytes of them read
    bool missed = false;        // an include file went unread
    JTextBuffer message;        // a message being built
    JTextBuffer place;          // "file:line" of the line being read
};

// A cursor over one source line.
class JSourceNames::Line {
public:
    Line(const char* text, int n) : p(text), end(text + n) {}
    const char* p;
    const char* end;
    bool cComments = false;  // a C source's line: "//" and "/*" start comments

    void skipBlanks() {
        while (p < end && sourcenames::isBlank(*p)) ++p;
    }
    bool atEnd() const { return p == end || *p == ';'; }
    // A directive word: up to a blank, ',', ';' or '='.
    int word() const {
        const char* q = p;
        while (q < end && !sourcenames::isBlank(*q) && *q != ',' && *q != ';' && *q != '=') ++q;
        return static_cast<int>(q - p);
    }
    int name() const { return nameLength(p, static_cast<int>(end - p)); }
    // The rest of the line up to a comment, without blanks around it.
    int rest(const char** text) {
        skipBlanks();
        const char* q = p;
        char quote = 0;
        for (; q < end; ++q) {
            if (quote != 0) {
                if (*q == quote) quote = 0;
            } else if (*q == '\'' || *q == '"') {
                quote = *q;
            } else if (*q == ';' || (cComments && *q == '/' && q + 1 < end && (q[1] == '/' || q[1] == '*'))) {
                break;
            }
        }
        while (q > p && sourcenames::isBlank(q[-1])) --q;
        *text = p;
        return static_cast<int>(q - p);
    }
};

#endif
