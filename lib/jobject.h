// JObject: root of the class library. Every library object can be destroyed
// through a JObject pointer and can take part in the ordering protocol that
// JList::sort uses.
#ifndef PAKHOD_JOBJECT_H
#define PAKHOD_JOBJECT_H

class JObject {
public:
    virtual ~JObject();

    // Returns the object itself.
    virtual JObject* self();

    // Ordering protocol; the root versions order nothing (always 0).
    virtual int isLessThan(JObject* other);
    virtual int isGreaterThan(JObject* other);
};

#endif
