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

TEST(JList, AddRemoveCountNth) {
    Named lone('x');
    lone.add(&lone);
    lone.remove();
    EXPECT_EQ(ring(&lone), "x");
    EXPECT_EQ(lone.count(), 0);

    Ring r("abc");
    EXPECT_EQ(ring(&r.head), "Habc");
    EXPECT_EQ(r.head.count(), 3);
    EXPECT_EQ(r.head.nth(0), &r.head);
    EXPECT_EQ(r.head.nth(-5), &r.head);
    EXPECT_EQ(r.head.nth(2), r['b']);
    EXPECT_EQ(r.head.nth(4), &r.head);
    EXPECT_EQ(r.head.nth(5), r['a']);
    r['b']->remove();
    EXPECT_EQ(ring(&r.head), "Hac");
    EXPECT_EQ(ring(r['b']), "b");
    delete r.nodes[0];  // destroying a node unlinks just that node
    r.nodes.erase(r.nodes.begin());
    EXPECT_EQ(ring(&r.head), "Hc");
}

TEST(JList, ReverseTwiceRestores) {
    Ring r("abcd");
    r.head.reverse();
    EXPECT_EQ(ring(&r.head), "Hdcba");
    r.head.reverse();
    EXPECT_EQ(ring(&r.head), "Habcd");
    Named lone('x');
    lone.reverse();
    EXPECT_EQ(ring(&lone), "x");
}

TEST(JList, SwapSplitsAndRejoinsRings) {
    Ring r("abcdef");
    r['b']->swapNext(r['e']);
    // b goes on with what followed e; e with what followed b.
    EXPECT_EQ(ring(r['b']), "bfHa");
    EXPECT_EQ(ring(r['e']), "ecd");
    r['b']->swapNext(r['e']);
    EXPECT_EQ(ring(&r.head), "Habcdef");

    r['b']->swapPrev(r['e']);
    EXPECT_EQ(ring(r['b']), "bcd");
    EXPECT_EQ(ring(r['e']), "efHa");
    r['b']->swapPrev(r['e']);
    EXPECT_EQ(ring(&r.head), "Habcdef");

    r['c']->swapNext(r['c']);
    r['c']->swapPrev(r['c']);
    EXPECT_EQ(ring(&r.head), "Habcdef");
}

TEST(JList, ExchangeTable) {
    struct Row {
        const char* names;
        char a, b;
        const char* expected;
    } rows[] = {
        {"abcd", 'b', 'c', "Hacbd"},  // neighbours, a before b
        {"abcd", 'c', 'b', "Hacbd"},  // neighbours, b before a
        {"abcd", 'a', 'd', "Hdbca"},  // apart, at both ends
        {"abcd", 'b', 'd', "Hadcb"},  // apart by one
        {"abcd", 'd', 'a', "Hdbca"},  // last and first are neighbours round the head
        {"abcd", 'b', 'b', "Habcd"},  // a node with itself
        {"a", 'a', 'a', "Ha"},
    };
    for (const Row& row : rows) {
        Ring r(row.names);
        r[row.a]->exchange(r[row.b]);
        EXPECT_EQ(ring(&r.head), row.expected) << row.a << "<->" << row.b;
    }
}

TEST(JList, ExchangeInARingOfTwoKeepsItIntact) {
    Named a('a'), b('b');
    a.add(&b);
    a.exchange(&b);
    EXPECT_EQ(ring(&a), "ab");
    b.exchange(&a);
    EXPECT_EQ(ring(&a), "ab");
}

TEST(JList, ExchangeAcrossRings) {
    Ring r("abc"), s("xyz");
    r['b']->exchange(s['y']);
    EXPECT_EQ(ring(&r.head), "Hayc");
    EXPECT_EQ(ring(&s.head), "Hxbz");
}

