// JMnemonicIndex: finds the definitions of a mnemonic without walking the
// whole table. For each mnemonic it keeps the chain of its records in file
// order (records of one mnemonic need not be adjacent in the file), so the
// first record that fits is still the first in file order. A mnemonic with
// no definition costs one hash probe. Lookups allocate nothing.
//
// The index points into the table it was built from: it must not outlive
// the table, and the table must not change while it is used.
#ifndef PAKHOD_JMNEMONICINDEX_H
#define PAKHOD_JMNEMONICINDEX_H

#include <cstdint>

#include "jmmxset.h"

class JMnemonicIndex {
public:
    struct Entry {
        JMMXSet* record;
        const Entry* nextSame;  // the next record with this mnemonic, or null
        int number;             // the record's place in file order, from 0
    };

    // Mnemonics shorter than this are compared as a key of this many bytes:
    // lower-cased and zero-padded, so that hashing and comparing one takes
    // a fixed number of steps. Longer ones are compared byte by byte.
    static constexpr int keySize = 16;
    struct Key {
        char bytes[keySize];
    };

    explicit JMnemonicIndex(JMMXSet* table);
    ~JMnemonicIndex();
    JMnemonicIndex(const JMnemonicIndex&) = delete;
    JMnemonicIndex& operator=(const JMnemonicIndex&) = delete;

    // The first record (in file order) whose mnemonic equals text[0..length)
    // lower-cased (ASCII letters only), or null when there is none.
    const Entry* find(const char* text, int length) const;
    // The same for a word already made into a key: its first length bytes
    // lower-cased, the rest zero (length < keySize).
    const Entry* findKey(const Key& key, int length) const;
    // False when no indexed mnemonic starts with c (lower-cased): a word
    // that starts so has no definition, whatever follows.
    bool mayStart(char c) const;
    // Records in the table, so callers can keep facts of their own per number.
    int recordCount() const { return count; }

private:
    // One mnemonic: its hash and length, checked before its bytes, and the
    // chain of its records. A null chain marks an empty bucket.
    struct Bucket {
        unsigned hash;
        int length;
        const char* name;
        Entry* chain;
        Key key;  // the name as a key, when it is short enough
    };

    Entry* entries;    // one per record, in file order
    int count;
    Bucket* buckets;   // open addressing
    unsigned mask;     // bucket count - 1 (a power of two)
    int longest;       // length of the longest indexed mnemonic
    bool starts[256];  // first bytes of the indexed mnemonics

    Bucket* bucketFor(const char* text, int length) const;
    Bucket* bucketForKey(const Key& key, int length) const;
};

#endif
