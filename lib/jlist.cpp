#include "jlist.h"

JList::JList() : prev(this), next(this) {}

JList::~JList() { remove(); }

JList* JList::add(JList* node) {
    if (node == this) return this;
    prev->next = node;
    node->prev = prev;
    node->next = this;
    prev = node;
    return this;
}

JList* JList::remove() {
    prev->next = next;
    next->prev = prev;
    prev = this;
    next = this;
    return this;
}

void JList::deleteAll() {
    while (next != this) {
        JList* n = next;
        n->remove();
        delete n;
    }
}

void JList::deleteList(JList* head) {
    if (head == nullptr) return;
    head->deleteAll();
    delete head;
}

JList* JList::nth(int n) {
    JList* node = this;
    for (int i = 0; i < n; ++i) node = node->next;
    return node;
}

int JList::count() {
    int n = 0;
    for (JList* node = next; node != this; node = node->next) ++n;
    return n;
}

JList* JList::swapNext(JList* other) {
    next->prev = other;
    other->next->prev = this;
    JList* t = next;
    next = other->next;
    other->next = t;
    return this;
}

JList* JList::swapPrev(JList* other) {
    prev->next = other;
    other->prev->next = this;
    JList* t = prev;
    prev = other->prev;
    other->prev = t;
    return this;
}

JList* JList::reverse() {
    JList* node = this;
    do {
        JList* t = node->next;
        node->next = node->prev;
        node->prev = t;
        node = t;
    } while (node != this);
    return this;
}

void JList::exchange(JList* other) {
    JList* a = this;
    JList* b = other;
    if (a == b) return;
    // A ring of exactly two reads the same in either order.
    if (a->next == b && b->next == a) return;
    if (a->next == b) {  // a directly before b
        b->prev = a->prev;
        a->next = b->next;
        a->next->prev = a;
        b->prev->next = b;
        a->prev = b;
        b->next = a;
    } else if (b->next == a) {  // b directly before a
        b->next = a->next;
        a->prev = b->prev;
        a->prev->next = a;
        b->next->prev = b;
        a->next = b;
        b->prev = a;
    } else {  // apart, in one ring or in two
        // The move below re-links a at b's place by way of a's successor; a
        // lone node has none, so the node in a ring takes the calling side.
        if (a->next == a) {
            if (b->next == b) return;  // two lone nodes: nothing to exchange
            JList* t = a;
            a = b;
            b = t;
        }
        JList* p = a->next;
        a->remove();
        b->add(a);
        b->remove();
        p->add(b);
    }
}

int JList::sort(int ascending, JList* end) {
    if (next == end) return 1;
    if (end == nullptr) end = this;
    if (next == end) return 1;  // an empty ring
    JList* pivot = next;
    JList* x = pivot->next;
    while (x != end) {
        JList* following = x->next;
        JObject* candidate = x;
        int before = ascending ? pivot->isGreaterThan(candidate) : pivot->isLessThan(candidate);
        if (before) {
            x->remove();
            pivot->add(x);
        }
        x = following;
    }
    sort(ascending, pivot);
    pivot->sort(ascending, end);
    return 1;
}

JObjectList::JObjectList(JObject* held) : object(held) {}

JObjectList::~JObjectList() { delete object; }

int JObjectList::isLessThan(JObject* other) { return object->isLessThan(other); }

int JObjectList::isGreaterThan(JObject* other) { return object->isGreaterThan(other); }

JObjectList* JObjectList::addObject(JObject* held) {
    JObjectList* node = new JObjectList(held);
    add(node);
    return node;
}

JObjectList* JObjectList::findObject(JObject* held) {
    for (JList* node = next; node != this; node = node->next) {
        JObjectList* candidate = static_cast<JObjectList*>(node);
        if (candidate->object == held) return candidate;
    }
    return nullptr;
}

void JObjectList::removeObject(JObject* held) {
    JObjectList* node = findObject(held);
    if (node == nullptr) return;
    node->remove();
    delete node;
}
