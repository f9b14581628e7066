#include "jmnemonicindex.h"

#include <cstring>

#include "jasciicase.h"

namespace {

char lowered(char c) { return asciiLowered(c); }

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
    : entries(nullptr), count(0), buckets(nullptr), mask(0), longest(0), starts() {
    for (JMMXSet* r = table->nextRecord(); r != table; r = r->nextRecord()) ++count;
    unsigned size = 8;
    while (size < static_cast<unsigned>(count) * 2) size *= 2;
    mask = size - 1;
    entries = new Entry[count > 0 ? count : 1];
    buckets = new Bucket[size];
    for (unsigned i = 0; i < size; ++i) buckets[i] = Bucket{0, 0, nullptr, nullptr};

    int n = 0;
    for (JMMXSet* r = table->nextRecord(); r != table; r = r->nextRecord(), ++n) {
        Entry* entry = &entries[n];
        entry->record = r;
        entry->nextSame = nullptr;
        entry->number = n;
        const char* name = mnemonicOf(r);
        if (!canMatch(name)) continue;
        int length = static_cast<int>(std::strlen(name));
        if (length > longest) longest = length;
        starts[static_cast<unsigned char>(name[0])] = true;
        unsigned hash = hashOf(name, length);
        Bucket* bucket = bucketFor(name, length, hash);
        if (bucket->chain == nullptr) {
            *bucket = Bucket{hash, length, name, entry};
            continue;
        }
        Entry* last = bucket->chain;
        while (last->nextSame != nullptr) last = const_cast<Entry*>(last->nextSame);  // entries are ours
        last->nextSame = entry;
    }
}

JMnemonicIndex::~JMnemonicIndex() {
    delete[] buckets;
    delete[] entries;
}

// The bucket that holds this mnemonic, or the empty one where it would go.
// The table is at most half full, so an empty bucket is always found.
JMnemonicIndex::Bucket* JMnemonicIndex::bucketFor(const char* text, int length, unsigned hash) const {
    unsigned i = hash & mask;
    for (;; i = (i + 1) & mask) {
        Bucket* bucket = &buckets[i];
        if (bucket->chain == nullptr) return bucket;
        if (bucket->hash == hash && bucket->length == length && sameMnemonic(bucket->name, text, length))
            return bucket;
    }
}

bool JMnemonicIndex::mayStart(char c) const { return starts[static_cast<unsigned char>(lowered(c))]; }

// Most words that are no mnemonic (labels, ordinary instructions) are told
// by their length or first byte before any hashing.
const JMnemonicIndex::Entry* JMnemonicIndex::find(const char* text, int length) const {
    if (length > longest || (length > 0 && !starts[static_cast<unsigned char>(lowered(text[0]))])) return nullptr;
    return bucketFor(text, length, hashOf(text, length))->chain;
}