TEST(JList, ExchangeWithALoneNode) {
    Ring r("abc");
    Named x('x');
    x.exchange(r['b']);  // the lone node calls
    EXPECT_EQ(ring(&r.head), "Haxc");
    EXPECT_EQ(ring(r['b']), "b");
    r['b']->exchange(&x);
    EXPECT_EQ(ring(&r.head), "Habc");
    EXPECT_EQ(ring(&x), "x");
    r['a']->exchange(&x);  // the lone node is the argument
    EXPECT_EQ(ring(&r.head), "Hxbc");
    EXPECT_EQ(ring(r['a']), "a");

    Named p('p'), q('q');
    p.exchange(&q);  // two lone nodes stay two lone nodes
    EXPECT_EQ(ring(&p), "p");
    EXPECT_EQ(ring(&q), "q");
}

TEST(JList, SortIsStableBothWays) {
    JObjectList head(nullptr);
    const int keys[] = {3, 1, 2, 3, 1, 5, 2, 4, 1};
    int tag = 0;
    for (int k : keys) head.addObject(new Counted(k, tag++));
    EXPECT_EQ(head.sort(1, nullptr), 1);
    EXPECT_EQ(keysOf(head), "1.1 1.4 1.8 2.2 2.6 3.0 3.3 4.7 5.5 ");
    EXPECT_EQ(head.sort(0, nullptr), 1);
    EXPECT_EQ(keysOf(head), "5.5 4.7 3.0 3.3 2.2 2.6 1.1 1.4 1.8 ");
    head.deleteAll();
    EXPECT_EQ(Counted::alive, 0);
}

TEST(JList, SortOfPlainNodesAndShortListsChangesNothing) {
    Ring r("dcab");
    EXPECT_EQ(r.head.sort(1, nullptr), 1);
    EXPECT_EQ(ring(&r.head), "Hdcab");
    Named empty('H');
    EXPECT_EQ(empty.sort(1, nullptr), 1);
    EXPECT_EQ(ring(&empty), "H");
    Ring one("a");
    EXPECT_EQ(one.head.sort(0, nullptr), 1);
    EXPECT_EQ(ring(&one.head), "Ha");
}

TEST(JList, SortOfASubrange) {
    JObjectList head(nullptr);
    for (int k : {9, 4, 3, 2, 1, 0}) head.addObject(new Counted(k));
    JList* first = head.next;
    JList* end = head.nth(5);  // sorts the nodes holding 4, 3, 2 only
    first->sort(1, end);
    EXPECT_EQ(keysOf(head), "9.0 2.0 3.0 4.0 1.0 0.0 ");
    head.deleteAll();
}

TEST(JObjectList, OwnsAndDeletesItsObjects) {
    auto* head = new JObjectList(nullptr);
    Counted* first = new Counted(1);
    Counted* second = new Counted(2);
    head->addObject(first);
    head->addObject(second);
    head->addObject(first);  // held twice: only the first node goes below
    head->addObject(nullptr);
    EXPECT_EQ(head->count(), 4);
    EXPECT_EQ(head->findObject(second), head->nth(2));
    Counted stranger(7);
    EXPECT_EQ(head->findObject(&stranger), nullptr);
    head->removeObject(&stranger);
    EXPECT_EQ(head->count(), 4);
    EXPECT_EQ(Counted::alive, 3);

    head->removeObject(second);
    EXPECT_EQ(Counted::alive, 2);
    EXPECT_EQ(head->count(), 3);
    JList* firstNode = head->next;
    firstNode->remove();
    static_cast<JObjectList*>(firstNode)->object = nullptr;  // keep 'first' alive
    delete firstNode;
    EXPECT_EQ(head->findObject(first), head->next);  // the later node holding it

    JList::deleteList(head);
    EXPECT_EQ(Counted::alive, 1);  // only the stranger on the stack
}

TEST(JObjectList, DeleteAllEmptiesTheRing) {
    JObjectList head(nullptr);
    head.deleteAll();
    EXPECT_EQ(head.next, &head);
    for (int i = 0; i < 5; ++i) head.addObject(new Counted(i));
    head.addObject(nullptr);
    EXPECT_EQ(Counted::alive, 5);
    head.deleteAll();
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(head.next, &head);
    EXPECT_EQ(head.prev, &head);
}
