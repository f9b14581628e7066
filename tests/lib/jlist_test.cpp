#include <gtest/gtest.h>

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
        node = node->next;
        if (node == start) return out;
    }
    return "endless";
}

// A head 'H' with the given element names; nodes are owned by the fixture.
struct Ring {
    explicit Ring(const char* names) : head('H') {
        for (const char* p = names; *p; ++p) {
            nodes.push_back(new Named(*p));
            head.add(nodes.back());
        }
    }
    ~Ring() {
        for (Named* n : nodes) delete n;  // each unlinks itself
    }
    Named* operator[](char c) {
        for (Named* n : nodes)
            if (n->name == c) return n;
        return nullptr;
    }
    Named head;
    std::vector<Named*> nodes;
};

// Counts live instances, so deletion through the lists can be proven.
struct Counted : JObject {
    explicit Counted(int k, int tag = 0) : key(k), tag(tag) { ++alive; }
    ~Counted() override { --alive; }
    static int keyOf(JObject* node) {
        return dynamic_cast<Counted*>(dynamic_cast<JObjectList*>(node)->object)->key;
    }
    // The sort asks the pivot's object with the other node as the argument.
    int isLessThan(JObject* other) override { return key < keyOf(other); }
    int isGreaterThan(JObject* other) override { return key > keyOf(other); }
    int key;
    int tag;
    static int alive;
};
int Counted::alive = 0;

// "key.tag" of every element of an object list, in order.
std::string keysOf(JObjectList& head) {
    std::string out;
    for (JList* n = head.next; n != &head; n = n->next) {
        Counted* c = static_cast<Counted*>(static_cast<JObjectList*>(n)->object);
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
    EXPECT_EQ(ring(&r.head), "Hacd");
    EXPECT_EQ(ring(r['b']), "b");
    delete r.nodes[0];  // destroying a node unlinks just that node
    r.nodes.erase(r.nodes.begin());
    EXPECT_EQ(ring(&r.head), "Hcd");
}

TEST(JList, SwapSplitsAndRejoinsRings) {
    Ring r("abcdef");
    r['b']->swapNext(r['e']);  // b goes on with what followed e, e with what followed b
    EXPECT_EQ(ring(r['b']), "bfHa");
    EXPECT_EQ(ring(r['e']), "ecd");
    r['b']->swapNext(r['e']);
    EXPECT_EQ(ring(&r.head), "Habcdef");
    r['b']->swapPrev(r['e']);
    EXPECT_EQ(ring(r['b']), "bcd");
    EXPECT_EQ(ring(r['e']), "efHa");
    r['b']->swapPrev(r['e']);
    r['c']->swapNext(r['c']);
    EXPECT_EQ(ring(&r.head), "Habcdef");
}

TEST(JList, ExchangeTable) {
    // Element names, the calling node, its argument, the list afterwards;
    // 'x' and 'y' are lone nodes, a second ring holds "pq".
    struct Row {
        const char* names;
        char a, b;
        const char* expected;
    } rows[] = {
        {"abcd", 'b', 'c', "Hacbd"},  // neighbours, a before b
        {"abcd", 'c', 'b', "Hacbd"},  // neighbours, b before a
        {"abcd", 'a', 'd', "Hdbca"},  // apart, at both ends
        {"abcd", 'd', 'a', "Hdbca"},
        {"abcd", 'b', 'd', "Hadcb"},  // apart by one
        {"abcd", 'b', 'b', "Habcd"},  // a node with itself
        {"ab", 'a', 'b', "Hba"},
        {"abc", 'b', 'x', "Haxc"},  // with a lone node, on either side
        {"abc", 'x', 'b', "Haxc"},
        {"abc", 'b', 'p', "Hapc"},  // across two rings
    };
    for (const Row& row : rows) {
        Ring r(row.names), other("pq");
        Named x('x');
        auto find = [&](char c) -> JList* { return c == 'x' ? &x : r[c] ? r[c] : other[c]; };
        find(row.a)->exchange(find(row.b));
        EXPECT_EQ(ring(&r.head), row.expected) << row.a << "<->" << row.b;
        const char moved = row.a == 'b' ? row.b : row.a;
        if (moved == 'x') {
            EXPECT_EQ(ring(r['b']), "b");
        }
        if (moved == 'p') {
            EXPECT_EQ(ring(&other.head), "Hbq");
        }
    }
    Named a('a'), b('b'), p('p'), q('q');
    a.add(&b);
    a.exchange(&b);  // a ring of exactly two stays intact
    EXPECT_EQ(ring(&a), "ab");
    p.exchange(&q);  // two lone nodes stay two lone nodes
    EXPECT_EQ(ring(&p), "p");
    EXPECT_EQ(ring(&q), "q");
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
    EXPECT_EQ(r.head.sort(1, nullptr), 1);
    EXPECT_EQ(ring(&r.head), "Hdcab");
    Named empty('H');
    EXPECT_EQ(empty.sort(1, nullptr), 1);
    EXPECT_EQ(ring(&empty), "H");
}

TEST(JObjectList, OwnsAndDeletesItsObjects) {
    auto* head = new JObjectList(nullptr);
    head->deleteAll();
    EXPECT_EQ(head->next, head);
    Counted* twice = new Counted(1);
    Counted* once = new Counted(2);
    head->addObject(twice);
    head->addObject(once);
    head->addObject(nullptr);
    JObjectList* later = head->addObject(twice);
    Counted stranger(7);
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
