#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "jlist.h"

namespace {

// A list node with a one-letter name, so a ring can be read as a string.
struct Named : JList {
    explicit Named(char c) : name(c) {}
    char name;
};

// The names met going round from start by `next`, start first. Every link
// is checked on the way: a broken back link gives "broken".
std::string ring(JList* start) {
    std::string out;
    JList* node = start;
    for (int guard = 0; guard < 100; ++guard) {
        if (node->next->prev != node || node->prev->next != node) return "broken";
        out += static_cast<Named*>(node)->name;
        if ((node = node->next) == start) return out;
    }
    return "endless";
}

// A head 'H' with the given element names.
struct Ring {
    explicit Ring(const char* names) : head('H') {
        for (const char* p = names; *p; ++p) head.add((nodes[*p & 127] = std::make_unique<Named>(*p)).get());
    }
    Named* operator[](char c) { return nodes[c & 127].get(); }
    Named head;
    std::unique_ptr<Named> nodes[128];  // each unlinks itself when deleted
};

// Counts live instances, so deletion through the lists can be proven.
struct Counted : JObject {
    explicit Counted(int k, int tag = 0) : key(k), tag(tag) { ++alive; }
    ~Counted() override { --alive; }
    static int keyOf(JObject* node) { return dynamic_cast<Counted*>(dynamic_cast<JObjectList*>(node)->object)->key; }
    // The sort asks the pivot's object with the other node as the argument.
    int isLessThan(JObject* other) override { return key < keyOf(other); }
    int isGreaterThan(JObject* other) override { return key > keyOf(other); }
    int key, tag;
    static int alive;
};
int Counted::alive = 0;

// "key.tag" of every element of an object list, in order.
std::string keysOf(JObjectList& head) {
    std::string out;
    for (JList* n = head.next; n != &head; n = n->next) {
        const Counted* c = static_cast<Counted*>(static_cast<JObjectList*>(n)->object);
        out += std::to_string(c->key) + "." + std::to_string(c->tag) + " ";
    }
    return out;
}

}  // namespace

TEST(JList, LinksCountNthReverse) {
    Named lone('x');
    lone.add(&lone);
    lone.remove();
    lone.reverse();
    EXPECT_EQ(ring(&lone), "x");
    EXPECT_EQ(lone.count(), 0);
    Ring r("abcd");
    EXPECT_EQ(r.head.count(), 4);
    EXPECT_EQ(r.head.nth(-5), &r.head);
    EXPECT_EQ(r.head.nth(2), r['b']);
    EXPECT_EQ(r.head.nth(5), &r.head);
    EXPECT_EQ(r.head.nth(6), r['a']);
    r.head.reverse();
    EXPECT_EQ(ring(&r.head), "Hdcba");
    r.head.reverse();
    r['b']->remove();
    EXPECT_EQ(ring(&r.head) + ring(r['b']), "Hacdb");
    r.nodes['a'].reset();  // destroying a node unlinks just that node
    EXPECT_EQ(ring(&r.head), "Hcd");
}

TEST(JList, SwapSplitsAndRejoinsRings) {
    Ring r("abcdef");
    r['b']->swapNext(r['e']);  // b goes on with what followed e, e with what followed b
    EXPECT_EQ(ring(r['b']) + " " + ring(r['e']), "bfHa ecd");
    r['b']->swapNext(r['e']);
    EXPECT_EQ(ring(&r.head), "Habcdef");
    r['b']->swapPrev(r['e']);
    EXPECT_EQ(ring(r['b']) + " " + ring(r['e']), "bcd efHa");
    r['b']->swapPrev(r['e']);
    r['c']->swapNext(r['c']);
    EXPECT_EQ(ring(&r.head), "Habcdef");
}

