#include "jmnemonicindex.h"

#include <cstring>

namespace {

// ASCII lower case by table: one load per byte on the lookup path.
struct LowerCase {
    char of[256];
    constexpr LowerCase() : of() {
        for (int c = 0; c < 256; ++c) of[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
};
constexpr LowerCase lowerCase;

char lowered(char c) { return lowerCase.of[static_cast<unsigned char>(c)]; }

// A cheap hash of the lower-cased text: its length and its first, middle
// and last bytes, which set apart the mnemonics of one family (paddb, paddw,
// psubb). Collisions only cost a further probe.
unsigned hashOf(const char* text, int length) {
    if (length == 0) return 0;
    unsigned first = static_cast<unsigned char>(lowered(text[0]));
    unsigned middle = static_cast<unsigned char>(lowered(text[length / 2]));
    unsigned last = static_cast<unsigned char>(lowered(text[length - 1]));
    unsigned h = (((static_cast<unsigned>(length) * 257u + first) * 257u + middle) * 257u + last) * 0x45d9f3bu;
    return h ^ (h >> 16);
}

// A mnemonic with an upper-case letter never equals a lower-cased source
// mnemonic, so such records are left out of the index.
bool canMatch(const char* name) {
    for (; *name != '\0'; ++name)
        if (*name >= 'A' && *name <= 'Z') return false;
    return true;
}

const char* mnemonicOf(const JMMXSet* record) {
    return record->mnemonic.data != nullptr ? record->mnemonic.data : "";
}

// 1 when the stored mnemonic equals text[0..length) lower-cased.
int sameMnemonic(const char* stored, const char* text, int length) {
    for (int i = 0; i < length; ++i)
        if (stored[i] != lowered(text[i])) return 0;  // also stops at stored's NUL
    return stored[length] == '\0' ? 1 : 0;
}

}  // namespace

JMnemonicIndex::JMnemonicIndex(JMMXSet* table)
    : entries(nullptr), buckets(nullptr), mask(0), longest(0), starts() {
    int count = 0;
    for (JMMXSet* r = table->nextRecord(); r != table; r = r->nextRecord()) ++count;
    unsigned size = 8;
    while (size < static_cast<unsigned>(count) * 2) size *= 2;
    mask = size - 1;
    entries = new Entry[count > 0 ? count : 1];
    buckets = new const Entry*[size];
    for (unsigned i = 0; i < size; ++i) buckets[i] = nullptr;

    int n = 0;
    for (JMMXSet* r = table->nextRecord(); r != table; r = r->nextRecord(), ++n) {
        Entry* entry = &entries[n];
        entry->record = r;
        entry->nextSame = nullptr;
        const char* name = mnemonicOf(r);
        if (!canMatch(name)) continue;
        int length = static_cast<int>(std::strlen(name));
        if (length > longest) longest = length;
        starts[static_cast<unsigned char>(name[0])] = true;
        const Entry** slot = slotFor(name, length);
        if (*slot == nullptr) {
            *slot = entry;
            continue;
        }
        Entry* last = const_cast<Entry*>(*slot);  // entries are ours to link
        while (last->nextSame != nullptr) last = const_cast<Entry*>(last->nextSame);
        last->nextSame = entry;
    }
}

JMnemonicIndex::~JMnemonicIndex() {
    delete[] buckets;
    delete[] entries;
}

// The bucket that holds this mnemonic's chain, or the empty one where it
// would go. The table is at most half full, so an empty bucket is found.
const JMnemonicIndex::Entry** JMnemonicIndex::slotFor(const char* text, int length) const {
    unsigned i = hashOf(text, length) & mask;
    while (buckets[i] != nullptr && !sameMnemonic(mnemonicOf(buckets[i]->record), text, length))
        i = (i + 1) & mask;
    return &buckets[i];
}

// Most words that are no mnemonic (labels, ordinary instructions) are told
// by their length or first byte before any hashing.
const JMnemonicIndex::Entry* JMnemonicIndex::find(const char* text, int length) const {
    if (length > longest || (length > 0 && !starts[static_cast<unsigned char>(lowered(text[0]))])) return nullptr;
    return *slotFor(text, length);
}
