// JList: node of an intrusive, circular, doubly linked list. A list is a ring
// whose head is a node of the same class acting as sentinel; its elements are
// head->next ... head->prev. A node in no list is a ring of one.
// JObjectList: a node that holds (and owns) a pointer to any JObject.
#ifndef PAKHOD_JLIST_H
#define PAKHOD_JLIST_H

#include "jobject.h"

class JList : public virtual JObject {
public:
    JList* prev;
    JList* next;

    JList();
    ~JList() override;  // unlinks this node only

    JList(const JList&) = delete;
    JList& operator=(const JList&) = delete;

    // Links a lone node in immediately before this one (on a head: appends).
    JList* add(JList* node);
    // Unlinks this node; it becomes a ring of one.
    JList* remove();
    // Called on a head: unlinks and deletes every element, first to last.
    void deleteAll();
    // deleteAll on the head, then deletes the head itself.
    static void deleteList(JList* head);

    JList* nth(int n);
    int count();
    JList* swapNext(JList* other);
    JList* swapPrev(JList* other);
    JList* reverse();
    void exchange(JList* other);
    // Stable partition sort of the nodes after this one up to (not including)
    // end; a null end means the whole ring. Always returns 1.
    int sort(int ascending, JList* end);
};

class JObjectList : public JList {
public:
    JObject* object;

    explicit JObjectList(JObject* held);
    ~JObjectList() override;  // deletes the held object

    int isLessThan(JObject* other) override;
    int isGreaterThan(JObject* other) override;

    JObjectList* addObject(JObject* held);
    JObjectList* findObject(JObject* held);
    void removeObject(JObject* held);
};

#endif