TEST(JList, ExchangeTable) {
    // Element names, the calling node, its argument, the list afterwards and
    // where the other node ended; 'x' is a lone node, a second ring holds "pq".
    const struct {
        const char *names, *pair, *expected, *other;
    } rows[] = {
        {"abcd", "bc", "Hacbd", ""}, {"abcd", "cb", "Hacbd", ""},  // neighbours in both orders
        {"abcd", "ad", "Hdbca", ""}, {"abcd", "da", "Hdbca", ""},  // apart, at both ends
        {"abcd", "bd", "Hadcb", ""}, {"abcd", "bb", "Habcd", ""}, {"ab", "ab", "Hba", ""},
        {"abc", "bx", "Haxc", "b"},  {"abc", "xb", "Haxc", "b"},    // with a lone node
        {"abc", "bp", "Hapc", "Hbq"},                               // across two rings
    };
    for (const auto& row : rows) {
        Ring r(row.names), other("pq");
        Named x('x');
        auto find = [&](char c) -> JList* { return c == 'x' ? &x : c == 'p' ? other['p'] : r[c]; };
        find(row.pair[0])->exchange(find(row.pair[1]));
        EXPECT_EQ(ring(&r.head), row.expected) << row.pair;
        EXPECT_EQ(*row.other ? ring(*row.other == 'b' ? static_cast<JList*>(r['b']) : &other.head) : "", row.other);
    }
    Named a('a'), b('b'), p('p'), q('q');
    a.add(&b);
    a.exchange(&b);  // a ring of exactly two stays intact
    p.exchange(&q);  // two lone nodes stay two lone nodes
    EXPECT_EQ(ring(&a) + " " + ring(&p) + " " + ring(&q), "ab p q");
}

TEST(JList, SortIsStableBothWays) {
    JObjectList head(nullptr);
    for (int k : {3, 1, 2, 3, 1, 5, 2, 4, 1}) head.addObject(new Counted(k, head.count()));
    EXPECT_EQ(head.sort(1, nullptr), 1);
    EXPECT_EQ(keysOf(head), "1.1 1.4 1.8 2.2 2.6 3.0 3.3 4.7 5.5 ");
    EXPECT_EQ(head.sort(0, nullptr), 1);
    EXPECT_EQ(keysOf(head), "5.5 4.7 3.0 3.3 2.2 2.6 1.1 1.4 1.8 ");
    head.nth(2)->sort(1, head.nth(6));  // the nodes holding 3, 3, 2 only
    EXPECT_EQ(keysOf(head), "5.5 4.7 2.2 3.0 3.3 2.6 1.1 1.4 1.8 ");
    head.deleteAll();
    EXPECT_EQ(Counted::alive, 0);
    Ring r("dcab");  // plain nodes compare as equal: nothing moves
    Named empty('H');
    EXPECT_EQ(r.head.sort(1, nullptr) + empty.sort(1, nullptr), 2);
    EXPECT_EQ(ring(&r.head) + ring(&empty), "HdcabH");
}

TEST(JObjectList, OwnsAndDeletesItsObjects) {
    auto* head = new JObjectList(nullptr);
    head->deleteAll();
    EXPECT_EQ(head->next, head);
    Counted *twice = new Counted(1), *once = new Counted(2), stranger(7);
    head->addObject(twice);
    head->addObject(once);
    head->addObject(nullptr);
    JObjectList* later = head->addObject(twice);
    head->removeObject(&stranger);
    EXPECT_EQ(head->count(), 4);
    head->removeObject(once);
    EXPECT_EQ(Counted::alive, 2);
    EXPECT_EQ(head->count(), 3);
    JObjectList* first = head->findObject(twice);
    first->remove();
    first->object = nullptr;  // keep it alive for the node held later
    delete first;
    EXPECT_EQ(head->findObject(twice), later);
    EXPECT_EQ(head->findObject(&stranger), nullptr);
    JList::deleteList(head);  // the node holding null goes without error
    EXPECT_EQ(Counted::alive, 1);  // only the stranger on the stack
}
