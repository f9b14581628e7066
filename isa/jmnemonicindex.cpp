#include "jmnemonicindex.h"

#include <cstring>

#include "jasciicase.h"

namespace {

// The hash of a mnemonic too long for a key: its length and its first,
// middle and last bytes lower-cased. Collisions only cost a further probe.
unsigned hashOf(const char* text, int length) {
    if (length == 0) return 0;
    unsigned first = static_cast<unsigned char>(asciiLowered(text[0]));
    unsigned middle = static_cast<unsigned char>(asciiLowered(text[length / 2]));
    unsigned last = static_cast<unsigned char>(asciiLowered(text[length - 1]));
    unsigned h = (((static_cast<unsigned>(length) * 257u + first) * 257u + middle) * 257u + last) * 0x45d9f3bu;
    return h ^ (h >> 16);
}

using Key = JMnemonicIndex::Key;
constexpr int keySize = JMnemonicIndex::keySize;

bool fitsKey(int length) { return length < keySize; }

// text[0..length) lower-cased and zero-padded (length < keySize).
Key keyOf(const char* text, int length) {
    Key key = {};
    for (int i = 0; i < length; ++i) key.bytes[i] = asciiLowered(text[i]);
    return key;
}

// The key read as two 64-bit words, each multiplied by an odd constant, so
// every byte reaches the high half that is kept.
unsigned hashOfKey(const Key& key) {
    uint64_t low, high;
    std::memcpy(&low, key.bytes, sizeof low);
    std::memcpy(&high, key.bytes + sizeof low, sizeof high);
    uint64_t h = low * 0x9e3779b97f4a7c15u ^ high * 0xc2b2ae3d27d4eb4fu;
    return static_cast<unsigned>(h >> 32);
}

// Two words each, so the comparison never becomes a library call.
bool sameKey(const Key& a, const Key& b) {
    static_assert(keySize == 16, "a key is two 64-bit words");
    uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, a.bytes, 8);
    std::memcpy(&a1, a.bytes + 8, 8);
    std::memcpy(&b0, b.bytes, 8);
    std::memcpy(&b1, b.bytes + 8, 8);
    return a0 == b0 && a1 == b1;
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
        if (stored[i] != asciiLowered(text[i])) return 0;  // also stops at stored's NUL
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
    for (unsigned i = 0; i < size; ++i) buckets[i] = Bucket{0, 0, nullptr, nullptr, Key{}};

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
        Bucket* bucket = bucketFor(name, length);
        if (bucket->chain == nullptr) {
            Key key = fitsKey(length) ? keyOf(name, length) : Key{};
            *bucket = Bucket{fitsKey(length) ? hashOfKey(key) : hashOf(name, length), length, name, entry, key};
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
JMnemonicIndex::Bucket* JMnemonicIndex::bucketFor(const char* text, int length) const {
    if (fitsKey(length)) return bucketForKey(keyOf(text, length), length);
    unsigned hash = hashOf(text, length);
    unsigned i = hash & mask;
    for (;; i = (i + 1) & mask) {
        Bucket* bucket = &buckets[i];
        if (bucket->chain == nullptr) return bucket;
        if (bucket->hash == hash && bucket->length == length && sameMnemonic(bucket->name, text, length))
            return bucket;
    }
}

JMnemonicIndex::Bucket* JMnemonicIndex::bucketForKey(const Key& key, int length) const {
    unsigned hash = hashOfKey(key);
    for (unsigned i = hash & mask;; i = (i + 1) & mask) {
        Bucket* bucket = &buckets[i];
        if (bucket->chain == nullptr) return bucket;
        if (bucket->hash == hash && bucket->length == length && sameKey(bucket->key, key)) return bucket;
    }
}

bool JMnemonicIndex::mayStart(char c) const { return starts[static_cast<unsigned char>(asciiLowered(c))]; }

// Most words that are no mnemonic (labels, ordinary instructions) are told
// by their length or first byte before any hashing.
const JMnemonicIndex::Entry* JMnemonicIndex::find(const char* text, int length) const {
    if (length > longest || (length > 0 && !starts[static_cast<unsigned char>(asciiLowered(text[0]))])) return nullptr;
    if (fitsKey(length)) return findKey(keyOf(text, length), length);
    return bucketFor(text, length)->chain;
}

const JMnemonicIndex::Entry* JMnemonicIndex::findKey(const Key& key, int length) const {
    if (length > longest || (length > 0 && !starts[static_cast<unsigned char>(key.bytes[0])])) return nullptr;
    return bucketForKey(key, length)->chain;
}
